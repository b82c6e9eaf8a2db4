// The revocation lists.  The machine's list is written in both registry views (the 32-bit and the
// 64-bit library each read their own view); the policy list, one for both views, belongs to Group
// Policy and is only read here.  A value's IDms are read by the library's own rule
// (ParseRevocationValue), so what zukcli shows is what the library revokes.
#include "tools/zukcli/revocation.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "settings/revocation.h"
#include "tools/zukcli/settings_check.h"

namespace {

const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

struct ListEntry {
    std::string list;  // "policy" or "machine"
    std::string name;  // the value's name
    DWORD type = 0;
    std::string text;    // its data as text ("(not text)" for another type, strings split by "; ")
    bool valid = false;  // every text of it is an IDm
    bool tooLong = false;              // a REG_MULTI_SZ value longer than the library reads
    std::vector<std::string> idms;     // upper case, as the library reads them
    std::vector<std::string> strings;  // a REG_MULTI_SZ value's strings as they stand
};

std::string IdmText(std::uint64_t idm) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(idm));
    return text;
}

void TakeIdm(std::uint64_t idm, void *context) {
    static_cast<ListEntry *>(context)->idms.push_back(IdmText(idm));
}

// The entries of one list key in one view (none when the key is not there).
void ReadEntries(const char *path, REGSAM view, const char *list, std::vector<ListEntry> *out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return;
    std::vector<BYTE> data(kMaxRevocationValue + 2);
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        DWORD size = kMaxRevocationValue;
        std::fill(data.begin(), data.end(), 0);
        const LONG error =
            RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        if (error == ERROR_NO_MORE_ITEMS) break;
        ListEntry e;
        e.list = list;
        e.type = type;
        e.name = error == ERROR_SUCCESS || error == ERROR_MORE_DATA ? std::string(name, nameLength)
                                                                    : "?";
        if (error == ERROR_SUCCESS) {
            e.valid = ParseRevocationValue(type, data.data(), size, TakeIdm, &e) == 0;
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                e.text = reinterpret_cast<const char *>(data.data());
            } else if (type == REG_MULTI_SZ) {
                for (DWORD start = 0; start < size;) {
                    const std::string piece(reinterpret_cast<const char *>(data.data()) + start);
                    if (!piece.empty()) {
                        e.text += (e.text.empty() ? "" : "; ") + piece;
                        e.strings.push_back(piece);
                    }
                    start += static_cast<DWORD>(piece.size()) + 1;
                }
                if (e.text.empty()) e.text = "(no strings)";
            } else {
                e.text = "(not text)";
            }
        } else if (error == ERROR_MORE_DATA && type != REG_SZ && type != REG_EXPAND_SZ) {
            e.tooLong = true;
            e.text =
                "(a value over 64 KB: the library cannot hold the list and refuses every card)";
        } else {
            e.text = error == ERROR_MORE_DATA ? "(too long)" : "(not text)";
        }
        out->push_back(e);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) break;
    }
    RegCloseKey(key);
}

bool Holds(const ListEntry &e, const std::string &idm) {
    for (const std::string &id : e.idms) {
        if (id == idm) return true;
    }
    return false;
}

std::string Json(const ListEntry &e) {
    std::string idms = "[";
    for (const std::string &id : e.idms) idms += (idms.size() > 1 ? "," : "") + JsonString(id);
    return "{\"list\":" + JsonString(e.list) + ",\"name\":" + JsonString(e.name) +
           ",\"type\":" + JsonString(RegistryTypeName(e.type)) +
           ",\"entry\":" + JsonString(e.text) + ",\"valid\":" + (e.valid ? "true" : "false") +
           ",\"idms\":" + idms + "]}";
}

// Takes one IDm out of a REG_MULTI_SZ value of the machine's list: the other strings stay as they
// were, and a value left without strings goes.
LONG RemoveFromMulti(HKEY key, const ListEntry &entry, const std::string &idm) {
    std::string data;
    for (const std::string &piece : entry.strings) {
        std::uint64_t n = 0;
        if (ParseRevokedIdm(piece.c_str(), piece.size(), &n) && IdmText(n) == idm) continue;
        data += piece;
        data.push_back('\0');
    }
    if (data.empty()) return RegDeleteValueA(key, entry.name.c_str());
    data.push_back('\0');
    return RegSetValueExA(key, entry.name.c_str(), 0, REG_MULTI_SZ,
                          reinterpret_cast<const BYTE *>(data.data()),
                          static_cast<DWORD>(data.size()));
}

}  // namespace

