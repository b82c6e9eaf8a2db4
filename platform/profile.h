// Private-profile (INI file) reading with the platform's own semantics: sections and keys match
// without regard to case, a missing file, section or key gives the default.
#ifndef ZUK_PLATFORM_PROFILE_H
#define ZUK_PLATFORM_PROFILE_H

#include <cstdint>

// GetPrivateProfileIntA: the key's value read as a number, or def.
std::uint32_t PlatProfileInt(const char *section, const char *key, std::int32_t def,
                             const char *path);

// GetPrivateProfileStringA: copies the value (or def) into out, cut to size - 1 bytes and always
// terminated; returns the number of bytes copied without the terminator.
std::uint32_t PlatProfileString(const char *section, const char *key, const char *def, char *out,
                                std::uint32_t size, const char *path);

#endif
