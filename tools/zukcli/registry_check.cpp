// The machine values under HKLM\SOFTWARE\KORVA\ZUKLib.  Whether the library loads is what the
// library's own registry step (LoadRegistryConfig, compiled into zukcli) decides; each value is
// read with the library's own helpers (text values of any type with one trailing zero dropped,
// number values as their first four bytes) and explained.  On 64-bit Windows the 32-bit library
// sees the 32-bit view (SOFTWARE\WOW6432Node\KORVA\ZUKLib) and the 64-bit one the 64-bit view;
// zukcli has the bitness of the library it loads, so its own reads see that library's view.
#include <windows.h>

#include <cstdio>

#include "platform/registry.h"
#include "settings/config.h"
#include "settings/registry.h"
#include "tools/zukcli/settings_check.h"

namespace {

const char kKeyName[] = "HKLM\\" ZUK_SETTINGS_KEY;
// Every bit that one of Config's five groups uses.
const std::uint32_t kConfigGroupBits = kConfigInputItemsMask | kConfigRememberItemsMask |
                                       kConfigRememberStoreMask | kConfigReuseBlockMask |
                                       kConfigDialogVariantMask;
#ifdef _WIN64
const char kViewName[] = " (64-bit view)";
#else
const char kViewName[] = " (32-bit view)";
#endif

// A value's type and size as stored, for the explanations; present false when there is none.
struct StoredValue {
    bool present = false;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
};

StoredValue Stored(PlatKey key, const char *name) {
    StoredValue v;
    v.present = PlatRegQueryValue(key, name, &v.type, nullptr, &v.size) == 0;
    return v;
}

std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(value));
    return buffer;
}

// A required number value, read as the library reads it; false when it is missing or longer than
// four bytes (the library then refuses to load).
bool RequiredNumber(PlatKey key, const char *name, StatusCheck *check, std::uint32_t *value) {
    const StoredValue v = Stored(key, name);
    *value = 0;
    if (!v.present) {
        check->Add(Finding::Error, name,
                   std::string(name) + " is missing: the library refuses to load");
        return false;
    }
    if (ReadRegDwordIn(key, name, value) != 0) {
        check->Add(Finding::Error, name,
                   std::string(name) + " is " + std::to_string(v.size) + " bytes of " +
                       RegistryTypeName(v.type) +
                       ", more than a DWORD: the library refuses to load");
        return false;
    }
    if (v.type != REG_DWORD) {
        check->Add(Finding::Warning, name,
                   std::string(name) + " is a " + RegistryTypeName(v.type) +
                       ", not a REG_DWORD: the library reads its bytes as the number " +
                       std::to_string(*value));
    }
    return true;
}

// A text value as the library reads it into a field of `capacity` bytes; false when the read
// fails (the value is larger).
bool ReadText(PlatKey key, const char *name, std::uint32_t capacity, std::string *text) {
    std::uint8_t buffer[kRegStringCapacity] = {0};
    std::uint32_t length = capacity;
    if (ReadRegStringIn(key, name, buffer, &length) != 0) return false;
    text->assign(reinterpret_cast<const char *>(buffer), length);
    return true;
}

void CheckInstallPath(PlatKey key, StatusCheck *check) {
    const StoredValue v = Stored(key, "InstallPath");
    std::string text;
    if (!v.present) {
        check->Add(Finding::Error, "InstallPath",
                   "InstallPath is missing: the library refuses to load");
        return;
    }
    const std::size_t field = sizeof MutableSettings()->InstallPath;
    if (!ReadText(key, "InstallPath", kRegStringCapacity, &text) || text.size() >= field) {
        check->Add(Finding::Error, "InstallPath",
                   "InstallPath is " + std::to_string(field) +
                       " bytes or longer: the library refuses to load");
        return;
    }
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        if (zero > 0) {
            check->Add(Finding::Warning, "InstallPath",
                       "InstallPath has a zero byte inside: the library uses only " +
                           Quoted(text.substr(0, zero)));
        }
        text.resize(zero);
    }
    if (text.empty()) {
        check->Add(Finding::Error, "InstallPath",
                   "InstallPath is empty: the library refuses to load");
        return;
    }
    check->haveInstallPath = true;
    check->installPath = text;
    check->Set("InstallPath", text);
    const bool variables = v.type == REG_EXPAND_SZ && text.find('%') != std::string::npos;
    if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ) || variables) {
        check->Add(Finding::Warning, "InstallPath",
                   std::string("InstallPath is a ") + RegistryTypeName(v.type) +
                       "; the library takes its bytes as they are (no variables are expanded)");
    }
    const char last = text.back();
    if (last != '\\' && last != '/') {
        check->Add(Finding::Warning, "InstallPath",
                   "InstallPath does not end with a backslash: file names are appended directly, "
                   "so the library looks for " +
                       Quoted(text + "ZUKcntrl.ini") + " and " + Quoted(text + "ZukLang.csv"));
    }
    const bool absolute =
        (text.size() >= 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) ||
        text.compare(0, 2, "\\\\") == 0;
    if (!absolute) {
        check->Add(Finding::Warning, "InstallPath",
                   "InstallPath is not a full path (drive and folder): the files are looked up "
                   "relative to each host's current or Windows folder");
    }
    if ((last == '\\' || last == '/') && !FolderExists(text)) {
        check->Add(Finding::Warning, "InstallPath",
                   "the folder " + Quoted(text) + " does not exist");
    }
}

