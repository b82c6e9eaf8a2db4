// `status`: runs the checks, tries to load the library, and reports the settings in use and the
// findings.  Healthy means no error and no warning; notes (Info) do not count.
#include "tools/zukcli/status.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "settings/config.h"
#include "settings/policy.h"
#include "settings/revocation.h"
#include "tools/zukcli/revocation.h"
#include "settings/site_key_store.h"
#include "tools/zukcli/fleet_status.h"
#include "tools/zukcli/key_store.h"
#include "tools/zukcli/library.h"
#include "tools/zukcli/settings_check.h"

namespace {

const char *LevelName(Finding::Level level) {
    switch (level) {
    case Finding::Info: return "note";
    case Finding::Warning: return "warning";
    case Finding::Error: return "error";
    }
    return "note";
}

// The library's own registry and INI steps (the INI file only where an installation folder is
// known); false without one.
bool LoadInstallationSettings() {
    LoadRegistryConfig();
    if (GetInstallPath()[0] == '\0') return false;
    LoadIniSettings(GetInstallPath());
    return true;
}

// The label a setting has among status's settings: its machine value's name, or "[Section] Key"
// (a Config group: its policy value's name).
std::string SettingLabel(const SettingRow &row) {
    if (row.machine[0] || !row.key[0]) return row.machine[0] ? row.machine : row.name;
    return std::string("[") + row.section + "] " + row.key;
}

// The table's row a check's setting shows, by its label or, for a row with a machine value, by
// its INI key too; null for the checks' other lines (the DLL, the port, the revoked cards...).
const SettingRow *RowOfLabel(const std::string &label, Setting *setting) {
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (label == SettingLabel(row) ||
            (row.key[0] && label == std::string("[") + row.section + "] " + row.key)) {
            *setting = static_cast<Setting>(i);
            return &row;
        }
    }
    return nullptr;
}

std::string ValueText(Setting s) {
    char text[1024];
    SettingValueText(s, text, sizeof text);
    return text;
}

// The value in force of every setting of the table, with where it came from.
void AddEffectiveSettings(Entry *e) {
    std::string json = "{";
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting s = static_cast<Setting>(i);
        const char *source = SettingSourceName(GetSettingSource(s));
        json += std::string(json.size() > 1 ? "," : "") + JsonString(SettingRowOf(s).name) +
                ":{\"value\":" + JsonString(ValueText(s)) + ",\"source\":" + JsonString(source) +
                "}";
    }
    e->AddJson("effective", json + "}");
}

// The Config line's source: the machine value, and the groups a policy sets.
std::string ConfigSource() {
    std::string source = "machine";
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting s = static_cast<Setting>(i);
        if (SettingRowOf(s).kind == kKindGroup && GetSettingSource(s) == kSourcePolicy) {
            source += std::string(", policy ") + SettingRowOf(s).name;
        }
    }
    return source;
}

// The revocation lists as the library reads them: how many cards they revoke, the values it
// counts as malformed (each one fails the status), and whether it can hold them at all.
void CheckRevocation(StatusCheck *check) {
    LoadRevocationLists();
    const CardStanding held = RevocationListState();
    const int count = RevokedCardCount();
    if (held == kRevocationTooLong) {
        check->SetNumber("Revoked cards", count,
                         "more than the library holds: it refuses every card",
                         "more than " + std::to_string(kMaxRevokedCards));
        check->Add(
            Finding::Error, "RevokedCards",
            "the lists name more than " + std::to_string(kMaxRevokedCards) + " distinct cards (" +
                std::to_string(RevocationEntriesRead()) +
                " entries read), or a REG_MULTI_SZ value over 64 KB: the library holds no list "
                "and refuses every card (raw status 0x10000020) until they are shortened");
    } else if (held == kRevocationUnreadable) {
        check->Set("Revoked cards", "unreadable", "the library refuses every card");
        check->Add(Finding::Error, "RevokedCards",
                   "the lists cannot be read whole: the library refuses every card (raw status "
                   "0x10000021) "
                   "until they can");
    } else {
        check->SetNumber("Revoked cards", count, "zukcli revoked lists them");
    }
    for (const std::string &fault : RevocationValueFaults()) {
        check->Add(Finding::Error, "RevokedCards",
                   "malformed revocation entry: " + fault +
                       " (an entry is an IDm, 16 hexadecimal digits, in a REG_SZ, REG_EXPAND_SZ or "
                       "REG_MULTI_SZ value)");
    }
}

