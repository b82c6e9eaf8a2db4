// `keys install FILE`, `keys status` and `keys remove`: the site keys stored on this machine for
// the library of each bitness, encrypted for this machine.  Nothing here prints a key: only check
// values.
#include "tools/zukcli/key_store.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "card/key_checks.h"
#include "platform/registry.h"
#include "settings/site_key_store.h"
#include "tools/zukcli/key_file.h"

namespace {

struct View {
    std::uint32_t flag;
    const char *name;
};

// The registry views a library reads: both on 64-bit Windows (the 64-bit library reads the 64-bit
// view, the 32-bit one the 32-bit view), the one view elsewhere.
std::vector<View> LibraryViews() {
    BOOL wow64 = FALSE;
    const bool is64 = sizeof(void *) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
    if (!is64) return {{0, "registry"}};
    return {{PLAT_KEY_WOW64_64KEY, "64-bit view"}, {PLAT_KEY_WOW64_32KEY, "32-bit view"}};
}

std::string ErrorText(long error) {
    std::string text = "system error " + std::to_string(error);
    if (error == ERROR_ACCESS_DENIED) text += ": run as an administrator";
    return text;
}

bool SameCheck(const SiteKeys &a, const SiteKeys &b) {
    std::uint8_t x[SITE_KEY_FILE_CHECK_SIZE], y[SITE_KEY_FILE_CHECK_SIZE];
    SiteKeysCheck(a, x);
    SiteKeysCheck(b, y);
    return std::memcmp(x, y, sizeof x) == 0;
}

// The SiteKeys value of one view as it was before an install (absent, or its type and bytes: a
// protected blob, no key in clear), so that a failed install can put every view back.
struct Previous {
    bool present = false;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
};

Previous ReadPrevious(std::uint32_t view) {
    Previous p;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS) {
        return p;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, ZUK_SITE_KEYS_VALUE, nullptr, &type, nullptr, &size) ==
        ERROR_SUCCESS) {
        p.bytes.resize(size);
        if (RegQueryValueExA(key, ZUK_SITE_KEYS_VALUE, nullptr, &type, p.bytes.data(), &size) ==
            ERROR_SUCCESS) {
            p.present = true;
            p.type = type;
            p.bytes.resize(size);
        }
    }
    RegCloseKey(key);
    return p;
}

