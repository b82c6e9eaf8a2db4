// The prompt dialogs' seam: what the account flow asks of a prompt and what comes back.  The
// Win32 build shows the prompts from the library's dialog templates (api/dialogs/*_win32.cpp,
// which read the catalogue and poll the reader); the native build answers them from a script
// (platform/fake).  Modal ones run on the caller's thread and return their result; the texts
// typed come back through the caller's DialogEntry, never through state of the layers above.
#ifndef ZUK_PLATFORM_DIALOGS_H
#define ZUK_PLATFORM_DIALOGS_H

#include <cstddef>

// Results of the modal dialogs.
const int kDialogFailed = 0;   // the dialog cannot be shown (for example an invalid parent)
const int kDialogCard = 1;     // a card answered on the reader
const int kDialogOk = 2;       // OK (the typed texts are in the DialogEntry's areas)
const int kDialogCancel = -1;  // Cancel, Esc or the close command

// Size of each typed-text area: at most kDialogTextSize - 1 bytes and a terminating zero.
const std::size_t kDialogTextSize = 1024;

// A prompt that takes typed texts: the maximum lengths (bytes) of its edit fields, and the
// caller's areas (kDialogTextSize bytes each) that its OK clears and refills with the texts typed,
// zero-terminated: the user ID and password of the credentials prompts, or the PIN.
struct DialogEntry {
    int idLimit;
    int passwordLimit;
    int pinLimit;
    char *id;
    char *password;
    char *pin;
};

int CardWaitDialog(void *parent);                                  // 1, -1 or 0
int ShowCardOrIdDialog(void *parent, const DialogEntry &entry);    // 1, 2, -1 or 0
int ShowIdPasswordDialog(void *parent, const DialogEntry &entry);  // 2, -1 or 0
int ShowPinDialog(void *parent, const DialogEntry &entry);         // 2, -1 or 0
int NoCardDialog(void *parent);                                    // 2 or 0
int PinErrorDialog(void *parent);                                  // 2 or 0

// Ends the library's dialog open on any thread of the process (a waiting one polling the reader,
// or a prompt) as its Cancel button does: its show function returns kDialogCancel.  Any thread
// may call it; it does nothing when none is open.
void CancelWaitingDialogs();

// The modeless card-access window: false when it cannot be created.
bool OpenAccessingWindow(void *parent);
void CloseAccessingWindow();

// The dialogs' state back to the state at load: the last parent and the card-access window are
// forgotten (a window still open is neither closed nor reached by a later close).  Part of the
// library's reset (LibraryStateReset).
void DialogStateReset();

#endif
