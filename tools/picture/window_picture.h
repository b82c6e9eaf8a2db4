// Pictures of windows as the screen shows them, saved as PNG: the demo's screenshot of the PIN
// dialog and the dialog tests' pictures.
#ifndef ZUK_TOOLS_PICTURE_WINDOW_PICTURE_H
#define ZUK_TOOLS_PICTURE_WINDOW_PICTURE_H

#include <windows.h>

#include <string>

// Repaints the window, copies its rectangle from the screen (it should be on top) and writes it
// to `path`.  False when the window has no area or nothing could be copied or written.
bool SaveWindowPicture(HWND window, const std::string &path);

#endif
