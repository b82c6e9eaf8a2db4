// Registry helpers of the settings layer.  Each opens its key, closes it before returning, and
// returns 0 or the platform's registry error code.
#ifndef ZUK_SETTINGS_REGISTRY_H
#define ZUK_SETTINGS_REGISTRY_H

#include <cstdint>

#include "platform/registry.h"

// The largest value ReadRegString reads.
const std::uint32_t kRegStringCapacity = 1024;

// Reads a value of any type as bytes: at most min(*length, 1024) bytes; one trailing zero byte is
// dropped; no terminator is added (pass a zero-filled destination).  *length becomes the byte
// count, or 0 on any failure (a value larger than asked for included).
long ReadRegString(PlatKey root, const char *subkey, const char *name, std::uint8_t *dst,
                   std::uint32_t *length);

// The same read from a key the caller has open, and a read of at most 4 bytes into *value.
long ReadRegStringIn(PlatKey key, const char *name, std::uint8_t *dst, std::uint32_t *length);
long ReadRegDwordIn(PlatKey key, const char *name, std::uint32_t *value);

// Stores exactly length bytes as a string value, creating the key (volatile when asked; that has
// no effect on a key that exists already).
long WriteRegString(PlatKey root, const char *subkey, const char *name, const std::uint8_t *data,
                    std::uint32_t length, bool isVolatile);

// A binary value of at most *size bytes, read whole (*size becomes its size; 0 on any failure,
// PLAT_ERROR_MORE_DATA for a larger one), and one stored as REG_BINARY, creating the key as
// WriteRegString does.
long ReadRegBinary(PlatKey root, const char *subkey, const char *name, std::uint8_t *dst,
                   std::uint32_t *size);
long WriteRegBinary(PlatKey root, const char *subkey, const char *name, const std::uint8_t *data,
                    std::uint32_t size, bool isVolatile);

// Deletes a value.
long DeleteRegValue(PlatKey root, const char *subkey, const char *name);

// Opens the current user's registry root with the given access (0 or the platform's error).
long OpenCurrentUserRoot(std::uint32_t access, PlatKey *key);

#endif
