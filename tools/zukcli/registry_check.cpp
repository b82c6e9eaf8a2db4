// The machine values under HKLM\SOFTWARE\KORVA\ZUKLib, read as the library reads them: text values
// of any type with one trailing zero dropped, number values as their first four bytes.  On 64-bit
// Windows the 32-bit library sees the 32-bit view (SOFTWARE\WOW6432Node\KORVA\ZUKLib) and the
// 64-bit one the 64-bit view; zukcli loads the library of its own bitness and asks for that
// library's view explicitly.
#include <windows.h>

#include <cstdio>

#include "tools/zukcli/settings_check.h"

namespace {

const char kKeyName[] = "HKLM\\SOFTWARE\\KORVA\\ZUKLib";

struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

RawValue Query(HKEY key, const char *name) {
    RawValue v;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) return v;
    std::string bytes(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, &v.type,
                         reinterpret_cast<BYTE *>(bytes.empty() ? nullptr : &bytes[0]), &size) !=
        ERROR_SUCCESS) {
        return v;
    }
    bytes.resize(size);
    v.present = true;
    v.bytes = bytes;
    return v;
}

const char *TypeName(DWORD type) {
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_DWORD: return "REG_DWORD";
    case REG_BINARY: return "REG_BINARY";
    case REG_QWORD: return "REG_QWORD";
    default: return "another type";
    }
}

// The text the library takes from a value read with room for `capacity` bytes; false when that
// read fails (the value is larger).
bool ReadText(const RawValue &v, std::size_t capacity, std::string *text) {
    if (!v.present || v.bytes.size() > capacity) return false;
    std::string t = v.bytes;
    if (!t.empty() && t.back() == '\0') t.pop_back();
    *text = t;
    return true;
}

// The number the library takes from a value: its first bytes, at most four, little-endian.
bool ReadNumber(const RawValue &v, std::uint32_t *value) {
    if (!v.present || v.bytes.size() > 4) return false;
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < v.bytes.size(); ++i) {
        n |= static_cast<std::uint32_t>(static_cast<unsigned char>(v.bytes[i])) << (8 * i);
    }
    *value = n;
    return true;
}

std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(value));
    return buffer;
}

// A required number value: missing, or longer than four bytes, refuses the load.
bool RequiredNumber(HKEY key, const char *name, StatusCheck *check, std::uint32_t *value) {
    const RawValue v = Query(key, name);
    if (!v.present) {
        check->Add(Finding::Error, name, std::string(name) + " is missing: the library refuses to load");
        return false;
    }
    if (!ReadNumber(v, value)) {
        check->Add(Finding::Error, name,
                   std::string(name) + " is " + std::to_string(v.bytes.size()) + " bytes of " +
                       TypeName(v.type) + ", more than a DWORD: the library refuses to load");
        return false;
    }
    if (v.type != REG_DWORD) {
        check->Add(Finding::Warning, name,
                   std::string(name) + " is a " + TypeName(v.type) + ", not a REG_DWORD: the library reads its bytes as the number " +
                       std::to_string(*value));
    }
    return true;
}

void CheckInstallPath(HKEY key, StatusCheck *check) {
    const RawValue v = Query(key, "InstallPath");
    std::string text;
    if (!v.present) {
        check->Add(Finding::Error, "InstallPath", "InstallPath is missing: the library refuses to load");
        return;
    }
    if (!ReadText(v, 1024, &text) || text.size() >= 1024) {
        check->Add(Finding::Error, "InstallPath",
                   "InstallPath is 1024 bytes or longer: the library refuses to load");
        return;
    }
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        if (zero > 0) {
            check->Add(Finding::Warning, "InstallPath",
                       "InstallPath has a zero byte inside: the library uses only " + Quoted(text.substr(0, zero)));
        }
        text.resize(zero);
    }
    if (text.empty()) {
        check->Add(Finding::Error, "InstallPath", "InstallPath is empty: the library refuses to load");
        return;
    }
    check->haveInstallPath = true;
    check->installPath = text;
    check->Set("InstallPath", text);
    const bool variables = v.type == REG_EXPAND_SZ && text.find('%') != std::string::npos;
    if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ) || variables) {
        check->Add(Finding::Warning, "InstallPath",
                   std::string("InstallPath is a ") + TypeName(v.type) +
                       "; the library takes its bytes as they are (no variables are expanded)");
    }
    const char last = text.back();
    if (last != '\\' && last != '/') {
        check->Add(Finding::Warning, "InstallPath",
                   "InstallPath does not end with a backslash: file names are appended directly, "
                   "so the library looks for " + Quoted(text + "ZUKcntrl.ini") + " and " +
                       Quoted(text + "ZukLang.csv"));
    }
    const bool absolute = (text.size() >= 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) ||
                          text.compare(0, 2, "\\\\") == 0;
    if (!absolute) {
        check->Add(Finding::Warning, "InstallPath",
                   "InstallPath is not a full path (drive and folder): the files are looked up "
                   "relative to each host's current or Windows folder");
    }
    const DWORD attributes = GetFileAttributesA(text.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (last == '\\' || last == '/') {
            check->Add(Finding::Warning, "InstallPath",
                       "the folder " + Quoted(text) + " does not exist");
        }
    }
}

