// The window system loaded on first use (see window_system_win32.h).
#include "platform/win32/window_system_win32.h"

namespace {

// The exported name of a table entry after macro expansion (SetWindowLongA on 32-bit Windows).
#define ZUK_WINDOW_NAME(name) ZUK_WINDOW_NAME_TEXT(name)
#define ZUK_WINDOW_NAME_TEXT(name) #name

WindowSystem g_windows{};

const WindowSystem *Load() {
    HMODULE user32 = LoadLibraryA("user32.dll");
    if (user32 == nullptr) return nullptr;
    WindowSystem table{};
    bool complete = true;
#define ZUK_WINDOW_RESOLVE(name)                                                                   \
    table.name = reinterpret_cast<decltype(&::name)>(                                              \
        reinterpret_cast<void (*)()>(GetProcAddress(user32, ZUK_WINDOW_NAME(name))));              \
    if (table.name == nullptr) complete = false;
    ZUK_WINDOW_FUNCTIONS(ZUK_WINDOW_RESOLVE)
#undef ZUK_WINDOW_RESOLVE
    if (!complete) return nullptr;  // user32 stays loaded: another caller may hold it too
    g_windows = table;
    return &g_windows;
}

}  // namespace

const WindowSystem *PlatWindowSystem() {
    // Initialised once, by the first caller; concurrent callers wait for it.
    static const WindowSystem *const loaded = Load();
    return loaded;
}

const WindowSystem &Win() { return g_windows; }
