// Driving the library's prompt dialogs from a test thread: telling them apart, reading what they
// show (caption, control texts, enabled state, masking, edit limits, z-order), typing into their
// edit fields, pressing buttons and keys, and saving a picture of a window.
#ifndef ZUK_TESTS_WINE_DIALOG_DRIVER_H
#define ZUK_TESTS_WINE_DIALOG_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

// The library's windows, told apart by the controls they hold.
enum class UiKind { CardWait, Credentials, Pin, NoCard, PinError, Accessing, MessageBox, Other };
const char *UiKindName(UiKind kind);
UiKind KindOf(HWND window);

struct ControlState {
    int id = 0;
    std::string className;  // "Static", "Edit", "Button"
    std::string text;
    LONG style = 0;
    bool enabled = false;
    bool visible = false;
    bool masked = false;  // an edit field showing its text as password characters
    int limit = 0;        // an edit field's maximum text length (EM_GETLIMITTEXT)
};

struct DialogSnapshot {
    HWND hwnd = nullptr;
    UiKind kind = UiKind::Other;
    std::string caption;
    bool topmost = false;
    bool hasSystemMenu = false;
    RECT rect{};
    std::vector<ControlState> controls;         // in z-order (the tab order of a dialog)
    const ControlState *Control(int id) const;  // null when there is none
    std::string Text(int id) const;             // "" when there is none
};

bool ReadDialog(HWND window, DialogSnapshot *out);

// Waits for a visible dialog of this process created on `thread` and not in `ignore`.  True when
// it is of `kind`; false when none came within timeoutMs, or when another window came first (then
// *why says which, and that window is closed so the call under test can end).
bool WaitForKind(UiKind kind, DWORD thread, DWORD timeoutMs, DialogSnapshot *out, std::string *why,
                 const std::vector<HWND> &ignore = {});

// Closes a dialog the way its kind allows (Cancel, or the only button of a notice).  False for a
// window that offers none (the card access window).
bool CloseByKind(HWND window);

// Replaces an edit field's text (WM_SETTEXT, not bound by the edit limit).
void SetEditText(HWND dialog, int id, const std::string &text);
// Types characters into an edit field one by one (WM_CHAR), as the keyboard would: the edit
// limit applies.
void TypeChars(HWND dialog, int id, const std::string &text);
std::string EditText(HWND dialog, int id);

// Esc pressed in the dialog, and the close command of its window menu.
void SendEscape(HWND dialog);
void SendCloseCommand(HWND dialog);

// Saves a picture of the window as <build>/screenshots/<folder>/<name>.png; returns the path, or
// "" when the window could not be captured.
std::string SaveScreenshot(HWND window, const std::string &folder, const std::string &name);

#endif
