// Message boxes over the Win32 API.  A box is found by a hook on its thread while it is shown, so
// that another thread can close it.
#include <windows.h>

#include <atomic>

#include "platform/messagebox.h"
#include "platform/win32/window_system_win32.h"

namespace {

std::atomic<HWND> g_box{nullptr};

// The first dialog window created on the box's thread while it is shown is the box (its buttons
// and text are windows of other classes).
LRESULT CALLBACK FindBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_box.load() == nullptr) {
        char className[16] = {0};
        HWND window = reinterpret_cast<HWND>(wParam);
        if (Win().GetClassNameA(window, className, sizeof className) > 0 &&
            lstrcmpA(className, "#32770") == 0)
            g_box = window;
    }
    return Win().CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int PlatMessageBox(void *parent, const char *text, const char *caption, std::uint32_t style,
                   std::uint16_t language) {
    if (PlatWindowSystem() == nullptr) return 0;
    HHOOK hook = Win().SetWindowsHookExA(WH_CBT, FindBox, nullptr, GetCurrentThreadId());
    const int answer =
        Win().MessageBoxExA(static_cast<HWND>(parent), text, caption, style, language);
    if (hook != nullptr) Win().UnhookWindowsHookEx(hook);
    g_box = nullptr;
    return answer;
}

void PlatMessageBoxClose() {
    const HWND box = g_box.load();
    if (box != nullptr) Win().PostMessageA(box, WM_CLOSE, 0, 0);
}
