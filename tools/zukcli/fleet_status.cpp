// The fleet document of `zukcli status` (see fleet_status.h).
#include "tools/zukcli/fleet_status.h"

#include <windows.h>

#include <cstdio>

#include "platform/eventlog.h"
#include "settings/config.h"
#include "settings/policy.h"
#include "settings/revocation.h"
#include "settings/site_key_store.h"
#include "tools/zukcli/key_store.h"
#include "tools/zukcli/library.h"
#include "tools/zukcli/report.h"
#include "tools/zukcli/revocation.h"

namespace {

const char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZUKcntrl";

const StatusCheck::Setting *Line(const StatusCheck &check, const char *name) {
    for (const auto &s : check.settings) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

bool HasFinding(const StatusCheck &check, const char *item, Finding::Level level) {
    for (const Finding &f : check.findings) {
        if (f.item == item && f.level == level) return true;
    }
    return false;
}

// A file's version from its version resource ("1.2.3.4"), or "" when it has none or is absent.
std::string FileVersion(const std::string &path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0 || size > 65536) return "";
    std::string data(size, '\0');
    if (!GetFileVersionInfoA(path.c_str(), 0, size, &data[0])) return "";
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(&data[0], "\\", reinterpret_cast<void **>(&info), &length) ||
        info == nullptr)
        return "";
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", HIWORD(info->dwFileVersionMS) * 1ul,
                  LOWORD(info->dwFileVersionMS) * 1ul, HIWORD(info->dwFileVersionLS) * 1ul,
                  LOWORD(info->dwFileVersionLS) * 1ul);
    return text;
}

// The library of one bitness as its registry view names it: {"path", "present", "version"}.
std::string LibraryJson(REGSAM view) {
    char folder[1024] = {0};
    DWORD size = sizeof folder - 1;
    HKEY key = nullptr;
    std::string path;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, 0, KEY_QUERY_VALUE | view, &key) ==
        ERROR_SUCCESS) {
        DWORD type = 0;
        if (RegQueryValueExA(key, "InstallPath", nullptr, &type, reinterpret_cast<BYTE *>(folder),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ)
            path = std::string(folder) + "ZUKcntrl.dll";
        RegCloseKey(key);
    }
    if (path.empty()) return "{\"path\":null,\"present\":false,\"version\":null}";
    const bool present = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::string version = present ? FileVersion(path) : "";
    return "{\"path\":" + JsonString(path) + ",\"present\":" + (present ? "true" : "false") +
           ",\"version\":" + (version.empty() ? "null" : JsonString(version)) + "}";
}

bool EventSourceRegistered() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS)
        return false;
    char file[1024] = {0};
    DWORD size = sizeof file - 1, type = 0;
    const bool found = RegQueryValueExA(key, "EventMessageFile", nullptr, &type,
                                        reinterpret_cast<BYTE *>(file), &size) == ERROR_SUCCESS &&
                       file[0] != '\0';
    RegCloseKey(key);
    return found;
}

const char *RevocationStateName(CardStanding state) {
    if (state == kRevocationTooLong) return "too-long";
    if (state == kRevocationUnreadable) return "unreadable";
    return "held";
}

// "unusable", "site", "built-in", or "none" (no stored value: the built-in keys).
std::string SiteKeyState(SiteKeyStoreResult result) {
    if (result == kKeyStoreOk) return "site";
    if (result == kKeyStoreNone) return "built-in";
    return "unusable";
}

}  // namespace

int FleetExitCode(const FleetInput &in) {
    const StatusCheck &check = *in.check;
    if (in.healthy) return kFleetCompliant;
    if (!in.libraryLoads) return kFleetNoLoad;
    if (HasFinding(check, "SiteKeys", Finding::Error) || RevocationListState() != kCardAccepted ||
        HasFinding(check, "port", Finding::Error) || HasFinding(check, "reader", Finding::Error) ||
        HasFinding(check, "reader keys", Finding::Error))
        return kFleetNoIdentify;
    for (const Finding &f : check.findings) {
        if (f.level == Finding::Error) return kFleetOtherErrors;
    }
    return kFleetWarnings;
}

std::string FleetJson(const FleetInput &in) {
    const StatusCheck &check = *in.check;
    std::string j =
        "{\"schema\":\"zukcli-status\",\"schemaVersion\":" + std::to_string(kFleetSchemaVersion);
    j += ",\"compliance\":" + std::to_string(FleetExitCode(in));
    j += ",\"healthy\":" + std::string(in.healthy ? "true" : "false");
    j += ",\"libraryLoads\":" + std::string(in.libraryLoads ? "true" : "false");
    j += ",\"zukcliLibrary\":" + JsonString(DllPath());
    j += ",\"libraries\":{\"32\":" + LibraryJson(KEY_WOW64_32KEY) +
         ",\"64\":" + LibraryJson(KEY_WOW64_64KEY) + "}";

    // Every setting of the table with the value in force and its source (null without a load).
    j += ",\"settings\":";
    if (in.effective) {
        std::string s = "{";
        for (int i = 0; i < kSettingCount; ++i) {
            const Setting setting = static_cast<Setting>(i);
            char value[1024];
            SettingValueText(setting, value, sizeof value);
            s += std::string(s.size() > 1 ? "," : "") + JsonString(SettingRowOf(setting).name) +
                 ":{\"value\":" + JsonString(value) +
                 ",\"source\":" + JsonString(SettingSourceName(GetSettingSource(setting))) + "}";
        }
        j += s + "}";
    } else {
        j += "null";
    }

    SiteKeys keys;
    const StoredKeysSource stored = ReadStoredKeysSource(0, &keys);
    SiteKeysWipe(&keys);
    const std::string difference = SiteKeyViewsDifference();
    j += ",\"siteKeys\":{\"state\":" + JsonString(SiteKeyState(stored.result)) + ",\"fault\":" +
         (stored.result == kKeyStoreOk || stored.result == kKeyStoreNone
              ? std::string("null")
              : JsonString(SiteKeyStoreResultName(stored.result))) +
         ",\"check\":" + (stored.check.empty() ? std::string("null") : JsonString(stored.check)) +
         ",\"viewsAgree\":" + (difference.empty() ? "true" : "false") + "}";

    const CardStanding held = RevocationListState();
    j += ",\"revocation\":{\"state\":" + JsonString(RevocationStateName(held)) +
         ",\"cards\":" + std::to_string(RevokedCardCount()) +
         ",\"malformed\":" + std::to_string(RevocationValueFaults().size()) + "}";

    const StatusCheck::Setting *port = Line(check, "Port");
    const StatusCheck::Setting *keysLine = Line(check, "Reader keys");
    const bool opens = port != nullptr && port->meaning.rfind("opens", 0) == 0;
    j += ",\"reader\":{\"port\":" + (port ? JsonString(port->text) : std::string("null")) +
         ",\"reachable\":" +
         (port == nullptr || port->meaning.rfind("not tried", 0) == 0 ? std::string("null")
          : opens                                                     ? "true"
                                                                      : "false") +
         ",\"portState\":" + (port ? JsonString(port->meaning) : std::string("null")) +
         ",\"keys\":" + (keysLine ? JsonString(keysLine->text) : std::string("null")) + "}";

    j += ",\"events\":{\"enabled\":" +
         std::string(in.effective && GetEventLog() ? "true" : "false") +
         ",\"sourceRegistered\":" + (EventSourceRegistered() ? "true" : "false") +
         ",\"source\":" + JsonString(kEventSourceName) + "}";
    return j + "}";
}