void CheckMode(PlatKey key, StatusCheck *check) {
    std::uint32_t mode = 0;
    if (!RequiredNumber(key, "Mode", check, &mode)) return;
    const char *meaning = mode == kLibraryModeCard          ? "account from a card"
                          : mode == kLibraryModeCardOrTyped ? "account from a card or typed"
                          : mode == kLibraryModeOff         ? "switched off"
                                                            : "no mode of the library";
    check->SetNumber("Mode", mode, meaning);
    if (mode == kLibraryModeOff) {
        check->Add(Finding::Warning, "Mode",
                   "Mode is 0: the library is switched off, every export except ZUKGetLibMode "
                   "answers ZUK_ERR_DISABLED (4)");
    } else if (mode != kLibraryModeCard && mode != kLibraryModeCardOrTyped) {
        check->Add(Finding::Warning, "Mode",
                   "Mode " + std::to_string(mode) +
                       " is neither 256 nor 768: ZUKGetLibMode reports 0, "
                       "and ZUKGetUserAccount with a reader answers ZUK_ERR_DISABLED (4)");
    }
}

// `libraryReadIt`: the library's registry step came as far as FeliCa, so its own verdict on the
// value stands.
void CheckFelica(PlatKey key, bool libraryReadIt, StatusCheck *check) {
    const StoredValue v = Stored(key, "FeliCa");
    std::string text;
    bool idm = false;
    if (v.present && ReadText(key, "FeliCa", 512, &text)) idm = text == "IDM";
    if (libraryReadIt) idm = GetIdmAsAccount() == 1;
    check->Set("FeliCa", v.present ? text : "",
               idm ? "the card's IDm is the user account" : "the account is read from the card");
    if (v.present && !idm) {
        check->Add(
            Finding::Warning, "FeliCa",
            "FeliCa is set but is not exactly IDM (upper case, nothing else): it is ignored");
    }
}

void CheckDevice(PlatKey key, StatusCheck *check) {
    std::uint32_t device = 0;
    if (!RequiredNumber(key, "Device", check, &device)) return;
    if (device > kDeviceReader) {
        check->Add(
            Finding::Error, "Device",
            "Device is " + std::to_string(device) + ", not 0 or 1: the library refuses to load");
        return;
    }
    check->device = device;
    check->SetNumber(
        "Device", device,
        device == kDeviceReader ? "the PR300 reader" : "no reader: user ID and password are typed");
}

