// Loading the settings: registry values first (any missing or invalid one refuses the load), then
// the INI file next to the library, whose missing keys fall back to defaults.
//
// Texts that do not fit their field (511 characters) are never cut, since a cut name names another
// port, model or file: the field is left empty instead.  An empty port name means the reader's
// port is looked up, an empty device name matches no reader model (the open fails visibly), an
// empty log file name turns the trace off.  A path composed from InstallPath that does not fit its
// buffer is treated as absent: no INI file is read, the default log file is none.
#include "settings/config.h"

#include <cstring>
#include <initializer_list>

#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/hex.h"
#include "settings/ini_file.h"
#include "settings/registry.h"
#include "settings/text.h"

namespace {

LibrarySettings g_settings;

const char kIniName[] = "ZUKcntrl.ini";
const char kLogName[] = "ZUKcntrl.log";

// The INI file's text, read once per load when it is plain; null otherwise, and every key is then
// read through the platform.
IniText g_iniText;
const IniText *g_ini = nullptr;

// Reads one INI text value through StripQuotes into a field.
void ReadIniText(const char *iniPath, const char *section, const char *key, const char *def,
                 char *field, std::size_t capacity) {
    char raw[1024] = {0};
    IniAnswer answer = g_ini ? IniTextString(g_ini, section, key, raw, sizeof raw) : kIniUndecided;
    if (answer == kIniAbsent || (answer == kIniUndecided && iniPath[0] == '\0')) {
        CopyText(raw, sizeof raw, def);
    } else if (answer == kIniUndecided) {
        PlatProfileString(section, key, def, raw, sizeof raw, iniPath);
    }
    StripQuotes(raw, field, capacity);
}

// An INI number, and whether the file gave it (source: INI) or the default stands.
std::int32_t ReadIniInt(const char *iniPath, const char *section, const char *key,
                        std::int32_t def, SettingSource *source = nullptr) {
    if (source) *source = kSourceDefault;
    if (iniPath[0] == '\0') return def;
    std::int32_t value = def;
    IniAnswer answer = g_ini ? IniTextInt(g_ini, section, key, &value) : kIniUndecided;
    if (answer == kIniUndecided) {
        value = static_cast<std::int32_t>(PlatProfileInt(section, key, def, iniPath));
    }
    if (source && (answer == kIniFound || (answer == kIniUndecided && value != def))) {
        *source = kSourceIni;
    }
    return value;
}

void SetSource(PolicyValue setting, SettingSource source) {
    g_settings.Source[setting] = static_cast<std::uint8_t>(source);
}

// The machine values a policy replaces, each checked as the machine value is: kRegistryConfigOk,
// or the refusal an unusable machine value of the same name gives.
int ApplyMachinePolicies() {
    for (PolicyValue v : {kPolicyMode, kPolicyDevice, kPolicyConfigInputItems, kPolicyConfigRememberItems,
                          kPolicyConfigRememberStore, kPolicyConfigReuseBlock,
                          kPolicyConfigDialogVariant, kPolicyFeliCa}) {
        SetSource(v, kSourceMachine);
    }
    ReadPolicyValues(&g_settings.Policy);
    const PolicyValues &p = g_settings.Policy;
    if (p.present[kPolicyMode]) {
        if (p.unreadable[kPolicyMode]) return kRegistryConfigNoMode;
        g_settings.Mode = p.value[kPolicyMode];
        SetSource(kPolicyMode, kSourcePolicy);
    }
    if (p.present[kPolicyDevice]) {
        if (p.unreadable[kPolicyDevice] || p.value[kPolicyDevice] > kDeviceReader) {
            return kRegistryConfigBadDevice;
        }
        g_settings.Device = p.value[kPolicyDevice];
        SetSource(kPolicyDevice, kSourcePolicy);
    }
    const struct {
        PolicyValue value;
        std::uint32_t mask;
    } groups[] = {
        {kPolicyConfigInputItems, kConfigInputItemsMask},
        {kPolicyConfigRememberItems, kConfigRememberItemsMask},
        {kPolicyConfigRememberStore, kConfigRememberStoreMask},
        {kPolicyConfigReuseBlock, kConfigReuseBlockMask},
        {kPolicyConfigDialogVariant, kConfigDialogVariantMask},
    };
    for (const auto &g : groups) {
        if (!p.present[g.value]) continue;
        // A group's value keeps to its own bits, as written unshifted (0x30, 0x200, ...).
        if (p.unreadable[g.value] || (p.value[g.value] & ~g.mask) != 0) return kRegistryConfigNoConfig;
        g_settings.Config = (g_settings.Config & ~g.mask) | p.value[g.value];
        SetSource(g.value, kSourcePolicy);
    }
    if (p.present[kPolicyFeliCa]) {
        g_settings.IdmAsAccount = p.unreadable[kPolicyFeliCa] ? 0 : p.value[kPolicyFeliCa];
        SetSource(kPolicyFeliCa, kSourcePolicy);
    }
    return kRegistryConfigOk;
}

// The INI switches a policy replaces: only 1 switches Unattended, StrictLink and ProtectPasswords
// on, as in the INI; a log mode other than 1 or 3 is off.
void ApplyIniPolicies() {
    const PolicyValues &p = g_settings.Policy;
    if (p.present[kPolicyUnattended]) {
        g_settings.Unattended = !p.unreadable[kPolicyUnattended] && p.value[kPolicyUnattended] == 1;
        SetSource(kPolicyUnattended, kSourcePolicy);
    }
    if (p.present[kPolicyStrictLink]) {
        g_settings.StrictLink = !p.unreadable[kPolicyStrictLink] && p.value[kPolicyStrictLink] == 1;
        SetSource(kPolicyStrictLink, kSourcePolicy);
    }
    if (p.present[kPolicyLogMode]) {
        g_settings.LogMode =
            p.unreadable[kPolicyLogMode] ? kLogModeOff : static_cast<std::int32_t>(p.value[kPolicyLogMode]);
        SetSource(kPolicyLogMode, kSourcePolicy);
    }
    if (p.present[kPolicyProtectPasswords]) {
        g_settings.ProtectPasswords =
            !p.unreadable[kPolicyProtectPasswords] && p.value[kPolicyProtectPasswords] == 1;
        SetSource(kPolicyProtectPasswords, kSourcePolicy);
    }
}

// A process's own setting from its environment: a whole number of at most nine digits, or -1 when
// the variable is not set or holds anything else (the INI's value then stands).
// `text` (when given, kEnvTextSize bytes) receives the variable's text, empty when it is not set.
std::int32_t EnvironmentNumber(const char *name, char *text = nullptr) {
    char own[kEnvTextSize];
    if (text == nullptr) text = own;
    if (!PlatGetEnvironment(name, text, kEnvTextSize) || text[0] == '\0') return -1;
    std::int32_t value = 0;
    for (int i = 0; text[i] != '\0'; ++i) {
        if (i == 9 || text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The library key's values, in order; the first missing or invalid one gives the refusal code.
int ReadMachineValues(PlatKey machine) {
    g_settings.MachineProtectPasswords = -1;
    // The installation path must fit its field with a terminator; a longer one is refused.
    std::memset(g_settings.InstallPath, 0, sizeof g_settings.InstallPath);
    std::uint8_t path[1024] = {0};
    std::uint32_t length = sizeof path;
    if (ReadRegStringIn(machine, "InstallPath", path, &length) != 0 || length == 0 ||
        length >= sizeof g_settings.InstallPath) {
        return kRegistryConfigNoInstallPath;
    }
    std::memcpy(g_settings.InstallPath, path, length);
    if (std::strlen(g_settings.InstallPath) == 0) return kRegistryConfigNoInstallPath;  // a value that starts with a zero byte

    g_settings.Mode = 0;
    if (ReadRegDwordIn(machine, "Mode", &g_settings.Mode) != 0) return kRegistryConfigNoMode;

    g_settings.IdmAsAccount = 0;
    std::uint8_t felica[512] = {0};
    length = sizeof felica;
    if (ReadRegStringIn(machine, "FeliCa", felica, &length) == 0 && length == 3 &&
        std::strcmp(reinterpret_cast<const char *>(felica), "IDM") == 0) {
        g_settings.IdmAsAccount = 1;
    }

    g_settings.Device = 0;
    if (ReadRegDwordIn(machine, "Device", &g_settings.Device) != 0 || g_settings.Device > kDeviceReader) {
        return kRegistryConfigBadDevice;
    }

    g_settings.Config = 0;
    if (ReadRegDwordIn(machine, "Config", &g_settings.Config) != 0) return kRegistryConfigNoConfig;

    // Optional: a value that is not a number of at most four bytes is ignored (the INI's stands).
    std::uint32_t protect = 0;
    if (ReadRegDwordIn(machine, "ProtectPasswords", &protect) == 0) {
        g_settings.MachineProtectPasswords = protect == 1 ? 1 : 0;
    }
    return kRegistryConfigOk;
}

}  // namespace

LibrarySettings *MutableSettings() { return &g_settings; }

void ResetSettings() {
    std::memset(&g_settings, 0, sizeof g_settings);
    g_settings.OpenWaitMs = -1;
    g_settings.MachineProtectPasswords = -1;
}

bool StripQuotes(const char *text, char *dst, std::size_t capacity) {
    if (!dst || capacity == 0) return false;
    dst[0] = '\0';
    if (!text) return true;
    if (*text == '"') ++text;
    std::size_t n = 0;
    while (text[n] != '\0' && text[n] != '"') ++n;
    if (n >= capacity) return false;
    std::memcpy(dst, text, n);
    dst[n] = '\0';
    return true;
}

void ParseSystemCodes(const char *text, LibrarySettings *settings) {
    settings->SystemCodeCount = 0;
    if (!text) return;
    const char *p = text;
    while (*p != '\0' && settings->SystemCodeCount < kMaxSystemCodes) {
        const char *comma = std::strchr(p, ',');
        std::size_t len = comma ? static_cast<std::size_t>(comma - p) : std::strlen(p);
        std::uint8_t code[2];
        if (len > 0 && HexToBytes(p, len, code, sizeof code) == 2) {
            std::memcpy(settings->SystemCodes[settings->SystemCodeCount], code, 2);
            ++settings->SystemCodeCount;
        }
        if (!comma) break;
        p = comma + 1;
    }
}

int LoadRegistryConfig() {
    // The library key is opened once for its five values; a key that cannot be opened reads as a
    // missing installation path.
    PlatKey machine = 0;
    if (PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, PLAT_KEY_QUERY_VALUE, &machine) != 0) {
        std::memset(g_settings.InstallPath, 0, sizeof g_settings.InstallPath);
        return kRegistryConfigNoInstallPath;
    }
    int result = ReadMachineValues(machine);
    PlatRegCloseKey(machine);
    if (result != kRegistryConfigOk) return result;
    // Group Policy governs the machine values it names.
    result = ApplyMachinePolicies();
    if (result != kRegistryConfigOk) return result;

    // The current user's library key must exist: the credential keys are created below it.
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ, &user) != 0) return kRegistryConfigNoUserRoot;
    PlatKey key = 0;
    long error = PlatRegCreateKey(user, ZUK_SETTINGS_KEY, PLAT_KEY_READ | PLAT_KEY_WRITE, false, &key);
    if (error == 0) PlatRegCloseKey(key);
    PlatRegCloseKey(user);
    return error == 0 ? kRegistryConfigOk : kRegistryConfigNoUserKey;
}

