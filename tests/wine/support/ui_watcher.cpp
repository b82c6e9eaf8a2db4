// Finding and answering the library's windows.
#include "tests/wine/support/ui_watcher.h"

#include "tests/wine/support/dialog_driver.h"

namespace {

DWORD WINAPI RunCall(LPVOID param) {
    CallThread *t = static_cast<CallThread *>(param);
    t->result = t->call();
    return 0;
}

bool WaitFor(const DialogQuery &query, SeenWindow *out, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND found = FindDialog(query);
        if (found) {
            Sleep(50);  // let the window finish setting its texts
            out->hwnd = found;
            out->thread = GetWindowThreadProcessId(found, nullptr);
            out->caption = WindowText(found);
            out->text = ControlText(found, kMessageBoxTextId);
            out->topmost = (GetWindowLongA(found, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            return true;
        }
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

}  // namespace

bool WaitForWindow(SeenWindow *out, DWORD timeoutMs, DWORD thread,
                   const std::vector<HWND> &ignore) {
    DialogQuery query;
    query.thread = thread;
    query.ignore = ignore;
    return WaitFor(query, out, timeoutMs);
}

bool WaitForDialogWith(int control, SeenWindow *out, DWORD thread, DWORD timeoutMs) {
    DialogQuery query;
    query.thread = thread;
    query.anyOfControls = {control};
    return WaitFor(query, out, timeoutMs);
}

bool WaitGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

void CloseAllWindows() {
    std::vector<HWND> left;  // windows that offer no way to close them (the card access window)
    for (int i = 0; i < 50; ++i) {
        SeenWindow w;
        if (!WaitForWindow(&w, 0, 0, left)) return;
        if (!CloseByKind(w.hwnd)) {
            left.push_back(w.hwnd);
            continue;
        }
        WaitGone(w.hwnd, 1000);
    }
}

void StartCall(CallThread *t, std::function<int()> call) {
    t->call = std::move(call);
    t->handle = CreateThread(nullptr, 0, RunCall, t, 0, &t->id);
}

bool FinishCall(CallThread *t, DWORD timeoutMs) {
    if (!t->handle) return false;
    bool done = WaitForSingleObject(t->handle, timeoutMs) == WAIT_OBJECT_0;
    if (!done) {
        CloseAllWindows();
        WaitForSingleObject(t->handle, 5000);
    }
    CloseHandle(t->handle);
    t->handle = nullptr;
    return done;
}
