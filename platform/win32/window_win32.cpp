// Window checks on Win32.
#include "platform/window.h"

#include <windows.h>

#include "platform/win32/window_system_win32.h"

// A null handle is answered without the window system; any other starts it (a host that hands
// the library a window has the window system running already).
bool PlatIsWindow(void *window) {
    if (window == nullptr) return false;
    const WindowSystem *windows = PlatWindowSystem();
    return windows != nullptr && windows->IsWindow(static_cast<HWND>(window));
}
