// The window system (user32) as the library uses it: loaded at the first window the library
// shows, never with the library itself.  A console or service host that never sees a prompt
// (the unattended identification, the host-driven calls) then never starts the window system,
// whose start-up costs a console host several times the library's own attach.  Every window
// function the library calls is reached through this table; the DLL imports none of them.
#ifndef ZUK_PLATFORM_WIN32_WINDOW_SYSTEM_WIN32_H
#define ZUK_PLATFORM_WIN32_WINDOW_SYSTEM_WIN32_H

#include <windows.h>

// The window functions the library calls.  On 32-bit Windows SetWindowLongPtrA and
// GetWindowLongPtrA are macros for SetWindowLongA and GetWindowLongA, which the table then holds.
#define ZUK_WINDOW_FUNCTIONS(X)                                                                    \
    X(CallNextHookEx)                                                                              \
    X(CreateDialogParamA)                                                                          \
    X(DestroyWindow)                                                                               \
    X(DialogBoxParamA)                                                                             \
    X(EnableWindow)                                                                                \
    X(EndDialog)                                                                                   \
    X(GetActiveWindow)                                                                             \
    X(GetClassNameA)                                                                               \
    X(GetDesktopWindow)                                                                            \
    X(GetDlgItem)                                                                                  \
    X(GetDlgItemTextA)                                                                             \
    X(GetWindowLongPtrA)                                                                           \
    X(GetWindowRect)                                                                               \
    X(IsWindow)                                                                                    \
    X(KillTimer)                                                                                   \
    X(LoadIconA)                                                                                   \
    X(MessageBoxExA)                                                                               \
    X(PostMessageA)                                                                                \
    X(SendDlgItemMessageA)                                                                         \
    X(SendMessageA)                                                                                \
    X(SetActiveWindow)                                                                             \
    X(SetDlgItemTextA)                                                                             \
    X(SetTimer)                                                                                    \
    X(SetWindowLongPtrA)                                                                           \
    X(SetWindowPos)                                                                                \
    X(SetWindowTextA)                                                                              \
    X(SetWindowsHookExA)                                                                           \
    X(UnhookWindowsHookEx)

struct WindowSystem {
#define ZUK_WINDOW_MEMBER(name) decltype(&::name) name;
    ZUK_WINDOW_FUNCTIONS(ZUK_WINDOW_MEMBER)
#undef ZUK_WINDOW_MEMBER
};

// Loads user32.dll and every function of the table, once per process (any thread; never from
// DllMain).  Null when the window system or one of its functions cannot be had: no window can
// be shown then.  The library keeps user32 loaded until the process ends.
const WindowSystem *PlatWindowSystem();

// The loaded table, for code that runs only once a window of the library exists (dialog
// procedures, the helpers they call): PlatWindowSystem() succeeded before it could be reached.
const WindowSystem &Win();

#endif
