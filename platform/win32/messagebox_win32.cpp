// Message boxes over the Win32 API.
#include <windows.h>

#include "platform/messagebox.h"

int PlatMessageBox(void *parent, const char *text, const char *caption, std::uint32_t style,
                   std::uint16_t language) {
    return MessageBoxExA(static_cast<HWND>(parent), text, caption, style, language);
}