// The keys the library of zukcli's own bitness uses: the built-in ones, the site's, or none (a
// stored value it cannot use, named here; `keys status` shows both views).
void CheckSiteKeys(StatusCheck *check) {
    SiteKeys keys;
    const StoredKeysSource stored = ReadStoredKeysSource(0, &keys);
    const SiteKeyStoreResult result = stored.result;
    SiteKeysWipe(&keys);
    const std::string difference = SiteKeyViewsDifference();
    check->Set("Site keys",
               stored.source + (stored.check.empty() ? "" : " (keys check " + stored.check + ")") +
                   (difference.empty() ? "" : "; the registry views differ: " + difference));
    if (!difference.empty()) {
        check->Add(
            Finding::Error, "SiteKeys",
            "the libraries of the two bitnesses use different keys (" + difference +
                "): install the site's key file again (zukcli keys install) or remove the keys "
                "(zukcli keys remove)");
    }
    if (result != kKeyStoreNone && result != kKeyStoreOk) {
        check->Add(
            Finding::Error, "SiteKeys",
            std::string(SiteKeyStoreResultText(result)) +
                ": every call that needs the reader fails (0x40000) until the site's key file is "
                "installed again (zukcli keys install) or the keys are removed (zukcli keys "
                "remove)");
    }
}

int g_complianceCode = 0;

}  // namespace

int StatusComplianceCode() { return g_complianceCode; }

std::string InstallationTraceFile() {
    return LoadInstallationSettings() ? GetLogFileName() : std::string();
}

bool RunStatus(Report *report) {
    StatusCheck check;
    CheckRegistry(&check);
    if (check.haveInstallPath) {
        CheckIniFile(&check);
        CheckCatalogue(&check);
        CheckPort(&check);
    }
    CheckRevocation(&check);
    CheckSiteKeys(&check);

    // Whether the library itself agrees: loading it runs the same registry step.
    const std::string dll = DllPath();
    std::string why;
    const bool loads = LoadZukLibrary(&why);
    if (!loads) {
        // The loader's advice to run status is no news here.
        why = why.substr(0, why.find("; the library refused"));
        check.Add(Finding::Error, "ZUKcntrl.dll", why);
    } else if (!check.registryLoads) {
        check.Add(Finding::Warning, "ZUKcntrl.dll",
                  "the library loaded although these settings should keep it from loading: it read "
                  "other values (another registry view?)");
    }

    Entry e;
    e.command = "status";
    bool healthy = true;
    std::string findings = "[", settings = "{";
    for (const Finding &f : check.findings) {
        if (f.level != Finding::Info) healthy = false;
        e.lines.push_back(std::string(LevelName(f.level)) + ": " + f.message);
        findings += std::string(findings.size() > 1 ? "," : "") +
                    "{\"level\":" + JsonString(LevelName(f.level)) +
                    ",\"item\":" + JsonString(f.item) + ",\"message\":" + JsonString(f.message) +
                    "}";
    }
    findings += "]";
    e.AddText("DLL", dll + (loads ? " (loads)" : " (does not load)"));
    e.Only(Field::TextOnly);
    // The settings of the table are shown once each, with the value in force and its source, when
    // the library's own load gets that far; otherwise as the checks read them.
    const bool effective = check.registryLoads && LoadInstallationSettings();
    bool shown[kSettingCount] = {};
    for (const auto &s : check.settings) {
        std::string text = s.text, meaning = s.meaning, source;
        std::string number = s.isNumber ? std::to_string(s.number) : std::string();
        Setting setting = kSettingCount;
        const SettingRow *row = RowOfLabel(s.name, &setting);
        if (row && effective) {
            if (shown[setting]) continue;
            shown[setting] = true;
            text = ValueText(setting);
            source = setting == kSettingConfig ? ConfigSource()
                                               : SettingSourceName(GetSettingSource(setting));
            // The check's explanation is of the value it read: a policy or the environment that put
            // another value in force gets the row's.
            const SettingSource from = GetSettingSource(setting);
            if ((from == kSourcePolicy || from == kSourceEnvironment) && text != s.text)
                meaning = row->meaning;
            if (s.isNumber) number = std::to_string(std::strtoll(text.c_str(), nullptr, 0));
        }
        const std::string label = row && effective ? SettingLabel(*row) : s.name;
        const std::string note = source.empty()    ? meaning
                                 : meaning.empty() ? source
                                                   : source + "; " + meaning;
        e.AddText(label, note.empty()   ? text
                         : text.empty() ? "(" + note + ")"
                                        : text + " (" + note + ")");
        e.Only(Field::TextOnly);
        settings += std::string(settings.size() > 1 ? "," : "") + JsonString(label) +
                    ":{\"value\":" + (s.isNumber ? number : JsonString(text)) +
                    (meaning.empty() ? "" : ",\"meaning\":" + JsonString(meaning)) +
                    (source.empty() ? "" : ",\"source\":" + JsonString(source)) + "}";
    }
    settings += "}";
    // The text output shows the settings as lines; JSON gets them as an object.
    e.AddFlag("healthy", healthy);
    e.Only(Field::JsonOnly);
    e.AddFlag("libraryLoads", loads);
    e.Only(Field::JsonOnly);
    e.AddJson("settings", settings);
    if (effective) AddEffectiveSettings(&e);
    e.AddJson("findings", findings);
    const FleetInput fleet{&check, loads, healthy, effective};
    e.AddJson("fleet", FleetJson(fleet));
    g_complianceCode = FleetExitCode(fleet);
    e.lines.push_back(healthy ? "healthy: the library loads and its settings are complete"
                              : "NOT healthy: see the errors and warnings above");
    e.failed = !healthy;
    report->Add(e);
    return healthy;
}
