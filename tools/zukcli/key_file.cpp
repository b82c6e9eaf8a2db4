// Site key files from disk: read with the system's file calls into one buffer of fixed size (no
// copy left behind by a growing string), parsed, wiped; and the check values zukcli shows for a
// file's keys (keys generate, check, install, status).
#include "tools/zukcli/key_file.h"

#include <windows.h>

#include <cstdio>

#include "card/key_checks.h"
#include "settings/hex.h"

namespace {

std::string SystemError(DWORD error) { return std::to_string(static_cast<unsigned long>(error)); }

}  // namespace

bool ReadKeyFileBytes(const std::string &path, std::vector<char> *bytes, std::string *error) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
        if (!ReadFile(file, bytes->data() + have, static_cast<DWORD>(bytes->size() - have), &got,
                      nullptr)) {
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
    const SiteKeyFileResult result =
        SiteKeyFileParse(bytes.data(), bytes.size(), keys, reason, sizeof reason);
    if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size());
    if (result != kSiteKeysOk) *error = path + ": " + reason;
    return result;
}

bool ReadKeyFile(const std::string &path, SiteKeys *keys, std::string *error) {
    const SiteKeyFileResult result = LoadSiteKeyFile(path, keys, error);
    if (result != kSiteKeysOk && result != kSiteKeysBadArgument) {
        *error = path + " is not a valid site key file: " + *error;
    }
    return result == kSiteKeysOk;
}

void AddCheckValues(const SiteKeys &keys, Entry *e) {
    KeyCheckValue values[KEY_CHECK_MAX];
    const int count = SiteKeyCheckValues(keys, values);
    std::string json = "{";
    e->lines.push_back("check values (DES of zeros under each key; SHA-256 of the mask):");
    for (int i = 0; i < count; ++i) {
        const std::string value = HexText(values[i].value, sizeof values[i].value);
        char line[64];
        std::snprintf(line, sizeof line, "  %-16s %s", values[i].label, value.c_str());
        e->lines.push_back(line);
        json += std::string(i ? "," : "") + JsonString(values[i].label) + ":" + JsonString(value);
    }
    e->AddJson("checkValues", json + "}");
    // The keys' check value is the one every machine shows for the stored keys (keys status,
    // status); a file with an issuing table has a file check value of its own besides.
    std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE];
    SiteKeysCheck(keys, check);
    e->AddText("keys check", HexText(check, sizeof check));
    e->Only(Field::TextOnly);
    e->AddText("check", HexText(check, sizeof check));
    e->Only(Field::JsonOnly);
    if (keys.hasIssuer) {
        SiteKeyFileCheck(keys, check);
        e->AddText("file check", HexText(check, sizeof check));
        e->Only(Field::TextOnly);
        e->AddText("fileCheck", HexText(check, sizeof check));
        e->Only(Field::JsonOnly);
        e->lines.push_back(
            "(the keys check is what keys status and status show on the machines; the file check, "
            "the file's check line, covers the issuing table too)");
    }
    e->AddFlag("issuer", keys.hasIssuer);
    e->Only(Field::JsonOnly);
    e->lines.push_back(
        keys.hasIssuer ? "issuing table: present (issuing stations only; the library ignores it)"
                       : "issuing table: not present");
}

std::string HexText(const std::uint8_t *bytes, std::size_t size) {
    char text[2 * SITE_KEY_FILE_CHECK_SIZE + 1];  // check values: the longest shown
    return BytesToHex(bytes, size, text, sizeof text) ? text : "";
}
