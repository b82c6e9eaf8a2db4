// Hexadecimal text to bytes and back: system codes, message ids, stored passwords, key files.
#include "settings/hex.h"

#include <cstring>

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool BytesToHex(const std::uint8_t *bytes, std::size_t size, char *out, std::size_t capacity) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (out == nullptr || capacity == 0) return false;
    if (2 * size >= capacity) {
        out[0] = '\0';
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    out[2 * size] = '\0';
    return true;
}

std::size_t HexToBytes(const char *text, std::size_t length, std::uint8_t *dst,
                       std::size_t capacity) {
    if (!text || !dst || length == 0 || length % 2 != 0 || length / 2 > capacity) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (HexDigitValue(text[i]) < 0) return 0;
    }
    for (std::size_t i = 0; i < length; i += 2) {
        dst[i / 2] = static_cast<std::uint8_t>(HexDigitValue(text[i]) << 4 | HexDigitValue(text[i + 1]));
    }
    return length / 2;
}

std::size_t HexToBytes(const char *text, std::uint8_t *dst, std::size_t capacity) {
    return HexToBytes(text, text ? std::strlen(text) : 0, dst, capacity);
}
