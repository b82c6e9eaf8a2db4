// `status`: runs the checks, tries to load the library, and reports the settings in use and the
// findings.  Healthy means no error and no warning; notes (Info) do not count.
#include "tools/zukcli/status.h"

#include <windows.h>

#include "settings/config.h"
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

}  // namespace

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
        findings += std::string(findings.size() > 1 ? "," : "") + "{\"level\":" + JsonString(LevelName(f.level)) +
                    ",\"item\":" + JsonString(f.item) + ",\"message\":" + JsonString(f.message) + "}";
    }
    findings += "]";
    e.AddText("DLL", dll + (loads ? " (loads)" : " (does not load)"));
    e.Only(Field::TextOnly);
    for (const auto &s : check.settings) {
        e.AddText(s.name, s.meaning.empty() ? s.text : s.text.empty() ? "(" + s.meaning + ")"
                                                                       : s.text + " (" + s.meaning + ")");
        e.Only(Field::TextOnly);
        settings += std::string(settings.size() > 1 ? "," : "") + JsonString(s.name) + ":{\"value\":" +
                    (s.isNumber ? std::to_string(s.number) : JsonString(s.text)) +
                    (s.meaning.empty() ? "" : ",\"meaning\":" + JsonString(s.meaning)) + "}";
    }
    settings += "}";
    // The text output shows the settings as lines; JSON gets them as an object.
    e.AddFlag("healthy", healthy);
    e.Only(Field::JsonOnly);
    e.AddFlag("libraryLoads", loads);
    e.Only(Field::JsonOnly);
    e.AddJson("settings", settings);
    e.AddJson("findings", findings);
    e.lines.push_back(healthy ? "healthy: the library loads and its settings are complete"
                              : "NOT healthy: see the errors and warnings above");
    e.failed = !healthy;
    report->Add(e);
    return healthy;
}
