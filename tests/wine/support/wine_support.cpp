// Shared support of the Wine tests.
#include "tests/wine/support/wine_support.h"

#include <fstream>
#include <sstream>

#include "settings/revocation.h"

namespace {
const char kKey[] = "SOFTWARE\\KORVA\\ZUKLib";

HKEY MachineKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}
}  // namespace

std::string ProgramDir() {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path);
    return p.substr(0, p.find_last_of('\\') + 1);
}

std::string InstallDir() { return ProgramDir() + "install\\"; }

void SetMachineString(const char *name, const std::string &value) {
    HKEY key = MachineKey();
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void SetMachineDword(const char *name, DWORD value) {
    HKEY key = MachineKey();
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
}

void DeleteMachineValue(const char *name) {
    HKEY key = MachineKey();
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

bool RevokeSampleCard(bool revoked) {
    if (!revoked) {
        const LONG gone = RegDeleteKeyA(HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY);
        return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const char idm[] = "012E4C1F930A5507";  // the sample card's IDm
    const bool set = RegSetValueExA(key, "card", 0, REG_SZ, reinterpret_cast<const BYTE *>(idm),
                                    sizeof idm) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

void WriteMachineConfig(DWORD mode, DWORD device, DWORD config) {
    for (const char *name :
         {"InstallPath", "Mode", "Device", "Config", "FeliCa", "ProtectPasswords"}) {
        DeleteMachineValue(name);
    }
    SetMachineString("InstallPath", InstallDir());
    SetMachineDword("Mode", mode);
    SetMachineDword("Device", device);
    SetMachineDword("Config", config);
}

void WriteIni(const std::string &content) {
    std::string path = InstallDir() + "ZUKcntrl.ini";
    if (content.empty()) {
        DeleteFileA(path.c_str());
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

LoadedLibrary::LoadedLibrary() { module = LoadLibraryA((ProgramDir() + "ZUKcntrl.dll").c_str()); }

LoadedLibrary::~LoadedLibrary() {
    if (module) FreeLibrary(module);
}

HANDLE StartChild(const std::string &arguments) {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string command = std::string("\"") + path + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}