void LoadIniSettings(const char *installPath) {
    char ini[1024];
    JoinText(ini, sizeof ini, installPath, kIniName);  // empty when it does not fit: defaults apply
    g_ini = IniTextLoad(&g_iniText, ini) ? &g_iniText : nullptr;

    g_settings.PollingInterval = ReadIniInt(ini, "Card", "PollingInterval", 1000);
    g_settings.VerifyRetry = ReadIniInt(ini, "Card", "VerifyRetry", 0);
    if (g_settings.VerifyRetry < 0) g_settings.VerifyRetry = 0;
    ReadIniText(ini, "Device", "PortName", "", g_settings.PortName, sizeof g_settings.PortName);
    ReadIniText(ini, "Device", "DeviceName", "PR300", g_settings.DeviceName,
                sizeof g_settings.DeviceName);
    SettingSource source = kSourceDefault;
    g_settings.StrictLink = ReadIniInt(ini, "Device", "StrictLink", 0, &source) == 1 ? 1 : 0;
    SetSource(kPolicyStrictLink, source);
    g_settings.LogMode = ReadIniInt(ini, "Log", "Mode", kLogModeOff, &source);
    SetSource(kPolicyLogMode, source);
    char defaultLog[512];
    JoinText(defaultLog, sizeof defaultLog, installPath, kLogName);
    ReadIniText(ini, "Log", "FileName", defaultLog, g_settings.LogFileName,
                sizeof g_settings.LogFileName);
    char codes[1024];
    ReadIniText(ini, "FeliCa", "SystemCode", "8165", codes, sizeof codes);
    ParseSystemCodes(codes, &g_settings);
    // Only 1 switches the prompts off, so a typo keeps the library asking as it always did.
    g_settings.Unattended = ReadIniInt(ini, "Prompt", "Unattended", 0, &source) == 1 ? 1 : 0;
    SetSource(kPolicyUnattended, source);
    // How long ZUKOpen waits for a reader another process holds: absent or negative, without
    // bound (as it always did).
    g_settings.OpenWaitMs = ReadIniInt(ini, "Device", "OpenWait", -1);
    if (g_settings.OpenWaitMs < 0) g_settings.OpenWaitMs = -1;
    // Only 1 protects the passwords; the machine value, where there is one, wins over the INI.
    g_settings.ProtectPasswords = ReadIniInt(ini, "Credentials", "ProtectPasswords", 0, &source) == 1 ? 1 : 0;
    SetSource(kPolicyProtectPasswords, source);
    if (g_settings.MachineProtectPasswords >= 0) {
        g_settings.ProtectPasswords = g_settings.MachineProtectPasswords;
        SetSource(kPolicyProtectPasswords, kSourceMachine);
    }
    g_ini = nullptr;

    // One process can be made prompt-free, or given a bounded open, without changing the
    // machine's INI that every other host on it shares: its environment wins over the INI.
    const std::int32_t unattended = EnvironmentNumber(kEnvUnattended);
    if (unattended == 0 || unattended == 1) {
        g_settings.Unattended = unattended;
        SetSource(kPolicyUnattended, kSourceEnvironment);
    }
    // A ZUK_OPEN_WAIT that is no number of milliseconds leaves the INI's OpenWait (or its
    // absence: no bound) in force, and is kept for the trace, which says so at load.
    char openWaitText[kEnvTextSize];
    const std::int32_t openWait = EnvironmentNumber(kEnvOpenWait, openWaitText);
    g_settings.OpenWaitRefused[0] = '\0';
    if (openWait >= 0) {
        g_settings.OpenWaitMs = openWait;
    } else {
        std::memcpy(g_settings.OpenWaitRefused, openWaitText, sizeof g_settings.OpenWaitRefused);
    }
    // What Group Policy sets wins over the INI and over a process's own environment.
    ApplyIniPolicies();
}