void CheckMode(HKEY key, StatusCheck *check, bool *ok) {
    std::uint32_t mode = 0;
    if (!RequiredNumber(key, "Mode", check, &mode)) {
        *ok = false;
        return;
    }
    const char *meaning = mode == 0x100   ? "account from a card"
                          : mode == 0x300 ? "account from a card or typed"
                          : mode == 0     ? "switched off"
                                          : "no mode of the library";
    check->SetNumber("Mode", mode, meaning);
    if (mode == 0) {
        check->Add(Finding::Warning, "Mode",
                   "Mode is 0: the library is switched off, every export except ZUKGetLibMode "
                   "answers ZUK_ERR_DISABLED (4)");
    } else if (mode != 0x100 && mode != 0x300) {
        check->Add(Finding::Warning, "Mode",
                   "Mode " + std::to_string(mode) + " is neither 256 nor 768: ZUKGetLibMode reports 0, "
                   "and ZUKGetUserAccount with a reader answers ZUK_ERR_DISABLED (4)");
    }
}

void CheckFelica(HKEY key, StatusCheck *check) {
    const RawValue v = Query(key, "FeliCa");
    std::string text;
    bool idm = false;
    if (v.present && ReadText(v, 512, &text)) idm = text == "IDM";
    check->Set("FeliCa", v.present ? text : "", idm ? "the card's IDm is the user account"
                                                     : "the account is read from the card");
    if (v.present && !idm) {
        check->Add(Finding::Warning, "FeliCa",
                   "FeliCa is set but is not exactly IDM (upper case, nothing else): it is ignored");
    }
}

void CheckDevice(HKEY key, StatusCheck *check, bool *ok) {
    std::uint32_t device = 0;
    if (!RequiredNumber(key, "Device", check, &device)) {
        *ok = false;
        return;
    }
    if (device > 1) {
        check->Add(Finding::Error, "Device",
                   "Device is " + std::to_string(device) + ", not 0 or 1: the library refuses to load");
        *ok = false;
        return;
    }
    check->device = device;
    check->SetNumber("Device", device, device == 1 ? "the PR300 reader" : "no reader: user ID and password are typed");
}

void CheckConfig(HKEY key, StatusCheck *check, bool *ok) {
    std::uint32_t config = 0;
    if (!RequiredNumber(key, "Config", check, &config)) {
        *ok = false;
        return;
    }
    const std::uint32_t input = config & 0xF, remember = config & 0xF0, store = config & 0xF00,
                        reuse = config & 0xF000, variant = config & 0xF0000;
    std::string meaning;
    meaning += input == 1 ? "asks for the user ID" : input == 3 ? "asks for user ID and password" : "input items " + Hex(input);
    meaning += remember == 0 ? ", remembers nothing"
               : remember == 0x10 ? ", remembers the user ID"
               : remember == 0x30 ? ", remembers user ID and password"
                                  : ", remembered items " + Hex(remember);
    if (remember != 0) meaning += store == 0x200 ? " persistently" : " for the session";
    meaning += reuse == 0 ? ", may hand back remembered values silently" : ", never hands back silently";
    if (variant == 0x10000) meaning += ", second ID/password layout";
    check->SetNumber("Config", config, meaning, Hex(config));
    if (input != 1 && input != 3) {
        check->Add(Finding::Warning, "Config",
                   "Config input items (bits 0-3) are " + Hex(input) + ": only 1 (user ID) and 3 (user ID and password) are in use");
    }
    if (remember != 0 && remember != 0x10 && remember != 0x30) {
        check->Add(Finding::Warning, "Config",
                   "Config remembered items (bits 4-7) are " + Hex(remember) +
                       ": only 0, 0x10 and 0x30 are in use; a pick-up call (mode 0x10000) answers ZUK_ERR_ACCOUNT_STORE");
    }
    if (config > 0xFFFFF) {
        check->Add(Finding::Warning, "Config", "Config has bits above 0xFFFFF set, which mean nothing");
    }
}

}  // namespace

void CheckRegistry(StatusCheck *check) {
#ifdef _WIN64
    const REGSAM view = KEY_WOW64_64KEY;
    const char *viewName = " (64-bit view)";
#else
    const REGSAM view = KEY_WOW64_32KEY;
    const char *viewName = " (32-bit view)";
#endif
    HKEY key = nullptr;
    LONG error =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KORVA\\ZUKLib", 0, KEY_QUERY_VALUE | view, &key);
    if (error != ERROR_SUCCESS) {
        check->Add(Finding::Error, kKeyName,
                   std::string(kKeyName) + viewName + " cannot be opened (error " + std::to_string(error) +
                       "): the library refuses to load");
        return;
    }
    bool ok = true;
    CheckInstallPath(key, check);
    ok = check->haveInstallPath;
    CheckMode(key, check, &ok);
    CheckFelica(key, check);
    CheckDevice(key, check, &ok);
    CheckConfig(key, check, &ok);
    RegCloseKey(key);
    check->registryLoads = ok;
}
