// Site key files from disk: read with the system's file calls into one buffer of fixed size (no
// copy left behind by a growing string), parsed, wiped.
#include "tools/zukcli/key_file.h"

#include <windows.h>

namespace {

std::string SystemError(DWORD error) { return std::to_string(static_cast<unsigned long>(error)); }

}  // namespace

bool ReadKeyFileBytes(const std::string &path, std::vector<char> *bytes, std::string *error) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                     ? path + " does not exist"
                     : "cannot open " + path + " (system error " + SystemError(code) + ")";
        return false;
    }
    bytes->assign(SITE_KEY_FILE_MAX_SIZE + 1, '\0');
    std::size_t have = 0;
    bool ok = true;
    while (have < bytes->size()) {
        DWORD got = 0;
        if (!ReadFile(file, bytes->data() + have, static_cast<DWORD>(bytes->size() - have), &got, nullptr)) {
            *error = "cannot read " + path + " (system error " + SystemError(GetLastError()) + ")";
            ok = false;
            break;
        }
        if (got == 0) break;
        have += got;
    }
    CloseHandle(file);
    SecureZeroMemory(bytes->data() + have, bytes->size() - have);
    bytes->resize(have);
    return ok;
}

SiteKeyFileResult LoadSiteKeyFile(const std::string &path, SiteKeys *keys, std::string *error) {
    SiteKeysWipe(keys);
    std::vector<char> bytes;
    if (!ReadKeyFileBytes(path, &bytes, error)) {
        if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size());
        return kSiteKeysBadArgument;
    }
    char reason[SITE_KEY_FILE_ERROR_SIZE] = {0};
    const SiteKeyFileResult result = SiteKeyFileParse(bytes.data(), bytes.size(), keys, reason, sizeof reason);
    if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size());
    if (result != kSiteKeysOk) *error = path + ": " + reason;
    return result;
}
