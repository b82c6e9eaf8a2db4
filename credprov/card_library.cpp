#include "credprov/card_library.h"

#include <ntsecapi.h>

#include <cstring>

namespace {

template <typename Fn>
bool Find(HMODULE module, const char *name, Fn *out) {
    *out = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return *out != nullptr;
}

}  // namespace

bool LoadCardLibrary(HMODULE beside, CardLibrary *out) {
    std::memset(out, 0, sizeof *out);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(beside, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t *slash = wcsrchr(path, L'\\');
    if (slash == nullptr) return false;
    const wchar_t kName[] = L"ZUKcntrl.dll";
    if (static_cast<size_t>(slash + 1 - path) + sizeof kName / sizeof kName[0] > MAX_PATH)
        return false;
    std::memcpy(slash + 1, kName, sizeof kName);
    // Read by the library when it loads: the sign-in screen must never show its message boxes.
    SetEnvironmentVariableA("ZUK_UNATTENDED", "1");
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return false;
    CardLibrary found = {};
    found.module = module;
    if (!Find(module, "ZUKOpen", &found.open) || !Find(module, "ZUKClose", &found.close) ||
        !Find(module, "ZUKSenseCard", &found.sense) ||
        !Find(module, "ZUKGetUserName", &found.userName) ||
        !Find(module, "ZUKGetUserAccountWithPin", &found.accountWithPin) ||
        !Find(module, "ZUKWaitForCard", &found.waitForCard) ||
        !Find(module, "ZUKCancel", &found.cancel)) {
        FreeLibrary(module);
        return false;
    }
    *out = found;
    return true;
}

void FreeCardLibrary(CardLibrary *library) {
    if (library->module != nullptr) FreeLibrary(library->module);
    std::memset(library, 0, sizeof *library);
}

HRESULT LookupNegotiatePackage(ULONG *package) {
    HANDLE lsa = nullptr;
    NTSTATUS status = LsaConnectUntrusted(&lsa);
    if (status != 0) return HRESULT_FROM_NT(status);
    char name[] = "Negotiate";
    LSA_STRING packageName;
    packageName.Buffer = name;
    packageName.Length = static_cast<USHORT>(std::strlen(name));
    packageName.MaximumLength = static_cast<USHORT>(packageName.Length + 1);
    status = LsaLookupAuthenticationPackage(lsa, &packageName, package);
    LsaDeregisterLogonProcess(lsa);
    return status == 0 ? S_OK : HRESULT_FROM_NT(status);
}

ProviderSeams *CredProvSeams() {
    static ProviderSeams seams = {LoadCardLibrary, LookupNegotiatePackage};
    return &seams;
}
