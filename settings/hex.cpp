// Hexadecimal text to bytes, used for system codes, message ids and stored passwords.
#include "settings/hex.h"

#include <cstring>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::size_t HexToBytes(const char *text, std::size_t length, std::uint8_t *dst,
                       std::size_t capacity) {
    if (!text || !dst || length == 0 || length % 2 != 0 || length / 2 > capacity) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (HexDigit(text[i]) < 0) return 0;
    }
    for (std::size_t i = 0; i < length; i += 2) {
        dst[i / 2] = static_cast<std::uint8_t>(HexDigit(text[i]) << 4 | HexDigit(text[i + 1]));
    }
    return length / 2;
}

std::size_t HexToBytes(const char *text, std::uint8_t *dst, std::size_t capacity) {
    return HexToBytes(text, text ? std::strlen(text) : 0, dst, capacity);
}
