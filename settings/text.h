// Small helpers for the library's fixed text buffers.
#ifndef ZUK_SETTINGS_TEXT_H
#define ZUK_SETTINGS_TEXT_H

#include <cstddef>

// Copies the zero-terminated text src into dst (capacity bytes, terminator included).  When the
// text does not fit, dst is set to the empty text and false is returned: paths and names are never
// cut, since a cut path names another file.
bool CopyText(char *dst, std::size_t capacity, const char *src);

// Writes a followed by b into dst (capacity bytes, terminator included); empty and false when the
// joined text does not fit.
bool JoinText(char *dst, std::size_t capacity, const char *a, const char *b);

#endif
