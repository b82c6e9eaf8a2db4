// Finding the library's windows from another thread of the same process, and answering them as a
// user would.  Its prompts, notices and message boxes are all dialog-class windows (#32770), told
// apart by the controls they hold (resources/dialog_ids.h; a message box has its text control).
// zukcli's answerers, the benchmark's and the Wine tests' watchers all find them here.
#ifndef ZUK_TOOLS_DIALOGS_FIND_DIALOG_H
#define ZUK_TOOLS_DIALOGS_FIND_DIALOG_H

#include <windows.h>

#include <string>
#include <vector>

// The static control that holds a message box's text (Windows gives it this id).
const int kMessageBoxTextId = 0xFFFF;

struct DialogQuery {
    DWORD thread = 0;                // created on this thread; 0: any thread of this process
    std::vector<int> anyOfControls;  // holds at least one of these controls; empty: any dialog
    std::vector<HWND> ignore;        // windows passed over
};

// The first visible dialog-class window of this process that matches the query, or null.
HWND FindDialog(const DialogQuery &query);

// A window's own text (a dialog's caption) and one control's text.
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);

// Presses a button of a dialog or message box (IDOK, IDCANCEL, IDRETRY, or a control id) the way
// a click does, without waiting for the dialog to handle it.
void PressButton(HWND dialog, int id);

// Types the PIN into the library's PIN dialog and presses its OK button.
void AnswerPinDialog(HWND dialog, const char *pin);

#endif
