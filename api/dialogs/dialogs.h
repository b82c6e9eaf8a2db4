// The library's prompt dialogs.  The Win32 build shows them from the templates in the library's
// resources (api/dialogs/*_win32.cpp); the native build answers them from a script
// (platform/fake).  Modal ones run on the caller's thread and return their result.
#ifndef ZUK_API_DIALOGS_H
#define ZUK_API_DIALOGS_H

// Results of the modal dialogs.
const int kDialogFailed = 0;   // the dialog cannot be shown (for example an invalid parent)
const int kDialogCard = 1;     // a card answered on the reader
const int kDialogOk = 2;       // OK (typed texts in EnteredId/EnteredPassword or EnteredPin)
const int kDialogCancel = -1;  // Cancel, Esc or the close command

// Identifier of the window timer that polls the reader in the waiting dialogs.
const unsigned kPollTimerId = 100;

int CardWaitDialog(void *parent);    // 1, -1 or 0
int CardOrIdDialog(void *parent);    // 1, 2, -1 or 0
int IdPasswordDialog(void *parent);  // 2, -1 or 0
int PinDialog(void *parent);         // 2, -1 or 0
int NoCardDialog(void *parent);      // 2 or 0
int PinErrorDialog(void *parent);    // 2 or 0

// The modeless card-access window: 0, or ZUK_ERR_SYSTEM when it cannot be created.
int OpenAccessingWindow(void *parent);
void CloseAccessingWindow();

// The reader's polling period of the waiting dialogs: PollingInterval, at least 100 ms.
unsigned PollingPeriodMs();

#endif
