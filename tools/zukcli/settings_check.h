// The checks behind `status`, one function per source of settings.  Each adds what the library
// will use (settings) and what is wrong or worth knowing (findings).
#ifndef ZUKCLI_SETTINGS_CHECK_H
#define ZUKCLI_SETTINGS_CHECK_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/hex.h"

// A registry value type as regedit names it ("REG_SZ", ...; "another type" for the rest).
const char *RegistryTypeName(std::uint32_t type);

struct Finding {
    enum Level { Info, Warning, Error };
    Level level;
    std::string item;  // "InstallPath", "[Log] FileName", "ZukLang.csv", ...
    std::string message;
};

struct StatusCheck {
    // What the library will use: the value (a number where the setting is one) and, apart, what it
    // means.
    struct Setting {
        std::string name;
        std::string text;  // the value as text
        bool isNumber = false;
        long long number = 0;
        std::string meaning;  // empty when the value speaks for itself
    };
    std::vector<Setting> settings;
    std::vector<Finding> findings;
    // From the registry, for the later checks.
    bool registryLoads = false;  // the library's registry step would succeed
    bool haveInstallPath = false;
    std::string installPath;
    std::uint32_t device = 0;
    std::int32_t logMode = 0;
    bool unattended = false;  // [Prompt] Unattended=1
    std::string portName;     // [Device] PortName as the library uses it (empty: look it up)
    std::string deviceName;
    std::string logFile;  // [Log] FileName, or the default in the installation folder

    void Set(const std::string &name, const std::string &value,
             const std::string &meaning = std::string()) {
        settings.push_back({name, value, false, 0, meaning});
    }
    void SetNumber(const std::string &name, long long value,
                   const std::string &meaning = std::string(),
                   const std::string &text = std::string()) {
        settings.push_back(
            {name, text.empty() ? std::to_string(value) : text, true, value, meaning});
    }
    void Add(Finding::Level level, const std::string &item, const std::string &message) {
        findings.push_back({level, item, message});
    }
    std::size_t CountErrors() const {
        std::size_t n = 0;
        for (const Finding &f : findings) n += f.level == Finding::Error ? 1 : 0;
        return n;
    }
};

// HKLM\SOFTWARE\KORVA\ZUKLib in the registry view of the library zukcli loads (its own bitness),
// through the library's own registry step (which leaves the library's settings record filled).
void CheckRegistry(StatusCheck *check);
// ZUKcntrl.ini in the installation folder, and the trace log file it names, through the library's
// own INI step.
void CheckIniFile(StatusCheck *check);
// ZukLang.csv and the language file it selects for this system's locale.
void CheckCatalogue(StatusCheck *check);

// The reader's port as ZUKOpen would reach it: the reader's mutex (not waited for), then the port
// opened, its settings read, and closed, and the reader's keys tried (CheckReaderKeys).
void CheckPort(StatusCheck *check);
// On a reader whose mutex zukcli holds: the link opened as ZUKOpen opens it, and which key set the
// reader accepts (reader_keys_check.cpp).
void CheckReaderKeys(const std::string &port, StatusCheck *check);

// Text helpers shared by the checks.
inline std::string Quoted(const std::string &text) { return "'" + text + "'"; }  // for messages

// True when text is exactly `bytes` bytes written in hexadecimal, as the library reads codes.
inline bool IsHexOf(const std::string &text, std::size_t bytes) {
    std::uint8_t value[8];
    return bytes <= sizeof value && text.size() == 2 * bytes &&
           HexToBytes(text.c_str(), text.size(), value, bytes) == bytes;
}

inline bool FolderExists(const std::string &folder) {
    const DWORD a = GetFileAttributesA(folder.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

#endif
