// INI file reading over the Win32 private-profile API.
#include <windows.h>

#include "platform/profile.h"

std::uint32_t PlatProfileInt(const char *section, const char *key, std::int32_t def,
                             const char *path) {
    return GetPrivateProfileIntA(section, key, def, path);
}

std::uint32_t PlatProfileString(const char *section, const char *key, const char *def, char *out,
                                std::uint32_t size, const char *path) {
    return GetPrivateProfileStringA(section, key, def, out, size, path);
}
