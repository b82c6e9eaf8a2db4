// ZukException.cs - a failed call of the library as an exception.
//
// Every method of the binding returns its data or throws: one exception class per family of
// results, each carrying the result (ZukResult) and its code as the library returned it.
//   ZukPinException            ErrPinWrong, ErrPinLockedNow, ErrCardLocked (with the tries left)
//   ZukCardException           ErrNoCard, ErrNoData, ErrIncomplete, ErrCardIo
//   ZukReaderException         the port, link and reader results, ErrAlreadyOpen, ErrNotOpen,
//                              ErrHandle, ErrBusy
//   ZukConfigurationException  ErrDisabled, ErrAccountStore, ErrSystem, ErrUnexpected, and codes
//                              the binding does not know
//   ZukUsageException          ErrParam, ErrBuffer, ErrVersion (a fault of the caller's arguments)
//   ZukCancelledException      Cancelled: an OperationCanceledException, so that a Task ended
//                              through its CancellationToken is Canceled, as .NET hosts expect
using System;
using System.Threading;

namespace Korva.Zuk
{
    public class ZukException : Exception
    {
        public ZukResult Result { get; private set; }
        public int Code { get; private set; }

        public ZukException(string operation, int code)
            : base(Describe(operation, code))
        {
            Result = (ZukResult)code;
            Code = code;
        }

        internal static string Describe(string operation, int code)
        {
            string name = Enum.IsDefined(typeof(ZukResult), code) ? ((ZukResult)code).ToString() : "unknown result";
            return string.Format("{0} failed: {1} ({2})", operation, name, code);
        }

        // The exception of a failed call's code (never for Ok): its family's class, or for Cancelled a
        // ZukCancelledException naming the token.
        public static Exception FromCode(string operation, int code, int triesLeft = -1,
                                      CancellationToken token = default(CancellationToken))
        {
            switch ((ZukResult)code)
            {
                case ZukResult.Cancelled:
                    return new ZukCancelledException(operation, token);
                case ZukResult.ErrPinWrong:
                case ZukResult.ErrPinLockedNow:
                case ZukResult.ErrCardLocked:
                    return new ZukPinException(operation, code, triesLeft);
                case ZukResult.ErrNoCard:
                case ZukResult.ErrNoData:
                case ZukResult.ErrIncomplete:
                case ZukResult.ErrCardIo:
                    return new ZukCardException(operation, code);
                case ZukResult.ErrAlreadyOpen:
                case ZukResult.ErrNotOpen:
                case ZukResult.ErrPortClose:
                case ZukResult.ErrPortOpen:
                case ZukResult.ErrLinkClose:
                case ZukResult.ErrBusy:
                case ZukResult.ErrHandle:
                case ZukResult.ErrPortIo:
                case ZukResult.ErrReaderStatus:
                    return new ZukReaderException(operation, code);
                case ZukResult.ErrParam:
                case ZukResult.ErrBuffer:
                case ZukResult.ErrVersion:
                    return new ZukUsageException(operation, code);
                default:
                    return new ZukConfigurationException(operation, code);
            }
        }
    }

    // The PIN did not open the card.  TriesLeft: the tries the card has left (0 once locked; -1 when
    // the library could not tell).
    public class ZukPinException : ZukException
    {
        public int TriesLeft { get; private set; }
        public ZukPinException(string operation, int code, int triesLeft) : base(operation, code)
        {
            TriesLeft = triesLeft;
        }
    }

    public class ZukCardException : ZukException
    {
        public ZukCardException(string operation, int code) : base(operation, code) { }
    }

    public class ZukReaderException : ZukException
    {
        public ZukReaderException(string operation, int code) : base(operation, code) { }
    }

    public class ZukConfigurationException : ZukException
    {
        public ZukConfigurationException(string operation, int code) : base(operation, code) { }
    }

    public class ZukUsageException : ZukException
    {
        public ZukUsageException(string operation, int code) : base(operation, code) { }
    }

    // The call ended with Cancelled: its CancellationToken (then CancellationToken is that token), a
    // ZukLibrary.Cancel of another thread, or the user's Cancel in one of the library's prompts.
    public class ZukCancelledException : OperationCanceledException
    {
        public ZukResult Result { get { return ZukResult.Cancelled; } }
        public int Code { get { return (int)ZukResult.Cancelled; } }

        public ZukCancelledException(string operation, CancellationToken token)
            : base(ZukException.Describe(operation, (int)ZukResult.Cancelled), token) { }
    }
}
