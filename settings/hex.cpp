// Hexadecimal text to bytes and back: system codes, message ids, stored passwords, key files.
#include "settings/hex.h"

#include <cstring>

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

namespace {

// size bytes as digits, each byte after the first preceded by separator unless it is '\0'.
bool FormatHex(const std::uint8_t *bytes, std::size_t size, const char *digits, char separator,
               char *out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    const std::size_t step = separator != '\0' ? 3 : 2;
    const std::size_t needed = size == 0 ? 1 : step * size - (step - 2) + 1;
    if (needed > capacity) {
        out[0] = '\0';
        return false;
    }
    char *p = out;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0 && separator != '\0') *p++ = separator;
        *p++ = digits[bytes[i] >> 4];
        *p++ = digits[bytes[i] & 15];
    }
    *p = '\0';
    return true;
}

const char kUpperDigits[] = "0123456789ABCDEF";
const char kLowerDigits[] = "0123456789abcdef";

}  // namespace

bool BytesToHex(const std::uint8_t *bytes, std::size_t size, char *out, std::size_t capacity) {
    return FormatHex(bytes, size, kUpperDigits, '\0', out, capacity);
}

bool BytesToLowerHex(const std::uint8_t *bytes, std::size_t size, char *out, std::size_t capacity) {
    return FormatHex(bytes, size, kLowerDigits, '\0', out, capacity);
}

bool BytesToSpacedHex(const std::uint8_t *bytes, std::size_t size, char *out,
                      std::size_t capacity) {
    return FormatHex(bytes, size, kUpperDigits, ' ', out, capacity);
}

std::size_t HexToBytes(const char *text, std::size_t length, std::uint8_t *dst,
                       std::size_t capacity) {
    if (!text || !dst || length == 0 || length % 2 != 0 || length / 2 > capacity) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (HexDigitValue(text[i]) < 0) return 0;
    }
    for (std::size_t i = 0; i < length; i += 2) {
        dst[i / 2] =
            static_cast<std::uint8_t>(HexDigitValue(text[i]) << 4 | HexDigitValue(text[i + 1]));
    }
    return length / 2;
}

std::size_t HexToBytes(const char *text, std::uint8_t *dst, std::size_t capacity) {
    return HexToBytes(text, text ? std::strlen(text) : 0, dst, capacity);
}
