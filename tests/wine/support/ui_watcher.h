// Finding and answering the library's message boxes and dialogs from the test's own thread while
// the library call runs on another.  Every wait has a time-out, so a missing window fails the test
// instead of hanging it.
#ifndef ZUK_TESTS_WINE_UI_WATCHER_H
#define ZUK_TESTS_WINE_UI_WATCHER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/dialogs/find_dialog.h"  // FindDialog, PressButton, kMessageBoxTextId

struct SeenWindow {
    HWND hwnd = nullptr;
    DWORD thread = 0;
    std::string caption;
    std::string text;  // a message box's text (kMessageBoxTextId)
    bool topmost = false;
};

// Waits for a visible dialog-class window (#32770) of this process, created on `thread` when that
// is not 0, and not in `ignore`.  False after timeoutMs.
bool WaitForWindow(SeenWindow *out, DWORD timeoutMs, DWORD thread = 0,
                   const std::vector<HWND> &ignore = {});

// Waits for a dialog of this process (as WaitForWindow) that holds the control `control`, passing
// over the others (the card-access window comes and goes before the prompts).  False after
// timeoutMs.
bool WaitForDialogWith(int control, SeenWindow *out, DWORD thread, DWORD timeoutMs);

// Waits until the window is gone; false after timeoutMs.
bool WaitGone(HWND window, DWORD timeoutMs);

// Cancels every dialog of this process still open (clean-up after a failed test).
void CloseAllWindows();

// Runs call() on a thread of its own and returns that thread's handle and id; Finish waits for it
// (closing whatever windows are left after timeoutMs) and gives its result.
struct CallThread {
    HANDLE handle = nullptr;
    DWORD id = 0;
    int result = 0x7EEEEEEE;
    std::function<int()> call;
};
void StartCall(CallThread *t, std::function<int()> call);
bool FinishCall(CallThread *t, DWORD timeoutMs);

#endif
