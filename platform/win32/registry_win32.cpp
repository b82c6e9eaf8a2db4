// Registry access over the Win32 API.
#include <windows.h>

#include "platform/registry.h"

namespace {

HKEY AsHkey(PlatKey key) { return reinterpret_cast<HKEY>(key); }

typedef LONG(WINAPI *RegOpenCurrentUserFn)(REGSAM, PHKEY);

}  // namespace

long PlatRegOpenCurrentUser(std::uint32_t access, PlatKey *key) {
    // Looked up at run time: a thread that impersonates a user then sees that user's hive.
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (!advapi) return PLAT_ERROR_PROC_NOT_FOUND;
    RegOpenCurrentUserFn open = reinterpret_cast<RegOpenCurrentUserFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(advapi, "RegOpenCurrentUser")));
    long error = PLAT_ERROR_PROC_NOT_FOUND;
    if (open) {
        HKEY hkey = nullptr;
        error = open(access, &hkey);
        if (error == ERROR_SUCCESS) *key = reinterpret_cast<PlatKey>(hkey);
    }
    FreeLibrary(advapi);  // the process keeps advapi32 loaded through its own imports
    return error;
}

long PlatRegOpenKey(PlatKey root, const char *path, std::uint32_t access, PlatKey *key) {
    HKEY hkey = nullptr;
    LONG error = RegOpenKeyExA(AsHkey(root), path, 0, access, &hkey);
    if (error == ERROR_SUCCESS) *key = reinterpret_cast<PlatKey>(hkey);
    return error;
}

long PlatRegCreateKey(PlatKey root, const char *path, std::uint32_t access, bool isVolatile,
                      PlatKey *key) {
    HKEY hkey = nullptr;
    LONG error = RegCreateKeyExA(AsHkey(root), path, 0, nullptr,
                                 isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE, access,
                                 nullptr, &hkey, nullptr);
    if (error == ERROR_SUCCESS) *key = reinterpret_cast<PlatKey>(hkey);
    return error;
}

long PlatRegQueryValue(PlatKey key, const char *name, std::uint32_t *type, std::uint8_t *data,
                       std::uint32_t *size) {
    DWORD t = 0;
    DWORD s = size ? *size : 0;
    LONG error = RegQueryValueExA(AsHkey(key), name, nullptr, &t, data, size ? &s : nullptr);
    if (type) *type = t;
    if (size) *size = s;
    return error;
}

long PlatRegSetValue(PlatKey key, const char *name, std::uint32_t type, const std::uint8_t *data,
                     std::uint32_t size) {
    return RegSetValueExA(AsHkey(key), name, 0, type, data, size);
}

long PlatRegDeleteValue(PlatKey key, const char *name) {
    return RegDeleteValueA(AsHkey(key), name);
}

long PlatRegEnumValue(PlatKey key, std::uint32_t index, char *name, std::uint32_t *nameLength,
                      std::uint32_t *type, std::uint8_t *data, std::uint32_t *size) {
    DWORD n = nameLength ? *nameLength : 0;
    DWORD t = 0;
    DWORD s = size ? *size : 0;
    LONG error =
        RegEnumValueA(AsHkey(key), index, name, &n, nullptr, &t, data, size ? &s : nullptr);
    if (nameLength) *nameLength = n;
    if (type) *type = t;
    if (size) *size = s;
    return error;
}

long PlatRegLastWrite(PlatKey key, std::uint64_t *stamp) {
    FILETIME written{};
    LONG error = RegQueryInfoKeyA(AsHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, &written);
    if (error == ERROR_SUCCESS && stamp)
        *stamp = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return error;
}

void PlatRegCloseKey(PlatKey key) {
    if (key == PLAT_HKEY_CURRENT_USER || key == PLAT_HKEY_LOCAL_MACHINE) return;
    RegCloseKey(AsHkey(key));
}
