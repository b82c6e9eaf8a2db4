// `status`: runs the checks, tries to load the library, and reports the settings in use and the
// findings.  Healthy means no error and no warning; notes (Info) do not count.
#include "tools/zukcli/status.h"

#include <windows.h>

#include "tools/zukcli/library.h"
#include "tools/zukcli/settings_check.h"

std::string StripQuotesText(const std::string &text) {
    std::size_t start = !text.empty() && text[0] == '"' ? 1 : 0;
    const std::size_t end = text.find('"', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool IsHexDigits(const std::string &text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

std::string Quoted(const std::string &text) { return "'" + text + "'"; }

namespace {

const char *LevelName(Finding::Level level) {
    switch (level) {
    case Finding::Info: return "note";
    case Finding::Warning: return "warning";
    case Finding::Error: return "error";
    }
    return "note";
}

}  // namespace

bool InstallationIsUnattended() {
    StatusCheck check;
    CheckRegistry(&check);
    if (!check.haveInstallPath) return false;
    CheckIniFile(&check);
    return check.unattended;
}

std::string InstallationTraceFile() {
    StatusCheck check;
    CheckRegistry(&check);
    if (!check.haveInstallPath) return std::string();
    CheckIniFile(&check);
    return check.logFile;
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
