// Data protection over crypt32.dll, loaded at the first call: the library does not import it, so a
// process (and a load of the library) that protects nothing never maps it.
#include <windows.h>

#include <wincrypt.h>

#include <cstring>

#include "platform/protect.h"

namespace {

typedef BOOL(WINAPI *ProtectFn)(DATA_BLOB *, LPCWSTR, DATA_BLOB *, PVOID,
                                CRYPTPROTECT_PROMPTSTRUCT *, DWORD, DATA_BLOB *);
typedef BOOL(WINAPI *UnprotectFn)(DATA_BLOB *, LPWSTR *, DATA_BLOB *, PVOID,
                                  CRYPTPROTECT_PROMPTSTRUCT *, DWORD, DATA_BLOB *);

struct Crypt32 {
    ProtectFn protect;
    UnprotectFn unprotect;
};

// crypt32.dll stays loaded once loaded (as the system keeps it for every process that uses DPAPI).
bool LoadCrypt32(Crypt32 *out) {
    static HMODULE module = nullptr;
    if (module == nullptr) module = LoadLibraryA("crypt32.dll");
    if (module == nullptr) return false;
    out->protect = reinterpret_cast<ProtectFn>(
        reinterpret_cast<void *>(GetProcAddress(module, "CryptProtectData")));
    out->unprotect = reinterpret_cast<UnprotectFn>(
        reinterpret_cast<void *>(GetProcAddress(module, "CryptUnprotectData")));
    return out->protect != nullptr && out->unprotect != nullptr;
}

// Copies the system's output into the caller's buffer, wipes and frees it.
long TakeOutput(DATA_BLOB *blob, std::uint8_t *out, std::uint32_t *outSize) {
    long error = 0;
    if (blob->cbData > *outSize) {
        error = ERROR_INSUFFICIENT_BUFFER;
    } else {
        std::memcpy(out, blob->pbData, blob->cbData);
        *outSize = blob->cbData;
    }
    SecureZeroMemory(blob->pbData, blob->cbData);
    LocalFree(blob->pbData);
    return error;
}

}  // namespace

long PlatProtectData(const std::uint8_t *data, std::uint32_t size, const std::uint8_t *entropy,
                     std::uint32_t entropySize, PlatProtectScope scope, std::uint8_t *out,
                     std::uint32_t *outSize) {
    Crypt32 crypt32;
    if (!LoadCrypt32(&crypt32))
        return static_cast<long>(GetLastError() ? GetLastError() : ERROR_PROC_NOT_FOUND);
    DATA_BLOB in = {size, const_cast<BYTE *>(data)};
    DATA_BLOB extra = {entropySize, const_cast<BYTE *>(entropy)};
    DATA_BLOB blob = {0, nullptr};
    DWORD flags = CRYPTPROTECT_UI_FORBIDDEN;
    if (scope == PLAT_PROTECT_MACHINE) flags |= CRYPTPROTECT_LOCAL_MACHINE;
    if (!crypt32.protect(&in, L"ZUKcntrl", entropySize > 0 ? &extra : nullptr, nullptr, nullptr,
                         flags, &blob)) {
        return static_cast<long>(GetLastError());
    }
    return TakeOutput(&blob, out, outSize);
}

long PlatUnprotectData(const std::uint8_t *blob, std::uint32_t size, const std::uint8_t *entropy,
                       std::uint32_t entropySize, std::uint8_t *out, std::uint32_t *outSize) {
    Crypt32 crypt32;
    if (!LoadCrypt32(&crypt32))
        return static_cast<long>(GetLastError() ? GetLastError() : ERROR_PROC_NOT_FOUND);
    DATA_BLOB in = {size, const_cast<BYTE *>(blob)};
    DATA_BLOB extra = {entropySize, const_cast<BYTE *>(entropy)};
    DATA_BLOB value = {0, nullptr};
    if (!crypt32.unprotect(&in, nullptr, entropySize > 0 ? &extra : nullptr, nullptr, nullptr,
                           CRYPTPROTECT_UI_FORBIDDEN, &value)) {
        const long error = static_cast<long>(GetLastError());
        return error != 0 ? error : ERROR_INVALID_DATA;
    }
    return TakeOutput(&value, out, outSize);
}
