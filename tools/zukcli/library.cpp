// The DLL is loaded lazily: `status` must be able to run when the library refuses to load.
#include "tools/zukcli/library.h"

#include <windows.h>

namespace {

HMODULE g_dll = nullptr;
bool g_tried = false;
std::string g_loadError;
std::string g_path;

}  // namespace

std::string SystemErrorText(unsigned long error) {
    char *text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string out = "error " + std::to_string(error);
    if (text) {
        std::string message(text);
        LocalFree(text);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == ' ' || message.back() == '.')) {
            message.pop_back();
        }
        if (!message.empty()) out += ": " + message;
    }
    return out;
}

void SetDllPath(const std::string &path) { g_path = path; }

std::string DllPath() {
    if (!g_path.empty()) return g_path;
    char env[MAX_PATH] = {0};
    DWORD n = GetEnvironmentVariableA("ZUKCNTRL_DLL", env, sizeof env);
    if (n > 0 && n < sizeof env) return env;
    char self[MAX_PATH] = {0};
    n = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string p(self, n < sizeof self ? n : 0);
    return p.substr(0, p.find_last_of("\\/") + 1) + "ZUKcntrl.dll";
}

bool LoadZukLibrary(std::string *why) {
    if (!g_tried) {
        g_tried = true;
        const std::string path = DllPath();
        // Keep the loader's own error box away: a console program reports the failure itself.
        UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        g_dll = LoadLibraryA(path.c_str());
        DWORD error = GetLastError();
        SetErrorMode(previous);
        if (!g_dll) {
            g_loadError = "cannot load " + path + " (" + SystemErrorText(error) + ")";
            if (error == ERROR_DLL_INIT_FAILED) {
                g_loadError += "; the library refused to load: run `zukcli status` to see which "
                               "setting is missing or invalid";
            } else if (error == ERROR_BAD_EXE_FORMAT) {
#ifdef _WIN64
                g_loadError +=
                    "; this zukcli is a 64-bit program and needs the 64-bit library (the "
                    "32-bit one is for 32-bit programs)";
#else
                g_loadError +=
                    "; this zukcli is a 32-bit program and needs the 32-bit library (the "
                    "64-bit one is for 64-bit programs)";
#endif
            }
        }
    }
    if (!g_dll && why) *why = g_loadError;
    return g_dll != nullptr;
}

void *FindExport(const char *name, std::string *why) {
    if (!LoadZukLibrary(why)) return nullptr;
    FARPROC address = GetProcAddress(g_dll, name);
    if (!address && why) *why = std::string("export not found: ") + DllPath() + " has no " + name;
    return reinterpret_cast<void *>(address);
}

void UnloadZukLibrary() {
    if (g_dll) FreeLibrary(g_dll);
    g_dll = nullptr;
}
