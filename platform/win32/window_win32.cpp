// Window checks on Win32.
#include "platform/window.h"

#include <windows.h>

bool PlatIsWindow(void *window) { return window != nullptr && IsWindow(static_cast<HWND>(window)); }
