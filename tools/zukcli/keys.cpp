// Site key files: a fresh file from the system's random number generator, and the check of a file.
// Keys live only in buffers that are wiped before they are given back.
#include "tools/zukcli/keys.h"

#include <windows.h>
// RtlGenRandom (advapi32's SystemFunction036): the system's cryptographic random number generator.
#include <ntsecapi.h>

#include <cstdio>
#include <vector>

#include "settings/site_keys.h"
#include "tools/zukcli/key_file.h"
#include "tools/zukcli/key_store.h"

namespace {

bool Random(void *data, std::size_t size) {
    return RtlGenRandom(data, static_cast<ULONG>(size)) != FALSE;
}

std::string SystemError(DWORD error) { return std::to_string(static_cast<unsigned long>(error)); }

bool Generate(const std::string &path, Entry *e) {
    SiteKeys keys;
    // Drawn again while the rule of weak keys refuses a value (settings/key_strength.h).
    if (!SiteKeysGenerate(Random, &keys)) {
        e->error = "the system's random number generator failed (or gave only weak keys)";
        return false;
    }
    char text[SITE_KEY_FILE_TEXT_SIZE];
    const std::size_t length = SiteKeyFileFormat(keys, text, sizeof text);
    // What is written must read back as these keys.
    SiteKeys back;
    char reason[SITE_KEY_FILE_ERROR_SIZE];
    const bool readable =
        length > 0 && SiteKeyFileParse(text, length, &back, reason, sizeof reason) == kSiteKeysOk;
    SiteKeysWipe(&back);
    bool ok = readable;
    if (!readable) {
        e->error = "the new file does not read back (run again)";
    } else {
        // CREATE_NEW: an existing file is never replaced, not even one created a moment ago.
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            e->error = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                           ? path + " already exists; it is not overwritten"
                           : "cannot create " + path + " (system error " + SystemError(error) + ")";
            ok = false;
        } else {
            DWORD written = 0;
            ok = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) &&
                 written == length && FlushFileBuffers(file);
            const DWORD error = GetLastError();
            CloseHandle(file);
            if (!ok) {
                DeleteFileA(path.c_str());
                e->error = "cannot write " + path + " (system error " + SystemError(error) + ")";
            }
        }
    }
    SecureZeroMemory(text, sizeof text);
    if (ok) {
        e->AddText("file", path);
        e->lines.push_back("written: a new site key file with fresh random keys; keep it secret");
        AddCheckValues(keys, e);
    }
    SiteKeysWipe(&keys);
    return ok;
}

bool Check(const std::string &path, Entry *e) {
    e->AddText("file", path);
    SiteKeys keys;
    std::string error;
    const SiteKeyFileResult result = LoadSiteKeyFile(path, &keys, &error);
    if (result == kSiteKeysBadArgument) {  // not read at all
        e->error = error;
        return false;
    }
    const bool valid = result == kSiteKeysOk;
    e->AddFlag("valid", valid);
    if (valid) {
        AddCheckValues(keys, e);
    } else {
        e->AddText("result", SiteKeyFileResultName(result));
        e->AddText("reason", error);
    }
    SiteKeysWipe(&keys);
    return valid;
}

}  // namespace

bool IsKeysAction(const std::string &word) {
    return KeysActionTakesFile(word) || word == "status" || word == "remove";
}

bool KeysActionTakesFile(const std::string &word) {
    return word == "generate" || word == "check" || word == "install";
}

bool RunKeys(const std::string &action, const std::string &path, Report *report) {
    Entry e;
    e.command = "keys " + action;
    bool ok = false;
    if (action == "generate") ok = Generate(path, &e);
    else if (action == "check") ok = Check(path, &e);
    else if (action == "install") ok = InstallSiteKeys(path, &e);
    else if (action == "status") ok = ShowSiteKeys(&e);
    else if (action == "remove") ok = RemoveSiteKeys(&e);
    e.failed = !ok;
    report->Add(e);
    return ok;
}
