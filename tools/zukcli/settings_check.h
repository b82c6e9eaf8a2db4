// The checks behind `status`, one function per source of settings.  Each adds what the library
// will use (settings) and what is wrong or worth knowing (findings).
#ifndef ZUKCLI_SETTINGS_CHECK_H
#define ZUKCLI_SETTINGS_CHECK_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Finding {
    enum Level { Info, Warning, Error };
    Level level;
    std::string item;     // "InstallPath", "[Log] FileName", "ZukLang.csv", ...
    std::string message;
};

struct StatusCheck {
    std::vector<std::pair<std::string, std::string>> settings;  // name, value as the library uses it
    std::vector<Finding> findings;
    // From the registry, for the later checks.
    bool registryLoads = false;   // the library's registry step would succeed
    bool haveInstallPath = false;
    std::string installPath;
    std::uint32_t device = 0;
    std::int32_t logMode = 0;

    void Set(const std::string &name, const std::string &value) { settings.emplace_back(name, value); }
    void Add(Finding::Level level, const std::string &item, const std::string &message) {
        findings.push_back({level, item, message});
    }
};

// HKLM\SOFTWARE\KORVA\ZUKLib in the 32-bit view.
void CheckRegistry(StatusCheck *check);
// ZUKcntrl.ini in the installation folder, and the trace log file it names.
void CheckIniFile(StatusCheck *check);
// ZukLang.csv and the language file it selects for this system's locale.
void CheckCatalogue(StatusCheck *check);

// Text helpers shared by the checks (the library's own rules).
std::string StripQuotesText(const std::string &text);  // drops a leading quote, stops at the next
bool IsHexDigits(const std::string &text);
std::string Quoted(const std::string &text);            // for messages: 'text'

#endif