bool Restore(std::uint32_t view, const Previous &p) {
    if (!p.present) return SiteKeyStoreRemove(view) == 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, 0, KEY_SET_VALUE | view, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExA(key, ZUK_SITE_KEYS_VALUE, 0, p.type, p.bytes.data(),
                                   static_cast<DWORD>(p.bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace

StoredKeysSource ReadStoredKeysSource(std::uint32_t view, SiteKeys *keys) {
    StoredKeysSource s;
    s.result = SiteKeyStoreRead(view, keys);
    s.source = s.result == kKeyStoreNone ? "built-in" : s.result == kKeyStoreOk ? "site" : "none";
    if (s.result == kKeyStoreOk) {
        std::uint8_t value[SITE_KEY_FILE_CHECK_SIZE];
        SiteKeysCheck(*keys, value);
        s.check = HexText(value, sizeof value);
    }
    return s;
}

bool InstallSiteKeys(const std::string &path, Entry *e) {
    e->AddText("file", path);
    SiteKeys keys;
    std::string error;
    if (!ReadKeyFile(path, &keys, &error)) {
        e->error = error + "; nothing was stored";
        return false;
    }
    const bool hadIssuer = keys.hasIssuer;
    keys.hasIssuer = false;  // the machines that run the library never hold the issuing table
    SecureZeroMemory(keys.issuer, sizeof keys.issuer);
    // All views or none: a library of one bitness with the site's keys and one of the other with
    // other keys would split the machine.
    const std::vector<View> views = LibraryViews();
    std::vector<Previous> previous;
    for (const View &view : views) previous.push_back(ReadPrevious(view.flag));
    bool ok = true;
    for (const View &view : views) {
        if (!ok) break;
        long stored = SiteKeyStoreWrite(view.flag, keys);
        SiteKeys back;
        const SiteKeyStoreResult read =
            stored == 0 ? SiteKeyStoreRead(view.flag, &back) : kKeyStoreNone;
        if (stored == 0 && (read != kKeyStoreOk || !SameCheck(keys, back))) {
            e->lines.push_back(std::string("error: ") + view.name +
                               ": the stored keys do not read back (" +
                               SiteKeyStoreResultText(read) + ")");
            ok = false;
        } else if (stored != 0) {
            e->lines.push_back(std::string("error: ") + view.name + ": cannot be stored (" +
                               ErrorText(stored) + ")");
            ok = false;
        } else {
            e->lines.push_back(std::string(view.name) + ": stored and read back");
        }
        SiteKeysWipe(&back);
    }
    if (ok) {
        AddCheckValues(keys, e);
        if (hadIssuer)
            e->lines.push_back(
                "the issuing table is not stored: zukcard takes the key file itself");
        e->lines.push_back(
            "libraries loaded from now on use these keys; readers that hold other keys "
            "must be moved (zukcard move-reader) and cards issued with this file");
    } else {
        bool restored = true;
        for (std::size_t i = 0; i < views.size(); ++i)
            restored = Restore(views[i].flag, previous[i]) && restored;
        e->error =
            restored
                ? "the site keys were not stored; every library keeps the keys it had"
                : "the site keys were not stored, and the keys stored before could not be put back "
                  "in every view: run keys install again, or keys remove";
    }
    SiteKeysWipe(&keys);
    return ok;
}

std::string SiteKeyViewsDifference() {
    const std::vector<View> views = LibraryViews();
    std::string first, text;
    bool differ = false;
    for (const View &view : views) {
        SiteKeys keys;
        const StoredKeysSource stored = ReadStoredKeysSource(view.flag, &keys);
        SiteKeysWipe(&keys);
        // What a library of this view uses: the source, and for site keys which ones.
        const std::string uses =
            stored.result == kKeyStoreOk ? "site keys (keys check " + stored.check + ")"
            : stored.result == kKeyStoreNone
                ? std::string("the built-in keys")
                : std::string("no keys (") + SiteKeyStoreResultName(stored.result) + ")";
        if (first.empty()) first = uses;
        else if (uses != first) differ = true;
        text += std::string(text.empty() ? "" : ", ") + view.name + ": " + uses;
    }
    return differ ? text : std::string();
}

bool ShowSiteKeys(Entry *e) {
    bool usable = true;
    std::string json = "{";
    std::string shownCheck;  // the check values are shown once, for the first view with site keys
    for (const View &view : LibraryViews()) {
        SiteKeys keys;
        const StoredKeysSource stored = ReadStoredKeysSource(view.flag, &keys);
        const SiteKeyStoreResult result = stored.result;
        const std::string &source = stored.source;
        const std::string &check = stored.check;
        std::string line = std::string(view.name) + ": ";
        if (result == kKeyStoreOk) {
            line += "the site keys (keys check " + check + ")";
        } else if (result == kKeyStoreNone) {
            line += "the built-in keys (no site keys stored)";
        } else {
            line += std::string("NO keys: ") + SiteKeyStoreResultText(result) +
                    "; every call that needs the reader fails (0x40000) until the key file is "
                    "installed "
                    "again or the keys are removed";
            usable = false;
        }
        e->lines.push_back(line);
        json += std::string(json.size() > 1 ? "," : "") + JsonString(view.name) +
                ":{\"source\":" + JsonString(source) +
                ",\"result\":" + JsonString(SiteKeyStoreResultName(result)) +
                (check.empty() ? "" : ",\"check\":" + JsonString(check)) + "}";
        if (result == kKeyStoreOk && shownCheck.empty()) {
            AddCheckValues(keys, e);
            shownCheck = check;
        }
        SiteKeysWipe(&keys);
    }
    // The libraries of the two bitnesses must use the same keys: one with the site's and one with
    // the built-in (or other) keys splits the machine, whichever program happens to load which.
    const std::string difference = SiteKeyViewsDifference();
    if (!difference.empty()) {
        e->lines.push_back(
            "error: the registry views hold different keys (" + difference +
            "): install the key file again (keys install) or remove the keys (keys remove)");
        usable = false;
    }
    e->AddFlag("viewsAgree", difference.empty());
    e->Only(Field::JsonOnly);
    e->AddJson("views", json + "}");
    e->AddFlag("usable", usable);
    e->Only(Field::JsonOnly);
    return usable;
}

bool RemoveSiteKeys(Entry *e) {
    bool ok = true;
    for (const View &view : LibraryViews()) {
        const long error = SiteKeyStoreRemove(view.flag);
        if (error != 0) {
            e->lines.push_back(std::string("error: ") + view.name + ": cannot be removed (" +
                               ErrorText(error) + ")");
            ok = false;
        } else {
            e->lines.push_back(std::string(view.name) + ": no site keys stored");
        }
    }
    if (ok) {
        e->lines.push_back(
            "libraries loaded from now on use the built-in keys; readers moved to the site's "
            "keys refuse them, and passwords remembered under the site's mask no longer unmask "
            "to the right password (the users enter them again)");
    } else {
        e->error = "the site keys were not removed for every library";
    }
    return ok;
}