// The Config groups are the library's own getters' (their value set into the settings record
// when the library's registry step stopped before Config).
void CheckConfig(PlatKey key, StatusCheck *check) {
    std::uint32_t config = 0;
    if (!RequiredNumber(key, "Config", check, &config)) return;
    MutableSettings()->Config = config;
    const std::uint32_t input = GetInputItems(), remember = GetRememberItems(),
                        store = GetRememberStore(), reuse = GetReuseBlock(),
                        variant = GetDialogVariant();
    std::string meaning;
    meaning += input == kInputIdOnly          ? "asks for the user ID"
               : input == kInputIdAndPassword ? "asks for user ID and password"
                                              : "input items " + Hex(input);
    meaning += remember == kRememberNothing         ? ", remembers nothing"
               : remember == kRememberId            ? ", remembers the user ID"
               : remember == kRememberIdAndPassword ? ", remembers user ID and password"
                                                    : ", remembered items " + Hex(remember);
    if (remember != kRememberNothing) {
        meaning += store == kRememberStoreNonVolatile ? " persistently" : " for the session";
    }
    meaning +=
        reuse == 0 ? ", may hand back remembered values silently" : ", never hands back silently";
    if (variant == kDialogVariantMaskedId) meaning += ", second ID/password layout";
    check->SetNumber("Config", config, meaning, Hex(config));
    if (input != kInputIdOnly && input != kInputIdAndPassword) {
        check->Add(Finding::Warning, "Config",
                   "Config input items (bits 0-3) are " + Hex(input) +
                       ": only 1 (user ID) and 3 (user ID and password) are in use");
    }
    if (remember != kRememberNothing && remember != kRememberId &&
        remember != kRememberIdAndPassword) {
        check->Add(Finding::Warning, "Config",
                   "Config remembered items (bits 4-7) are " + Hex(remember) +
                       ": only 0, 0x10 and 0x30 are in use; a pick-up call (mode 0x10000) answers "
                       "ZUK_ERR_ACCOUNT_STORE");
    }
    if ((config & ~kConfigGroupBits) != 0) {
        check->Add(Finding::Warning, "Config",
                   "Config has bits above 0xFFFFF set, which mean nothing");
    }
}

// Optional: a number of at most four bytes, 1 on; anything else the library ignores or reads as
// off.
void CheckProtectPasswords(PlatKey key, StatusCheck *check) {
    const StoredValue v = Stored(key, "ProtectPasswords");
    if (!v.present) return;
    std::uint32_t value = 0;
    if (ReadRegDwordIn(key, "ProtectPasswords", &value) != 0) {
        check->Add(Finding::Warning, "ProtectPasswords",
                   "ProtectPasswords is " + std::to_string(v.size) + " bytes of " +
                       RegistryTypeName(v.type) + ", more than a DWORD: the library ignores it");
        return;
    }
    check->SetNumber("ProtectPasswords", value,
                     value == 1 ? "passwords are stored protected for each user (DPAPI)"
                                : "passwords are stored masked");
    if (v.type != REG_DWORD) {
        check->Add(Finding::Warning, "ProtectPasswords",
                   std::string("ProtectPasswords is a ") + RegistryTypeName(v.type) +
                       ", not a REG_DWORD: the library reads its bytes as the number " +
                       std::to_string(value));
    }
    if (value > 1) {
        check->Add(
            Finding::Warning, "ProtectPasswords",
            "ProtectPasswords is " + std::to_string(value) + ": only 1 protects the passwords");
    }
}

}  // namespace

void CheckRegistry(StatusCheck *check) {
    const int refusal = LoadRegistryConfig();
    check->registryLoads = refusal == kRegistryConfigOk;
    PlatKey key = 0;
    const long error =
        PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, PLAT_KEY_QUERY_VALUE, &key);
    if (error != 0) {
        check->Add(Finding::Error, kKeyName,
                   std::string(kKeyName) + kViewName + " cannot be opened (error " +
                       std::to_string(error) + "): the library refuses to load");
        return;
    }
    const std::size_t errors = check->CountErrors();
    CheckInstallPath(key, check);
    CheckMode(key, check);
    // The library reads FeliCa after InstallPath and Mode: the refusals for those stop before it.
    CheckFelica(key, refusal != kRegistryConfigNoInstallPath && refusal != kRegistryConfigNoMode,
                check);
    CheckDevice(key, check);
    CheckConfig(key, check);
    CheckProtectPasswords(key, check);
    PlatRegCloseKey(key);
    Setting refused = kSettingCount;
    const PolicyRead *read = nullptr;
    if (refusal == kRegistryConfigBadPolicy && GetRefusedPolicy(&refused, &read)) {
        // The value named as the library names it in its trace.
        char text[512];
        DescribeRefusedPolicy(refused, *read, text, sizeof text);
        check->Add(Finding::Error, std::string("policy ") + PolicyValueName(refused), text);
    } else if (refusal != kRegistryConfigOk && check->CountErrors() == errors) {
        // The machine values are sound; the library's step failed on the current user's key,
        // below which it keeps the remembered credentials.
        check->Add(Finding::Error, "HKCU\\" ZUK_SETTINGS_KEY,
                   "HKCU\\" ZUK_SETTINGS_KEY
                   " cannot be opened or created for this user (the library's "
                   "registry step gives " +
                       std::to_string(refusal) + "): the library refuses to load");
    }
}

const char *RegistryTypeName(std::uint32_t type) {
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