std::string IdmRefusal(const std::string &text) {
    std::uint64_t idm = 0;
    const IdmTextFault fault = ParseIdmText(text.c_str(), text.size(), &idm);
    return fault == kIdmTextOk ? std::string() : IdmTextFaultText(fault);
}

std::vector<std::string> RevocationValueFaults() {
    std::vector<ListEntry> entries;
    ReadEntries(ZUK_REVOKED_POLICY_KEY, KEY_WOW64_64KEY, "policy", &entries);
    ReadEntries(ZUK_REVOKED_MACHINE_KEY, 0, "machine", &entries);
    std::vector<std::string> faults;
    for (const ListEntry &e : entries) {
        if (e.valid) continue;
        faults.push_back(e.list + " list value '" + e.name + "' (" + RegistryTypeName(e.type) +
                         "): " + e.text +
                         (e.tooLong        ? ""
                          : e.idms.empty() ? " revokes nothing"
                                           : " is partly not an IDm"));
    }
    return faults;
}

bool RunRevoke(const std::string &idmText, bool revoke, Report *report) {
    Entry e;
    e.command = revoke ? "revoke" : "unrevoke";
    std::uint64_t number = 0;
    ParseRevokedIdm(idmText.c_str(), idmText.size(), &number);  // checked by the command line
    const std::string idm = IdmText(number);
    e.AddText("IDm", idm);
    bool ok = true;
    for (REGSAM view : kViews) {
        HKEY key = nullptr;
        LONG error =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_QUERY_VALUE | view, nullptr, &key, nullptr);
        if (error == ERROR_SUCCESS) {
            if (revoke) {
                error = RegSetValueExA(key, idm.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE *>(idm.c_str()),
                                       static_cast<DWORD>(idm.size() + 1));
            } else {
                // Any entry of this IDm goes, whatever its name, case, form or value type.
                std::vector<ListEntry> entries;
                RegCloseKey(key);
                key = nullptr;
                ReadEntries(ZUK_REVOKED_MACHINE_KEY, view, "machine", &entries);
                error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, 0,
                                      KEY_SET_VALUE | view, &key);
                for (const ListEntry &entry : entries) {
                    if (error != ERROR_SUCCESS || !Holds(entry, idm)) continue;
                    error = entry.type == REG_MULTI_SZ ? RemoveFromMulti(key, entry, idm)
                                                       : RegDeleteValueA(key, entry.name.c_str());
                }
            }
            if (key != nullptr) RegCloseKey(key);
        }
        if (error != ERROR_SUCCESS) {
            ok = false;
            e.lines.push_back(std::string("error: the machine's list in the ") +
                              (view == KEY_WOW64_64KEY ? "64" : "32") +
                              "-bit view cannot be written (" + std::to_string(error) +
                              (error == ERROR_ACCESS_DENIED ? ", run as an administrator" : "") +
                              ")");
        }
    }
    if (!revoke) {
        std::vector<ListEntry> policy;
        ReadEntries(ZUK_REVOKED_POLICY_KEY, KEY_WOW64_64KEY, "policy", &policy);
        for (const ListEntry &entry : policy) {
            if (Holds(entry, idm)) {
                e.lines.push_back(
                    "note: Group Policy still revokes this card (its list is the domain's)");
            }
        }
    }
    if (ok) {
        e.lines.push_back(revoke ? "revoked: this card identifies nobody on this machine from the "
                                   "next card operation; "
                                   "the pairs remembered from it are no longer handed out"
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
        for (const std::string &idm : entry.idms) {
            ++valid;
            e.lines.push_back(idm + "  (" + entry.list + ")");
        }
        if (!entry.valid) {
            ++malformed;
            e.lines.push_back("malformed " + entry.list + " value '" + entry.name + "' (" +
                              RegistryTypeName(entry.type) + "): " + entry.text +
                              " (an entry is an IDm: 16 hexadecimal digits)");
        }
    }
    e.AddNumber("revoked", valid);
    e.AddNumber("malformed", malformed);
    e.AddJson("entries", json + "]");
    report->Add(e);
    return true;
}
