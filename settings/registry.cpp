// Registry helpers: one open-use-close sequence per call, over the platform seam.
#include "settings/registry.h"

#include <cstring>

long ReadRegStringIn(PlatKey key, const char *name, std::uint8_t *dst, std::uint32_t *length) {
    if (!dst || !length) return PLAT_ERROR_INVALID_PARAMETER;
    std::uint32_t wanted = *length < kRegStringCapacity ? *length : kRegStringCapacity;
    *length = 0;
    std::uint8_t buffer[kRegStringCapacity];
    std::uint32_t count = wanted;
    std::uint32_t type = 0;
    long error = PlatRegQueryValue(key, name, &type, buffer, &count);
    if (error != 0) return error;
    if (count > wanted) return PLAT_ERROR_MORE_DATA;  // never trust a size beyond the buffer
    if (count > 0 && buffer[count - 1] == 0) --count;
    std::memcpy(dst, buffer, count);
    *length = count;
    return 0;
}

long ReadRegString(PlatKey root, const char *subkey, const char *name, std::uint8_t *dst,
                   std::uint32_t *length) {
    if (!dst || !length) return PLAT_ERROR_INVALID_PARAMETER;
    PlatKey key = 0;
    long error = PlatRegOpenKey(root, subkey, PLAT_KEY_QUERY_VALUE, &key);
    if (error != 0) {
        *length = 0;
        return error;
    }
    error = ReadRegStringIn(key, name, dst, length);
    PlatRegCloseKey(key);
    return error;
}

long ReadRegDwordIn(PlatKey key, const char *name, std::uint32_t *value) {
    if (!value) return PLAT_ERROR_INVALID_PARAMETER;
    std::uint8_t bytes[4];
    std::memcpy(bytes, value, 4);
    std::uint32_t size = 4;
    std::uint32_t type = 0;
    long error = PlatRegQueryValue(key, name, &type, bytes, &size);
    if (error == 0) std::memcpy(value, bytes, 4);
    return error;
}

long WriteRegString(PlatKey root, const char *subkey, const char *name, const std::uint8_t *data,
                    std::uint32_t length, bool isVolatile) {
    PlatKey key = 0;
    long error = PlatRegCreateKey(root, subkey, PLAT_KEY_READ | PLAT_KEY_WRITE, isVolatile, &key);
    if (error != 0) return error;
    static const std::uint8_t empty[1] = {0};
    error = PlatRegSetValue(key, name, PLAT_REG_SZ, data ? data : empty, data ? length : 0);
    PlatRegCloseKey(key);
    return error;
}

long ReadRegBinary(PlatKey root, const char *subkey, const char *name, std::uint8_t *dst,
                   std::uint32_t *size) {
    if (!dst || !size) return PLAT_ERROR_INVALID_PARAMETER;
    const std::uint32_t capacity = *size;
    *size = 0;
    PlatKey key = 0;
    long error = PlatRegOpenKey(root, subkey, PLAT_KEY_QUERY_VALUE, &key);
    if (error != 0) return error;
    std::uint32_t count = capacity;
    std::uint32_t type = 0;
    error = PlatRegQueryValue(key, name, &type, dst, &count);
    PlatRegCloseKey(key);
    if (error != 0) return error;
    if (count > capacity) return PLAT_ERROR_MORE_DATA;  // never trust a size beyond the buffer
    *size = count;
    return 0;
}

long WriteRegBinary(PlatKey root, const char *subkey, const char *name, const std::uint8_t *data,
                    std::uint32_t size, bool isVolatile) {
    PlatKey key = 0;
    long error = PlatRegCreateKey(root, subkey, PLAT_KEY_READ | PLAT_KEY_WRITE, isVolatile, &key);
    if (error != 0) return error;
    error = PlatRegSetValue(key, name, PLAT_REG_BINARY, data, size);
    PlatRegCloseKey(key);
    return error;
}

long DeleteRegValue(PlatKey root, const char *subkey, const char *name) {
    PlatKey key = 0;
    long error = PlatRegOpenKey(root, subkey, PLAT_KEY_ALL_ACCESS, &key);
    if (error != 0) return error;
    error = PlatRegDeleteValue(key, name);
    PlatRegCloseKey(key);
    return error;
}

long OpenCurrentUserRoot(std::uint32_t access, PlatKey *key) {
    return PlatRegOpenCurrentUser(access, key);
}
