// Hexadecimal text to bytes and back.
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

// The value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Writes size bytes as upper-case hexadecimal digits, two per byte without separators, and a
// terminating zero into out (capacity bytes); false (out empty) when they do not fit.
bool BytesToHex(const std::uint8_t *bytes, std::size_t size, char *out, std::size_t capacity);

// The same with lower-case digits: the form a remembered password is stored in.
bool BytesToLowerHex(const std::uint8_t *bytes, std::size_t size, char *out, std::size_t capacity);

// Upper-case digits with one space between bytes ("01 2E 4C"), as IDm, PMm and system codes are
// written in card description files and shown by the simulator; false (out empty) when
// they do not fit (3 * size bytes, or 1 for no bytes).
bool BytesToSpacedHex(const std::uint8_t *bytes, std::size_t size, char *out, std::size_t capacity);

#endif
