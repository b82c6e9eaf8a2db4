// ZUKcntrl.ini: the values are what the library's own INI step (LoadIniSettings, compiled into
// zukcli) makes of the file; what is wrong with each is found by reading the file again through
// the private-profile calls: numbers that are not whole numbers, texts too long for their field,
// system codes that are not four hexadecimal digits, sections and keys the library never reads.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "settings/config.h"
#include "tools/zukcli/settings_check.h"

namespace {

const char kAbsent[] = "\x7f(absent)";
const std::size_t kTextField = sizeof LibrarySettings::PortName;  // terminator included

std::string Trim(const std::string &s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Entries of a zero-separated, double-zero-terminated list.
std::vector<std::string> List(const std::vector<char> &buffer, DWORD length) {
    std::vector<std::string> out;
    const char *p = buffer.data();
    const char *end = p + length;
    while (p < end && *p) {
        out.emplace_back(p);
        p += std::strlen(p) + 1;
    }
    return out;
}

// The sections and keys the library reads: the settings table's INI rows.
bool KnownSection(const std::string &name) {
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (row.section[0] && lstrcmpiA(row.section, name.c_str()) == 0) return true;
    }
    return false;
}

bool KnownKey(const std::string &section, const std::string &key) {
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (row.key[0] && lstrcmpiA(row.section, section.c_str()) == 0 &&
            lstrcmpiA(row.key, key.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

// The names of the table's sections, or of one section's keys, separated by ", ".
std::string Names(const std::string &section) {
    std::vector<std::string> names;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (!row.key[0] || (!section.empty() && lstrcmpiA(row.section, section.c_str()) != 0))
            continue;
        const std::string name = section.empty() ? row.section : row.key;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    std::string out;
    for (const std::string &name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

class Ini {
public:
    explicit Ini(const std::string &path) : path_(path) {}
    bool Present(const char *section, const char *key) const {
        return Raw(section, key, kAbsent) != kAbsent;
    }
    std::string Raw(const char *section, const char *key, const char *def) const {
        std::vector<char> buffer(1024, '\0');
        if (path_.empty()) return def;
        GetPrivateProfileStringA(section, key, def, buffer.data(), 1024, path_.c_str());
        return buffer.data();
    }
    std::int32_t Number(const char *section, const char *key, std::int32_t def) const {
        if (path_.empty()) return def;
        return static_cast<std::int32_t>(GetPrivateProfileIntA(section, key, def, path_.c_str()));
    }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

std::string Item(const char *section, const char *key) {
    return std::string("[") + section + "] " + key;
}

// A number key: a value that is not a whole number is read only up to its first non-digit.
std::int32_t NumberKey(const Ini &ini, const char *section, const char *key, std::int32_t def,
                       StatusCheck *check) {
    const std::int32_t value = ini.Number(section, key, def);
    if (ini.Present(section, key)) {
        const std::string raw = Trim(ini.Raw(section, key, ""));
        char *end = nullptr;
        std::strtol(raw.c_str(), &end, 10);
        if (raw.empty() || *end != '\0') {
            check->Add(Finding::Warning, Item(section, key),
                       Item(section, key) + " = " + Quoted(raw) +
                           " is not a whole number: the library reads " + std::to_string(value));
        }
    }
    return value;
}

// A text key through the library's quote stripping.
std::string StrippedText(const Ini &ini, const char *section, const char *key,
                         const std::string &def) {
    char stripped[1024];
    StripQuotes(ini.Raw(section, key, def.c_str()).c_str(), stripped, sizeof stripped);
    return stripped;
}

// True when the key's text is too long for its field, which the library then leaves empty.
bool TextRefused(const Ini &ini, const char *section, const char *key, const std::string &def) {
    return StrippedText(ini, section, key, def).size() >= kTextField;
}

std::string Folder(const std::string &path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void CheckUnknownEntries(const Ini &ini, StatusCheck *check) {
    std::vector<char> buffer(32768, '\0');
    DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()),
                                             ini.Path().c_str());
    for (const std::string &section : List(buffer, n)) {
        if (!KnownSection(section)) {
            check->Add(Finding::Warning, "[" + section + "]",
                       "section [" + section +
                           "] is not read by the library (sections: " + Names("") + ")");
            continue;
        }
        std::vector<char> entries(32768, '\0');
        DWORD m = GetPrivateProfileSectionA(section.c_str(), entries.data(),
                                            static_cast<DWORD>(entries.size()), ini.Path().c_str());
        for (const std::string &entry : List(entries, m)) {
            const std::string line = Trim(entry);
            if (line.empty() || line[0] == ';') continue;
            const std::string key = Trim(line.substr(0, line.find('=')));
            if (!KnownKey(section, key)) {
                check->Add(Finding::Warning, Item(section.c_str(), key.c_str()),
                           Item(section.c_str(), key.c_str()) +
                               " is not read by the library (keys of [" + section +
                               "]: " + Names(section) + ")");
            }
        }
    }
}

// An INI key that is written but not in force: the machine value, the process's environment or a
// policy sets the setting instead (status shows the value in force, with its source).
void CheckOverridden(const Ini &ini, StatusCheck *check) {
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting s = static_cast<Setting>(i);
        const SettingRow &row = SettingRowOf(s);
        const SettingSource source = GetSettingSource(s);
        if (!row.key[0] || source == kSourceIni || source == kSourceDefault ||
            !ini.Present(row.section, row.key)) {
            continue;
        }
        char value[1024];
        SettingValueText(s, value, sizeof value);
        const std::string by = source == kSourcePolicy ? std::string("the policy value ") + row.name
                               : source == kSourceMachine
                                   ? std::string("the machine value ") + row.machine
                                   : std::string("the environment variable ") + row.env;
        check->Add(Finding::Info, Item(row.section, row.key),
                   Item(row.section, row.key) + " = " +
                       Quoted(Trim(ini.Raw(row.section, row.key, ""))) + " is not in force: " + by +
                       " sets " + value);
    }
}

void CheckCard(const Ini &ini, StatusCheck *check) {
    NumberKey(ini, "Card", "PollingInterval", 1000, check);
    const std::int32_t polling = GetPollingInterval();
    check->SetNumber("[Card] PollingInterval", polling, "milliseconds between card polls");
    if (polling <= 0) {
        check->Add(Finding::Warning, "[Card] PollingInterval",
                   "[Card] PollingInterval is " + std::to_string(polling) +
                       ": a polling period must be above 0 ms");
    }
    const std::int32_t written = NumberKey(ini, "Card", "VerifyRetry", 0, check);
    const std::int32_t retry = GetVerifyRetry();
    if (written != retry) {
        check->Add(Finding::Info, "[Card] VerifyRetry",
                   "[Card] VerifyRetry is " + std::to_string(written) + ", read as " +
                       std::to_string(retry) + " (no limit)");
    }
    check->SetNumber("[Card] VerifyRetry", retry,
                     retry == 0 ? "no limit" : "PIN entries per identification");
}

void CheckDevice(const Ini &ini, StatusCheck *check) {
    const std::string port = GetPortName(), device = GetDeviceName();
    if (TextRefused(ini, "Device", "PortName", "")) {
        check->Add(Finding::Error, "[Device] PortName",
                   "[Device] PortName is 512 characters or longer: refused, so the port is looked "
                   "up instead");
    }
    check->Set("[Device] PortName", port,
               port.empty() ? "found through the USB-serial driver's entries" : "");
    // The name is opened as written: COM10 and above exist only as \\.\COMn.
    if (port.size() > 4 && lstrcmpiA(port.substr(0, 3).c_str(), "COM") == 0 &&
        port.find_first_not_of("0123456789", 3) == std::string::npos) {
        check->Add(Finding::Warning, "[Device] PortName",
                   "[Device] PortName " + Quoted(port) +
                       " cannot be opened under that name: write " + Quoted("\\\\.\\" + port) +
                       " for COM10 and above");
    }
    if (TextRefused(ini, "Device", "DeviceName", "PR300")) {
        check->Add(
            Finding::Error, "[Device] DeviceName",
            "[Device] DeviceName is 512 characters or longer: refused, so no reader model matches");
    }
    check->Set("[Device] DeviceName", device);
    check->portName = port;
    check->deviceName = device;
    if (device != "PR300") {
        check->Add(check->device == kDeviceReader ? Finding::Error : Finding::Info,
                   "[Device] DeviceName",
                   "[Device] DeviceName is " + Quoted(device) +
                       ": only PR300 (exactly) is supported; ZUKOpen with a reader answers "
                       "ZUK_ERR_PORT_OPEN (1280)");
    }
}

void CheckLog(const Ini &ini, StatusCheck *check) {
    NumberKey(ini, "Log", "Mode", 0, check);
    const std::int32_t mode = GetLogMode();
    check->logMode = mode;
    const bool on = mode == kLogModeFailures || mode == kLogModeFailuresAndNormalEnds;
    check->SetNumber("[Log] Mode", mode,
                     mode == kLogModeFailures                ? "failures"
                     : mode == kLogModeFailuresAndNormalEnds ? "everything"
                                                             : "off");
    if (!on && mode != kLogModeOff) {
        check->Add(Finding::Warning, "[Log] Mode",
                   "[Log] Mode is " + std::to_string(mode) +
                       ": only 0, 1 and 3 are defined; the trace is off");
    }
    const std::string fallback = check->installPath + "ZUKcntrl.log";
    const std::string def = fallback.size() < kTextField ? fallback : std::string();
    const std::string file = GetLogFileName();
    if (TextRefused(ini, "Log", "FileName", def)) {
        check->Add(on ? Finding::Error : Finding::Info, "[Log] FileName",
                   "[Log] FileName is 512 characters or longer: refused, the trace is not written");
    } else if (file.empty() && on) {
        check->Add(Finding::Warning, "[Log] FileName",
                   "no trace log file name (the default built from InstallPath is too long, or the "
                   "value is "
                   "empty): the trace is not written");
    }
    check->Set("[Log] FileName", file, file.empty() ? "none: no trace" : "");
    check->logFile = file;
    if (!on || file.empty()) return;
    if (file.size() + 4 >= kTextField) {
        check->Add(Finding::Warning, "[Log] FileName",
                   "[Log] FileName is too long for its rotation name (" + Quoted(file + ".old") +
                       " exceeds 511 characters): the trace is not written");
    }
    const std::string folder = Folder(file);
    const bool absolute = (file.size() >= 3 && file[1] == ':') || file.compare(0, 2, "\\\\") == 0;
    if (!absolute) {
        check->Add(Finding::Warning, "[Log] FileName",
                   "[Log] FileName " + Quoted(file) +
                       " is not a full path: it is relative to each host's current folder");
    } else if (!FolderExists(folder)) {
        check->Add(Finding::Warning, "[Log] FileName",
                   "the trace log's folder " + Quoted(folder) +
                       " does not exist: the trace is not written");
    }
}

// The codes as written; the library keeps the first ones (GetSystemCodes), at most five.
void CheckSystemCodes(const Ini &ini, StatusCheck *check) {
    const std::string text = StrippedText(ini, "FeliCa", "SystemCode", "8165");
    std::vector<std::string> accepted, ignored;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string piece = text.substr(start, comma - start);
        if (!piece.empty()) {
            if (IsHexOf(piece, 2)) {
                accepted.push_back(piece);
            } else {
                ignored.push_back(piece);
            }
        }
        start = comma + 1;
    }
    const std::size_t used = static_cast<std::size_t>(GetSystemCodes(nullptr));
    std::string codes;
    for (std::size_t i = 0; i < accepted.size() && i < used; ++i)
        codes += (i ? ", " : "") + accepted[i];
    check->Set("[FeliCa] SystemCode", codes, codes.empty() ? "none: no card can be found" : "");
    for (const std::string &piece : ignored) {
        check->Add(Finding::Warning, "[FeliCa] SystemCode",
                   "[FeliCa] SystemCode piece " + Quoted(piece) +
                       " is not four hexadecimal digits (spaces count): it is ignored");
    }
    if (accepted.size() > used) {
        check->Add(Finding::Warning, "[FeliCa] SystemCode",
                   "[FeliCa] SystemCode lists " + std::to_string(accepted.size()) +
                       " codes: only the first five are polled");
    }
    if (used == 0) {
        check->Add(check->device == kDeviceReader ? Finding::Error : Finding::Warning,
                   "[FeliCa] SystemCode",
                   "[FeliCa] SystemCode holds no valid code: no card can be found");
    }
}

// The INI's switch and what the library makes of it: the machine value and Group Policy win over
// it.
void CheckProtectPasswords(const Ini &ini, StatusCheck *check) {
    const std::int32_t written = NumberKey(ini, "Credentials", "ProtectPasswords", 0, check);
    std::string meaning = GetProtectPasswords()
                              ? "passwords are stored protected for each user (DPAPI)"
                              : "passwords are stored masked";
    const SettingSource source = GetSettingSource(kPolicyProtectPasswords);
    if (source == kSourceMachine) meaning += "; the machine value ProtectPasswords decides";
    if (source == kSourcePolicy) meaning += "; Group Policy decides";
    check->SetNumber("[Credentials] ProtectPasswords", written, meaning);
    if (written != 0 && written != 1) {
        check->Add(Finding::Warning, "[Credentials] ProtectPasswords",
                   "[Credentials] ProtectPasswords is " + std::to_string(written) +
                       ": only 1 protects the passwords");
    }
}

}  // namespace

void CheckIniFile(StatusCheck *check) {
    std::string path = check->installPath + "ZUKcntrl.ini";
    if (path.size() >= 1024) {
        check->Add(
            Finding::Warning, "ZUKcntrl.ini",
            "InstallPath is too long to name ZUKcntrl.ini (1023 characters): the file is not read, "
            "every INI setting takes its default");
        path.clear();
    } else {
        const DWORD a = GetFileAttributesA(path.c_str());
        if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) {
            check->Add(Finding::Info, "ZUKcntrl.ini",
                       Quoted(path) + " does not exist: every INI setting takes its default");
            path.clear();
        } else {
            check->Set("INI file", path);
        }
    }
    LoadIniSettings(check->installPath.c_str());
    const Ini ini(path);
    if (!path.empty()) {
        CheckUnknownEntries(ini, check);
        CheckOverridden(ini, check);
    }
    CheckCard(ini, check);
    CheckDevice(ini, check);
    CheckLog(ini, check);
    CheckSystemCodes(ini, check);
    const std::int32_t unattended = NumberKey(ini, "Prompt", "Unattended", 0, check);
    check->unattended = GetUnattended();
    check->SetNumber("[Prompt] Unattended", unattended,
                     check->unattended
                         ? "message boxes and notices answer themselves; the card wait, "
                           "PIN and ID/password prompts still appear"
                         : "prompts shown");
    if (unattended != 0 && unattended != 1) {
        check->Add(Finding::Warning, "[Prompt] Unattended",
                   "[Prompt] Unattended is " + std::to_string(unattended) +
                       ": only 1 switches the prompts off");
    }
    const std::int32_t openWait = NumberKey(ini, "Device", "OpenWait", -1, check);
    check->SetNumber("[Device] OpenWait", openWait,
                     GetOpenWaitMs() < 0
                         ? "ZUKOpen waits without bound while another process holds the reader"
                         : "ZUKOpen answers ZUK_ERR_BUSY after " + std::to_string(GetOpenWaitMs()) +
                               " ms while another process holds the reader");
    const std::int32_t strict = NumberKey(ini, "Device", "StrictLink", 0, check);
    check->SetNumber("[Device] StrictLink", strict,
                     GetStrictLink() == 1
                         ? "every reader answer's checksums and padding are verified"
                         : "reader answers are taken as they come");
    if (strict != 0 && strict != 1) {
        check->Add(
            Finding::Warning, "[Device] StrictLink",
            "[Device] StrictLink is " + std::to_string(strict) + ": only 1 switches the checks on");
    }
    CheckProtectPasswords(ini, check);
}
