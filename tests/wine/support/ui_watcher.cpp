// Finding and answering the library's windows.
#include "tests/wine/support/ui_watcher.h"

#include <algorithm>

#include "tests/wine/support/dialog_driver.h"

namespace {

struct Search {
    DWORD thread;
    const std::vector<HWND> *ignore;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
    Search *s = reinterpret_cast<Search *>(param);
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    if (s->thread != 0 && tid != s->thread) return TRUE;
    char cls[64] = {0};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770") return TRUE;
    if (std::find(s->ignore->begin(), s->ignore->end(), hwnd) != s->ignore->end()) return TRUE;
    s->found = hwnd;
    return FALSE;
}

DWORD WINAPI RunCall(LPVOID param) {
    CallThread *t = static_cast<CallThread *>(param);
    t->result = t->call();
    return 0;
}

}  // namespace

bool WaitForWindow(SeenWindow *out, DWORD timeoutMs, DWORD thread, const std::vector<HWND> &ignore) {
    DWORD start = GetTickCount();
    for (;;) {
        Search s{thread, &ignore, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
        if (s.found) {
            Sleep(50);  // let the window finish setting its texts
            char buffer[1024] = {0};
            out->hwnd = s.found;
            out->thread = GetWindowThreadProcessId(s.found, nullptr);
            GetWindowTextA(s.found, buffer, sizeof buffer);
            out->caption = buffer;
            buffer[0] = '\0';
            GetDlgItemTextA(s.found, 0xFFFF, buffer, sizeof buffer);
            out->text = buffer;
            out->topmost = (GetWindowLongA(s.found, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            return true;
        }
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

bool WaitForDialogWith(int control, SeenWindow *out, DWORD thread, DWORD timeoutMs) {
    std::vector<HWND> others;
    const DWORD end = GetTickCount() + timeoutMs;
    while (GetTickCount() < end) {
        if (!WaitForWindow(out, end - GetTickCount(), thread, others)) return false;
        if (GetDlgItem(out->hwnd, control) != nullptr) return true;
        others.push_back(out->hwnd);
    }
    return false;
}

void PressButton(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
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
