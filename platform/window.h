// Window checks (IsWindow).
#ifndef ZUK_PLATFORM_WINDOW_H
#define ZUK_PLATFORM_WINDOW_H

// True when the handle names an existing window.
bool PlatIsWindow(void *window);

#endif
