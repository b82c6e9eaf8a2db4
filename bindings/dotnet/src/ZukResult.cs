// ZukResult.cs - the library's result codes, named as ZUKcntrl.h names them (ZUK_ERR_PIN_WRONG is
// ZukResult.ErrPinWrong), and the family each belongs to.
namespace Korva.Zuk
{
    public enum ZukResult
    {
        Ok = 0,
        Cancelled = -1,
        ErrIncomplete = 1,
        ErrNoData = 2,
        ErrPinWrong = 3,
        ErrDisabled = 4,
        ErrNoCard = 5,
        ErrCardLocked = 6,
        ErrPinLockedNow = 7,
        ErrAccountStore = 16,
        ErrVersion = 48,
        ErrAlreadyOpen = 256,
        ErrNotOpen = 512,
        ErrPortClose = 768,
        ErrPortOpen = 1280,
        ErrLinkClose = 1536,
        ErrBusy = 1792,
        ErrHandle = 2048,
        ErrPortIo = 2304,
        ErrReaderStatus = 2560,
        ErrParam = 0x10000,
        ErrBuffer = 0x20000,
        ErrSystem = 0x40000,
        ErrCardIo = 0x1000000,
        ErrUnexpected = 0x7F000000,
    }

    // The request modes of the account calls (ZUK_ACCOUNT_MODE_*).
    public enum AccountMode
    {
        Interactive = 0x0,
        InteractiveHandover = 0x1010000, // also keep the pair for a later pick-up
        Pickup = 0x10000,                // return the pair a hand-over call left
    }

    // What ZUKGetLibMode reports.
    public enum LibraryMode
    {
        Off = 0,
        Card = 256,
        CardOrTyped = 768,
    }
}