SettingSource GetSettingSource(PolicyValue setting) {
    return static_cast<SettingSource>(g_settings.Source[setting]);
}

const char *GetInstallPath() { return g_settings.InstallPath; }
std::uint32_t GetLibraryMode() { return g_settings.Mode; }
std::uint32_t GetIdmAsAccount() { return g_settings.IdmAsAccount; }
std::uint32_t GetDeviceKind() { return g_settings.Device; }
std::uint32_t GetInputItems() { return g_settings.Config & kConfigInputItemsMask; }
std::uint32_t GetRememberItems() { return g_settings.Config & kConfigRememberItemsMask; }
std::uint32_t GetRememberStore() { return g_settings.Config & kConfigRememberStoreMask; }
std::uint32_t GetReuseBlock() { return g_settings.Config & kConfigReuseBlockMask; }
std::uint32_t GetDialogVariant() { return g_settings.Config & kConfigDialogVariantMask; }
std::int32_t GetPollingInterval() { return g_settings.PollingInterval; }
std::int32_t GetVerifyRetry() { return g_settings.VerifyRetry; }
const char *GetPortName() { return g_settings.PortName; }
const char *GetDeviceName() { return g_settings.DeviceName; }
std::int32_t GetStrictLink() { return g_settings.StrictLink; }
std::int32_t GetLogMode() { return g_settings.LogMode; }
const char *GetLogFileName() { return g_settings.LogFileName; }
bool GetUnattended() { return g_settings.Unattended == 1; }
std::int32_t GetOpenWaitMs() { return g_settings.OpenWaitMs; }
const char *GetOpenWaitRefused() { return g_settings.OpenWaitRefused; }
bool GetProtectPasswords() { return g_settings.ProtectPasswords == 1; }

std::int32_t GetSystemCodes(const std::uint8_t **codes) {
    if (codes) *codes = &g_settings.SystemCodes[0][0];
    return g_settings.SystemCodeCount;
}
