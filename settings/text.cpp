// Bounded text copies for the fixed buffers of the settings layer.
#include "settings/text.h"

#include <cstring>

bool CopyText(char *dst, std::size_t capacity, const char *src) {
    return JoinText(dst, capacity, src, "");
}

bool JoinText(char *dst, std::size_t capacity, const char *a, const char *b) {
    if (!dst || capacity == 0) return false;
    std::size_t la = a ? std::strlen(a) : 0;
    std::size_t lb = b ? std::strlen(b) : 0;
    if (la >= capacity || lb >= capacity - la) {
        dst[0] = '\0';
        return false;
    }
    if (la) std::memmove(dst, a, la);
    if (lb) std::memmove(dst + la, b, lb);
    dst[la + lb] = '\0';
    return true;
}
