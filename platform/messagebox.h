// Message boxes (MessageBoxExA).
#ifndef ZUK_PLATFORM_MESSAGEBOX_H
#define ZUK_PLATFORM_MESSAGEBOX_H

#include <cstdint>

// Styles and answers (the Win32 values).
const std::uint32_t PLAT_MB_OK = 0x0;
const std::uint32_t PLAT_MB_RETRYCANCEL = 0x5;
const std::uint32_t PLAT_MB_ICONEXCLAMATION = 0x30;
const std::uint32_t PLAT_MB_TASKMODAL = 0x2000;
const std::uint32_t PLAT_MB_TOPMOST = 0x40000;
const std::uint32_t PLAT_MB_TYPEMASK = 0xF;  // the bits that choose the buttons

const int PLAT_IDOK = 1;
const int PLAT_IDCANCEL = 2;
const int PLAT_IDRETRY = 4;

// Shows a modal message box and returns the pressed button's id (0 when it cannot be shown).
// parent may be null; language is a Windows language id for the buttons.
int PlatMessageBox(void *parent, const char *text, const char *caption, std::uint32_t style,
                   std::uint16_t language);

// Closes the box PlatMessageBox shows now (on any thread) as its close command does: a box with
// Cancel returns PLAT_IDCANCEL, one with OK alone PLAT_IDOK.  Any thread may call it; it does
// nothing when no box is up.
void PlatMessageBoxClose();

#endif
