// What the Win32 prompt dialogs share: the record of one open dialog, catalogue texts, edit
// limits, placement on the desktop, the reader poll of the waiting dialogs, and the ends of a
// dialog (by the library, or from outside, which ends the process).
#ifndef ZUK_API_DIALOGS_DIALOG_COMMON_WIN32_H
#define ZUK_API_DIALOGS_DIALOG_COMMON_WIN32_H

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/dialogs.h"
#include "platform/win32/window_system_win32.h"

// One open dialog.  endFlag is 0 from initialisation until the library itself ends the dialog;
// a dialog destroyed while it is still 0 was closed from outside.
struct DialogRun {
    int endFlag;
    int result;                // the show function's result, set when the library ends the dialog
    bool initialised;          // the dialog was created (WM_INITDIALOG ran)
    int variant;               // dialog-specific (the credentials prompts' kind)
    const DialogEntry *entry;  // the typed prompts' limits and typed-text areas; null for others
};

// The dialogs' process-wide state in one record, written only by the dialogs (api/dialogs) and
// put back to the state at load by DialogStateReset: the parent of the last dialog opened, the
// modal dialog open now and the modeless card-access window.  The modal dialogs keep their
// DialogRun on the caller's stack.
struct DialogState {
    HWND parent;  // the parent given to the last dialog opened
    // The modal dialog open now (null: none), for a cancel from another thread.
    std::atomic<HWND> openDialog;
    HWND accessWindow;            // the card-access window while it is open (null: none)
    HWND accessPreviouslyActive;  // the window active before it opened, activated again at close
    DialogRun accessRun;          // the card-access window's record
};

extern DialogState g_dialogs;

// Stores parent as the parent of the last dialog opened, shows the modal dialog from the
// library's template and returns run->result, or kDialogFailed when it could not be created.
int RunModalDialog(int templateId, HWND parent, DLGPROC proc, DialogRun *run);

// On WM_INITDIALOG of a modal dialog: keeps the record with the window, end flag 0.
DialogRun *BeginDialog(HWND dialog, LPARAM param);
// The record of a dialog, or null before its initialisation.
DialogRun *RunOf(HWND dialog);

// The parent given to the last dialog opened (decides the z-order when centring).
HWND DialogParent();
void SetDialogParent(HWND parent);

// Texts from the message catalogue; an id without text gives an empty text.
void SetCaptionText(HWND dialog, std::uint32_t messageId);
void SetControlText(HWND dialog, int controlId, std::uint32_t messageId);
// A label followed by a mnemonic suffix such as "(&I)", which moves the focus to its edit field.
void SetLabelText(HWND dialog, int controlId, std::uint32_t messageId, const char *suffix);
// Maximum length in bytes of an edit field.
void SetEditLimit(HWND dialog, int controlId, int limit);
// Puts the system exclamation icon into an icon control.
void SetExclamationIcon(HWND dialog, int controlId);

// Centres the window on the desktop, on top of the z-order (above every non-topmost window when
// the dialog has no parent), and shows it.
void CentreOnDesktop(HWND window);

// The reader poll of the waiting dialogs: timer kPollTimerId with the polling period.
void StartPollTimer(HWND dialog);
void StopPollTimer(HWND dialog);
// One tick: stops the timer and asks the reader; true when a card answered, otherwise the timer
// runs again.  Reader failures count as no card.
bool PollCard(HWND dialog);

// Posts a button's command to the dialog, as Esc and the close command do for the Cancel button.
void PostCommand(HWND dialog, int controlId);

// Ends a modal dialog with a result after setting its end flag.
void EndByLibrary(HWND dialog, int result);

// For a dialog being destroyed or closed: unless the library ended it (so it goes from outside,
// with its owner or the host's window tree), closes the card session, stops the poll timer when
// stopTimer, leaves the call frame, releases the reader's mutex and ends the process with code 0.
void EndProcessUnlessLibraryEnded(HWND dialog, bool stopTimer);

#endif
