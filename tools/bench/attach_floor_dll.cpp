// The floor of the library's attach time on this platform: an entry point that makes the system
// calls the library's load must make (the machine key's values, the policy key's values where the
// key exists, the current user's root and library key, the INI file read whole, the stored site
// keys, the language index and the English catalogue read by lines) and nothing else: no parsing,
// no checks, no settings kept.  What the library's attach costs beyond this DLL's is the library's
// own work.
//
// The site keys take what is stored, as the library's load does: the machine key opened again for
// the SiteKeys value; only when there is one, the machine's MachineGuid, crypt32.dll loaded (and
// kept) and CryptUnprotectData on the stored blob with the same entropy.  So one floor DLL serves
// a machine with site keys and one without.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>

#include "settings/setting_table.h"

namespace {

// The values the library's load queries, from its settings table (so that this floor follows
// every row added): the machine values after InstallPath, and every governed row's policy value.
struct Row {
    const char *name;
    const char *machine;
    bool governed;
};
#define ZUK_FLOOR_ROW(name, field, machine, section, key, env, governed, ...)                      \
    {#name, machine, governed},
const Row kRows[] = {ZUK_SETTINGS(ZUK_FLOOR_ROW)};
#undef ZUK_FLOOR_ROW

const char kKey[] = "SOFTWARE\\KORVA\\ZUKLib";

typedef LONG(WINAPI *RegOpenCurrentUserFn)(REGSAM, PHKEY);
typedef BOOL(WINAPI *UnprotectFn)(DATA_BLOB *, LPWSTR *, DATA_BLOB *, PVOID,
                                  CRYPTPROTECT_PROMPTSTRUCT *, DWORD, DATA_BLOB *);

void ReadSiteKeys() {
    HKEY machine = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &machine) != ERROR_SUCCESS)
        return;
    static BYTE blob[2048];
    DWORD size = sizeof blob;
    const LONG stored = RegQueryValueExA(machine, "SiteKeys", nullptr, nullptr, blob, &size);
    RegCloseKey(machine);
    if (stored != ERROR_SUCCESS) return;
    char entropy[96] = "ZUKcntrl site keys ";
    const DWORD prefix = static_cast<DWORD>(std::strlen(entropy));
    HKEY crypto = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &crypto) != ERROR_SUCCESS) {
        return;
    }
    DWORD guid = sizeof entropy - prefix;
    const LONG found = RegQueryValueExA(crypto, "MachineGuid", nullptr, nullptr,
                                        reinterpret_cast<BYTE *>(entropy + prefix), &guid);
    RegCloseKey(crypto);
    if (found != ERROR_SUCCESS) return;
    while (guid > 0 && entropy[prefix + guid - 1] == 0) --guid;
    HMODULE crypt32 = LoadLibraryA("crypt32.dll");
    if (crypt32 == nullptr) return;
    (void)GetProcAddress(crypt32, "CryptProtectData");
    UnprotectFn unprotect = reinterpret_cast<UnprotectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(crypt32, "CryptUnprotectData")));
    if (unprotect == nullptr) return;
    DATA_BLOB in = {size, blob};
    DATA_BLOB extra = {prefix + guid, reinterpret_cast<BYTE *>(entropy)};
    DATA_BLOB value = {0, nullptr};
    if (unprotect(&in, nullptr, &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &value)) {
        SecureZeroMemory(value.pbData, value.cbData);
        LocalFree(value.pbData);
    }
}

void ReadWhole(const char *path, const char *mode, bool byLines) {
    std::FILE *file = std::fopen(path, mode);
    if (file == nullptr) return;
    static char buffer[16384];
    if (byLines) {
        while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        }
    } else {
        std::setvbuf(file, nullptr, _IONBF, 0);
        (void)std::fread(buffer, 1, sizeof buffer, file);
    }
    std::fclose(file);
}

void Attach() {
    char install[1024] = {0};
    HKEY machine = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &machine) == ERROR_SUCCESS) {
        DWORD size = sizeof install - 1;
        RegQueryValueExA(machine, "InstallPath", nullptr, nullptr,
                         reinterpret_cast<BYTE *>(install), &size);
        for (const Row &row : kRows) {
            if (row.machine[0] == '\0' || std::strcmp(row.machine, "InstallPath") == 0) continue;
            BYTE value[64];
            DWORD length = sizeof value;
            RegQueryValueExA(machine, row.machine, nullptr, nullptr, value, &length);
        }
        RegCloseKey(machine);
    }
    // The policy key (one for both views), and each value a policy may set.
    HKEY policy = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\KORVA\\ZUKLib", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &policy) == ERROR_SUCCESS) {
        for (const Row &row : kRows) {
            if (!row.governed) continue;
            BYTE value[512];
            DWORD length = sizeof value;
            RegQueryValueExA(policy, row.name, nullptr, nullptr, value, &length);
        }
        RegCloseKey(policy);
    }
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    RegOpenCurrentUserFn openUser = reinterpret_cast<RegOpenCurrentUserFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(advapi, "RegOpenCurrentUser")));
    HKEY user = nullptr;
    if (openUser != nullptr && openUser(KEY_READ, &user) == ERROR_SUCCESS) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(user, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
        RegCloseKey(user);
    }
    FreeLibrary(advapi);
    char path[1200];
    std::snprintf(path, sizeof path, "%sZUKcntrl.ini", install);
    ReadWhole(path, "rb", false);
    ReadSiteKeys();
    std::snprintf(path, sizeof path, "%sZukLang.csv", install);
    ReadWhole(path, "r", true);
    std::snprintf(path, sizeof path, "%sZukLang_0409.txt",
                  install);  // what the index names for 0409
    ReadWhole(path, "r", true);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Attach();
    return TRUE;
}
