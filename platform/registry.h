// Registry access, as thin as the Win32 calls it stands for.
//
// Keys are opaque handles.  Errors are the platform's registry error codes (0 is success); the
// codes the layers above look at are named below with their Win32 values.  Every function that
// opens a key leaves it open until PlatRegCloseKey; nothing here keeps state between calls beyond
// the open handles.
#ifndef ZUK_PLATFORM_REGISTRY_H
#define ZUK_PLATFORM_REGISTRY_H

#include <cstdint>

typedef std::uintptr_t PlatKey;

// Predefined roots (the Win32 HKEY values).
const PlatKey PLAT_HKEY_CURRENT_USER = 0x80000001u;
const PlatKey PLAT_HKEY_LOCAL_MACHINE = 0x80000002u;

// Access rights (the Win32 REGSAM values).
const std::uint32_t PLAT_KEY_QUERY_VALUE = 0x0001;
const std::uint32_t PLAT_KEY_SET_VALUE = 0x0002;
const std::uint32_t PLAT_KEY_READ = 0x20019;
const std::uint32_t PLAT_KEY_WRITE = 0x20006;
const std::uint32_t PLAT_KEY_ALL_ACCESS = 0xF003F;
// The 64-bit view from a 32-bit process on 64-bit Windows (ignored elsewhere): for keys such as
// the policies that both views share.
const std::uint32_t PLAT_KEY_WOW64_64KEY = 0x0100;
// The 32-bit view from a 64-bit process (ignored elsewhere).
const std::uint32_t PLAT_KEY_WOW64_32KEY = 0x0200;

// Value types.
const std::uint32_t PLAT_REG_SZ = 1;
const std::uint32_t PLAT_REG_EXPAND_SZ = 2;
const std::uint32_t PLAT_REG_BINARY = 3;
const std::uint32_t PLAT_REG_DWORD = 4;
const std::uint32_t PLAT_REG_MULTI_SZ = 7;

// Error codes.
const long PLAT_ERROR_SUCCESS = 0;
const long PLAT_ERROR_FILE_NOT_FOUND = 2;
const long PLAT_ERROR_ACCESS_DENIED = 5;
const long PLAT_ERROR_INVALID_PARAMETER = 87;
const long PLAT_ERROR_MORE_DATA = 234;
const long PLAT_ERROR_NO_MORE_ITEMS = 259;
// The current user's root is unavailable: advapi32 cannot be loaded or lacks RegOpenCurrentUser.
const long PLAT_ERROR_PROC_NOT_FOUND = 127;

// Opens the current user's registry root with the given access.  On Windows advapi32.dll is
// loaded at run time and its RegOpenCurrentUser is called, so that a thread impersonating a user
// sees that user's hive.  The key is closed with PlatRegCloseKey.
long PlatRegOpenCurrentUser(std::uint32_t access, PlatKey *key);

// RegOpenKeyExA: opens an existing subkey.
long PlatRegOpenKey(PlatKey root, const char *path, std::uint32_t access, PlatKey *key);

// RegCreateKeyExA: creates (with its missing parents) or opens a subkey.  isVolatile creates the
// key as a volatile one, kept in memory only until the hive is unloaded; it has no effect on a key
// that already exists.
long PlatRegCreateKey(PlatKey root, const char *path, std::uint32_t access, bool isVolatile,
                      PlatKey *key);

// RegQueryValueExA: *size is the buffer size in and the value's size out.  A buffer too small
// gives PLAT_ERROR_MORE_DATA with the needed size in *size; data may be null to ask for the size.
long PlatRegQueryValue(PlatKey key, const char *name, std::uint32_t *type, std::uint8_t *data,
                       std::uint32_t *size);

// RegSetValueExA: stores exactly size bytes of data.
long PlatRegSetValue(PlatKey key, const char *name, std::uint32_t type, const std::uint8_t *data,
                     std::uint32_t size);

// RegDeleteValueA.
long PlatRegDeleteValue(PlatKey key, const char *name);

// RegEnumValueA: the value at `index` (0 up): its name (*nameLength: capacity in, length out),
// type and data (*size as in PlatRegQueryValue).  PLAT_ERROR_NO_MORE_ITEMS past the last one.
long PlatRegEnumValue(PlatKey key, std::uint32_t index, char *name, std::uint32_t *nameLength,
                      std::uint32_t *type, std::uint8_t *data, std::uint32_t *size);

// RegQueryInfoKeyA's last write time of the key: a stamp that changes whenever a value of the key
// is set or deleted.
long PlatRegLastWrite(PlatKey key, std::uint64_t *stamp);

// RegCloseKey.  Closing a predefined root does nothing.
void PlatRegCloseKey(PlatKey key);

#endif
