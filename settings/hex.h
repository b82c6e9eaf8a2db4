// Hexadecimal text to bytes.
#ifndef ZUK_SETTINGS_HEX_H
#define ZUK_SETTINGS_HEX_H

#include <cstddef>
#include <cstdint>

// Converts length characters of hexadecimal text (either letter case, two digits per byte, high
// half first) into dst and returns the number of bytes written.  Any non-hexadecimal character, an
// odd or zero length, or a result larger than capacity gives 0 and writes nothing.
std::size_t HexToBytes(const char *text, std::size_t length, std::uint8_t *dst,
                       std::size_t capacity);

// The same for a zero-terminated text.
std::size_t HexToBytes(const char *text, std::uint8_t *dst, std::size_t capacity);

#endif
