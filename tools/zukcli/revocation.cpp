// The revocation lists.  The machine's list is written in both registry views (the 32-bit and the
// 64-bit library each read their own view); the policy list, one for both views, belongs to Group
// Policy and is only read here.
#include "tools/zukcli/revocation.h"

#include <windows.h>

#include <cctype>
#include <vector>

#include "settings/revocation.h"

namespace {

const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

struct ListEntry {
    std::string list;   // "policy" or "machine"
    std::string name;   // the value's name
    std::string text;   // its data as text ("(not text)" for another type)
    bool valid = false;
    std::string idm;    // upper case, when valid
};

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The entries of one list key in one view (none when the key is not there).
void ReadEntries(const char *path, REGSAM view, const char *list, std::vector<ListEntry> *out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        BYTE data[256] = {0};
        DWORD size = sizeof data - 1;
        const LONG error = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &size);
        if (error == ERROR_NO_MORE_ITEMS) break;
        ListEntry e;
        e.list = list;
        e.name = error == ERROR_SUCCESS || error == ERROR_MORE_DATA ? std::string(name, nameLength) : "?";
        if (error == ERROR_SUCCESS && type == REG_SZ) {
            e.text = reinterpret_cast<const char *>(data);
            std::uint64_t idm = 0;
            e.valid = ParseRevokedIdm(e.text.c_str(), e.text.size(), &idm);
            if (e.valid) {
                char text[17];
                std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(idm));
                e.idm = text;
            }
        } else {
            e.text = error == ERROR_MORE_DATA ? "(too long)" : "(not text)";
        }
        out->push_back(e);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) break;
    }
    RegCloseKey(key);
}

std::string Json(const ListEntry &e) {
    return "{\"list\":" + JsonString(e.list) + ",\"name\":" + JsonString(e.name) + ",\"entry\":" +
           JsonString(e.text) + ",\"valid\":" + (e.valid ? "true" : "false") + "}";
}

}  // namespace

bool IsRevocableIdm(const std::string &text) {
    std::uint64_t idm = 0;
    return ParseRevokedIdm(text.c_str(), text.size(), &idm) && text.size() == 16;
}

bool RunRevoke(const std::string &idmText, bool revoke, Report *report) {
    Entry e;
    e.command = revoke ? "revoke" : "unrevoke";
    const std::string idm = Upper(idmText);
    e.AddText("IDm", idm);
    bool ok = true;
    for (REGSAM view : kViews) {
        HKEY key = nullptr;
        LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, 0, nullptr, 0,
                                     KEY_SET_VALUE | KEY_QUERY_VALUE | view, nullptr, &key, nullptr);
        if (error == ERROR_SUCCESS) {
            if (revoke) {
                error = RegSetValueExA(key, idm.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(idm.c_str()),
                                       static_cast<DWORD>(idm.size() + 1));
            } else {
                // Any entry of this IDm goes, whatever its name or case.
                std::vector<ListEntry> entries;
                RegCloseKey(key);
                key = nullptr;
                ReadEntries(ZUK_REVOKED_MACHINE_KEY, view, "machine", &entries);
                error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, 0, KEY_SET_VALUE | view, &key);
                for (const ListEntry &entry : entries) {
                    if (error == ERROR_SUCCESS && entry.valid && entry.idm == idm) {
                        error = RegDeleteValueA(key, entry.name.c_str());
                    }
                }
            }
            if (key != nullptr) RegCloseKey(key);
        }
        if (error != ERROR_SUCCESS) {
            ok = false;
            e.lines.push_back(std::string("error: the machine's list in the ") +
                              (view == KEY_WOW64_64KEY ? "64" : "32") + "-bit view cannot be written (" +
                              std::to_string(error) + (error == ERROR_ACCESS_DENIED ? ", run as an administrator" : "") + ")");
        }
    }
    if (!revoke) {
        std::vector<ListEntry> policy;
        ReadEntries(ZUK_REVOKED_POLICY_KEY, KEY_WOW64_64KEY, "policy", &policy);
        for (const ListEntry &entry : policy) {
            if (entry.valid && entry.idm == idm) {
                e.lines.push_back("note: Group Policy still revokes this card (its list is the domain's)");
            }
        }
    }
    if (ok) {
        e.lines.push_back(revoke ? "revoked: this card identifies nobody on this machine from the next card operation"
                                 : "taken off the machine's list");
    }
    e.failed = !ok;
    report->Add(e);
    return ok;
}

bool RunRevoked(Report *report) {
    std::vector<ListEntry> entries;
    ReadEntries(ZUK_REVOKED_POLICY_KEY, KEY_WOW64_64KEY, "policy", &entries);
    ReadEntries(ZUK_REVOKED_MACHINE_KEY, 0, "machine", &entries);
    Entry e;
    e.command = "revoked";
    std::string json = "[";
    int valid = 0, malformed = 0;
    for (const ListEntry &entry : entries) {
        json += std::string(json.size() > 1 ? "," : "") + Json(entry);
        if (entry.valid) {
            ++valid;
            e.lines.push_back(entry.idm + "  (" + entry.list + ")");
        } else {
            ++malformed;
            e.lines.push_back("malformed " + entry.list + " entry '" + entry.name + "': " + entry.text +
                              " (ignored: an entry is 16 hexadecimal digits)");
        }
    }
    e.AddNumber("revoked", valid);
    e.AddNumber("malformed", malformed);
    e.AddJson("entries", json + "]");
    report->Add(e);
    return true;
}
