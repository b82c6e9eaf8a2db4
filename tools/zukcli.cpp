// zukcli: a command-line host that loads ZUKcntrl.dll (from its own folder, or the path in
// ZUKCNTRL_DLL) and calls its exports as subcommands, printing each result by name and meaning.
//   zukcli version mode
// Exit code 0 when every call returned 0.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ZUKcntrl.h"

namespace {

struct ResultName {
    int code;
    const char *name;
    const char *meaning;
};

const ResultName kResults[] = {
    {ZUK_OK, "ZUK_OK", "success"},
    {ZUK_CANCELLED, "ZUK_CANCELLED", "the user cancelled the prompt"},
    {ZUK_ERR_INCOMPLETE, "ZUK_ERR_INCOMPLETE", "a prompt could not be shown or the reader's answer stayed incomplete"},
    {ZUK_ERR_NO_DATA, "ZUK_ERR_NO_DATA", "the card holds no account, or no PIN to verify"},
    {ZUK_ERR_PIN_WRONG, "ZUK_ERR_PIN_WRONG", "the PIN does not match"},
    {ZUK_ERR_DISABLED, "ZUK_ERR_DISABLED", "the library is switched off by its registry Mode"},
    {ZUK_ERR_NO_CARD, "ZUK_ERR_NO_CARD", "no card answered on the reader"},
    {ZUK_ERR_CARD_LOCKED, "ZUK_ERR_CARD_LOCKED", "the card's PIN is locked"},
    {ZUK_ERR_PIN_LOCKED_NOW, "ZUK_ERR_PIN_LOCKED_NOW", "wrong PIN, and the card is now locked"},
    {ZUK_ERR_ACCOUNT_STORE, "ZUK_ERR_ACCOUNT_STORE", "the credential store cannot be written or holds no usable pair"},
    {ZUK_ERR_VERSION, "ZUK_ERR_VERSION", "the request record's version is not 0x10000"},
    {ZUK_ERR_ALREADY_OPEN, "ZUK_ERR_ALREADY_OPEN", "the reader is already open"},
    {ZUK_ERR_NOT_OPEN, "ZUK_ERR_NOT_OPEN", "the reader is not open"},
    {ZUK_ERR_PORT_CLOSE, "ZUK_ERR_PORT_CLOSE", "the serial port cannot be closed"},
    {ZUK_ERR_PORT_OPEN, "ZUK_ERR_PORT_OPEN", "the serial port cannot be opened or the reader was not found"},
    {ZUK_ERR_LINK_CLOSE, "ZUK_ERR_LINK_CLOSE", "the reader failed while the link was being closed"},
    {ZUK_ERR_BUSY, "ZUK_ERR_BUSY", "another call of the library is in progress"},
    {ZUK_ERR_HANDLE, "ZUK_ERR_HANDLE", "the reader handle is not 1"},
    {ZUK_ERR_PORT_IO, "ZUK_ERR_PORT_IO", "serial port I/O failed"},
    {ZUK_ERR_READER_STATUS, "ZUK_ERR_READER_STATUS", "the reader answered with an error status"},
    {ZUK_ERR_PARAM, "ZUK_ERR_PARAM", "an argument is invalid"},
    {ZUK_ERR_BUFFER, "ZUK_ERR_BUFFER", "a buffer is too small for the data"},
    {ZUK_ERR_SYSTEM, "ZUK_ERR_SYSTEM", "a system facility failed"},
    {ZUK_ERR_CARD_IO, "ZUK_ERR_CARD_IO", "the reader's answer was malformed or a card command failed"},
    {ZUK_ERR_UNEXPECTED, "ZUK_ERR_UNEXPECTED", "an unexpected internal result"},
};

void PrintResult(const char *call, int code) {
    for (const ResultName &r : kResults) {
        if (r.code == code) {
            std::printf("%s: %s (%d): %s\n", call, r.name, code, r.meaning);
            return;
        }
    }
    std::printf("%s: unknown result %d (0x%08x)\n", call, code, static_cast<unsigned>(code));
}

std::string DllPath() {
    char env[MAX_PATH] = {0};
    if (GetEnvironmentVariableA("ZUKCNTRL_DLL", env, sizeof env) > 0) return env;
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string p(self);
    return p.substr(0, p.find_last_of('\\') + 1) + "ZUKcntrl.dll";
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zukcli COMMAND...   (commands: version, mode)\n");
        return 2;
    }
    std::string path = DllPath();
    HMODULE dll = LoadLibraryA(path.c_str());
    if (!dll) {
        std::printf("cannot load %s (error %lu): check the registry values under "
                    "HKLM\\SOFTWARE\\KORVA\\ZUKLib (InstallPath, Mode, Device, Config)\n",
                    path.c_str(), GetLastError());
        return 1;
    }
    typedef int(ZUKAPI * VersionFn)(int *);
    typedef int(ZUKAPI * ModeFn)(int *, int);
    VersionFn version = reinterpret_cast<VersionFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "ZUKGetLibVersion")));
    ModeFn mode = reinterpret_cast<ModeFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "ZUKGetLibMode")));
    int exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        int code = 0;
        if (std::strcmp(argv[i], "version") == 0 && version) {
            int v = 0;
            code = version(&v);
            PrintResult("ZUKGetLibVersion", code);
            if (code == 0) std::printf("  version %d.%d.%d (0x%08x)\n", v >> 16, (v >> 8) & 0xFF, v & 0xFF, v);
        } else if (std::strcmp(argv[i], "mode") == 0 && mode) {
            int m = 0;
            code = mode(&m, 0);
            PrintResult("ZUKGetLibMode", code);
            if (code == 0) {
                std::printf("  mode %d (%s)\n", m,
                            m == 256 ? "account from a card" : m == 768 ? "account from a card or typed" : "off");
            }
        } else {
            std::printf("%s: unknown command\n", argv[i]);
            code = 2;
        }
        if (code != 0) exitCode = 1;
    }
    FreeLibrary(dll);
    return exitCode;
}
