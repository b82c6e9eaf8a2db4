// Loading the settings: registry values first (any missing or invalid one refuses the load), then
// the INI file next to the library, whose missing keys fall back to defaults.
//
// Texts that do not fit their field (511 characters) are never cut, since a cut name names another
// port, model or file: the field is left empty instead.  An empty port name means the reader's
// port is looked up, an empty device name matches no reader model (the open fails visibly), an
// empty log file name turns the trace off.  A path composed from InstallPath that does not fit its
// buffer is treated as absent: no INI file is read, the default log file is none.
#include "settings/config.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/hex.h"
#include "settings/ini_file.h"
#include "settings/registry.h"
#include "settings/settings_state.h"
#include "settings/text.h"

namespace {

// The record's parts this file reads and writes (settings_state.h).
LibrarySettings &g_settings = g_settingsState.settings;
IniText &g_iniText = g_settingsState.iniText;
const IniText *&g_ini = g_settingsState.ini;

const char kIniName[] = "ZUKcntrl.ini";


// Where each row's value lives in the settings record: numbers are four bytes (signed or not),
// texts a field of their own size.
struct Field {
    std::size_t offset;
    std::size_t size;
};
#define ZUK_SETTING_FIELD(name, field, ...)                                                        \
    {offsetof(LibrarySettings, field), sizeof(LibrarySettings::field)},
const Field kFields[] = {ZUK_SETTINGS(ZUK_SETTING_FIELD)};
#undef ZUK_SETTING_FIELD

char *FieldOf(Setting s) { return reinterpret_cast<char *>(&g_settings) + kFields[s].offset; }

void PutNumber(Setting s, std::uint32_t value) {
    const SettingRow &row = SettingRowOf(s);
    if (row.kind == kKindGroup) {
        g_settings.Config = (g_settings.Config & ~row.bits) | (value & row.bits);
        return;
    }
    std::memcpy(FieldOf(s), &value, 4);
}

void SetSource(Setting s, SettingSource source) {
    g_settings.Source[s] = static_cast<std::uint8_t>(source);
}

bool IsNumberKind(SettingKind kind) {
    return kind == kKindNumber || kind == kKindBits || kind == kKindReader || kind == kKindSwitch ||
           kind == kKindInt || kind == kKindCount || kind == kKindWait || kind == kKindGroup ||
           kind == kKindIdm;
}

// A number kind's value as the library keeps it: only 1 switches on, a count is never negative,
// a negative wait is no bound.
std::int32_t Normalised(SettingKind kind, std::int32_t value) {
    if (kind == kKindSwitch) return value == 1 ? 1 : 0;
    if (kind == kKindCount) return value < 0 ? 0 : value;
    if (kind == kKindWait) return value < 0 ? -1 : value;
    return value;
}

std::int32_t DefaultNumber(const SettingRow &row) {
    if (row.def[0] == '\0') return row.kind == kKindWait ? -1 : 0;
    return static_cast<std::int32_t>(std::strtol(row.def, nullptr, 10));
}

// Reads one INI text value through StripQuotes into a field; the source is the INI when the file
// gave the key.
SettingSource ReadIniText(const char *iniPath, const char *section, const char *key,
                          const char *def, char *field, std::size_t capacity) {
    char raw[1024] = {0};
    IniAnswer answer = g_ini ? IniTextString(g_ini, section, key, raw, sizeof raw) : kIniUndecided;
    SettingSource source = kSourceIni;
    if (answer == kIniAbsent || (answer == kIniUndecided && iniPath[0] == '\0')) {
        CopyText(raw, sizeof raw, def);
        source = kSourceDefault;
    } else if (answer == kIniUndecided) {
        PlatProfileString(section, key, def, raw, sizeof raw, iniPath);
        if (std::strcmp(raw, def) == 0) source = kSourceDefault;
    }
    StripQuotes(raw, field, capacity);
    return source;
}

// An INI number, and whether the file gave it (source: INI) or the default stands.
std::int32_t ReadIniInt(const char *iniPath, const char *section, const char *key, std::int32_t def,
                        SettingSource *source) {
    *source = kSourceDefault;
    if (iniPath[0] == '\0') return def;
    std::int32_t value = def;
    IniAnswer answer = g_ini ? IniTextInt(g_ini, section, key, &value) : kIniUndecided;
    if (answer == kIniUndecided) {
        value = static_cast<std::int32_t>(PlatProfileInt(section, key, def, iniPath));
    }
    if (answer == kIniFound || (answer == kIniUndecided && value != def)) *source = kSourceIni;
    return value;
}

// One INI row, by its kind.
void ReadIniRow(Setting s, const char *ini, const char *installPath) {
    const SettingRow &row = SettingRowOf(s);
    SettingSource source = kSourceDefault;
    if (IsNumberKind(row.kind)) {
        const std::int32_t value =
            ReadIniInt(ini, row.section, row.key, DefaultNumber(row), &source);
        PutNumber(s, static_cast<std::uint32_t>(Normalised(row.kind, value)));
    } else if (row.kind == kKindCodes) {
        char codes[1024];
        source = ReadIniText(ini, row.section, row.key, row.def, codes, sizeof codes);
        ParseSystemCodes(codes, &g_settings);
    } else {
        // A file's default is named in the installation folder (none when that does not fit).
        char def[1024];
        CopyText(def, sizeof def, row.def);
        if (row.kind == kKindFile) JoinText(def, kFields[s].size, installPath, row.def);
        source = ReadIniText(ini, row.section, row.key, def, FieldOf(s), kFields[s].size);
    }
    SetSource(s, source);
    // The machine value, where the row has one, wins over the INI.
    if (g_settings.MachineFound[s]) {
        PutNumber(s, static_cast<std::uint32_t>(g_settings.MachineNumber[s]));
        SetSource(s, kSourceMachine);
    }
}

// A process's own setting from its environment: a whole number of at most nine digits, or -1 when
// the variable is not set or holds anything else (the INI's value then stands).
// `text` (kEnvTextSize bytes) receives the variable's text, empty when it is not set.
std::int32_t EnvironmentNumber(const char *name, char *text) {
    if (!PlatGetEnvironment(name, text, kEnvTextSize) || text[0] == '\0') {
        text[0] = '\0';
        return -1;
    }
    std::int32_t value = 0;
    for (int i = 0; text[i] != '\0'; ++i) {
        if (i == 9 || text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// One environment row: a switch takes 0 or 1, a wait any number of milliseconds; the text of a
// wait it cannot use is kept for the trace, which says so at load.
void ReadEnvironmentRow(Setting s) {
    const SettingRow &row = SettingRowOf(s);
    char text[kEnvTextSize];
    const std::int32_t value = EnvironmentNumber(row.env, text);
    const bool usable = row.kind == kKindSwitch ? (value == 0 || value == 1) : value >= 0;
    if (row.kind == kKindWait) {
        std::memcpy(g_settings.OpenWaitRefused, usable ? "" : text, usable ? 1 : kEnvTextSize);
    }
    if (!usable) return;
    PutNumber(s, static_cast<std::uint32_t>(value));
    SetSource(s, kSourceEnvironment);
}

// A usable policy value over whatever the other stores gave.
void ApplyPolicy(Setting s) {
    const SettingRow &row = SettingRowOf(s);
    const PolicyRead &p = g_settings.Policy[s];
    if (row.kind == kKindText || row.kind == kKindFile) {
        CopyText(FieldOf(s), kFields[s].size, p.text);
    } else if (row.kind == kKindCodes) {
        ParseSystemCodes(p.text, &g_settings);
    } else {
        PutNumber(s, p.number);
    }
    if (row.kind == kKindWait) g_settings.OpenWaitRefused[0] = '\0';  // the policy decides anyway
    SetSource(s, kSourcePolicy);
}

// Every governed row's policy value, read and checked once per load: kRegistryConfigOk, or
// kRegistryConfigBadPolicy with the refused value kept.  The machine values' policies apply at
// once; the INI's after the INI and the environment.
int ReadPolicies() {
    PlatKey key = 0;
    if (!OpenPolicyKey(&key)) return kRegistryConfigOk;
    int result = kRegistryConfigOk;
    for (int i = 0; i < kSettingCount && result == kRegistryConfigOk; ++i) {
        const Setting s = static_cast<Setting>(i);
        PolicyRead &read = g_settings.Policy[s];
        ReadPolicy(key, s, &read);
        if (read.present && read.problem != kProblemNone) {
            g_settings.PolicyRefused = true;
            g_settings.RefusedSetting = s;
            g_settings.Refused = read;
            result = kRegistryConfigBadPolicy;
        }
        g_settings.PolicyFound[s] = read.present && read.problem == kProblemNone;
    }
    PlatRegCloseKey(key);
    if (result != kRegistryConfigOk) return result;
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting s = static_cast<Setting>(i);
        if (g_settings.PolicyFound[s] && SettingRowOf(s).section[0] == '\0') ApplyPolicy(s);
    }
    return kRegistryConfigOk;
}

// The machine text InstallPath: it must fit its field with a terminator and not start with a zero.
bool ReadInstallPath(PlatKey machine, Setting s) {
    char *field = FieldOf(s);
    std::memset(field, 0, kFields[s].size);
    std::uint8_t path[1024] = {0};
    std::uint32_t length = sizeof path;
    if (ReadRegStringIn(machine, SettingRowOf(s).machine, path, &length) != 0 || length == 0 ||
        length >= kFields[s].size) {
        return false;
    }
    std::memcpy(field, path, length);
    return field[0] != '\0';
}

// The library key's values, in the table's order; the first missing or unusable required one
// gives its refusal.  An optional value that cannot be read is ignored (the INI's stands).
int ReadMachineValues(PlatKey machine) {
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting s = static_cast<Setting>(i);
        const SettingRow &row = SettingRowOf(s);
        g_settings.MachineFound[s] = 0;
        if (row.kind == kKindGroup) SetSource(s, kSourceMachine);  // bits of the machine's Config
        if (row.machine[0] == '\0') {
            // A policy-only row (no store of its own) starts at its default.
            if (row.section[0] == '\0' && row.env[0] == '\0' && row.kind != kKindGroup) {
                PutNumber(s, static_cast<std::uint32_t>(DefaultNumber(row)));
                SetSource(s, kSourceDefault);
            }
            continue;
        }
        const bool alsoIni = row.section[0] != '\0';
        if (!alsoIni) SetSource(s, kSourceMachine);
        if (row.kind == kKindPath) {
            if (!ReadInstallPath(machine, s)) return row.refusal;
            continue;
        }
        if (row.kind == kKindIdm) {
            std::uint8_t text[512] = {0};
            std::uint32_t length = sizeof text;
            const bool idm = ReadRegStringIn(machine, row.machine, text, &length) == 0 &&
                             length == 3 &&
                             std::strcmp(reinterpret_cast<const char *>(text), "IDM") == 0;
            PutNumber(s, idm ? 1 : 0);
            continue;
        }
        std::uint32_t value = 0;
        if (!alsoIni) PutNumber(s, 0);
        if (ReadRegDwordIn(machine, row.machine, &value) != 0 ||
            (row.kind == kKindReader && value > 1)) {
            if (row.refusal != kRegistryConfigOk) {
                PutNumber(s, value);
                return row.refusal;
            }
            continue;
        }
        if (alsoIni) {
            g_settings.MachineFound[s] = 1;
            g_settings.MachineNumber[s] = Normalised(row.kind, static_cast<std::int32_t>(value));
        } else {
            PutNumber(s, value);
        }
    }
    return kRegistryConfigOk;
}

}  // namespace

LibrarySettings *MutableSettings() { return &g_settings; }

void ResetSettings() {
    std::memset(&g_settings, 0, sizeof g_settings);
    g_ini = nullptr;
    g_iniText.length = 0;
    g_settings.OpenWaitMs = -1;
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
    std::memset(g_settings.PolicyFound, 0, sizeof g_settings.PolicyFound);
    g_settings.PolicyRefused = false;
    PlatKey machine = 0;
    if (PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, PLAT_KEY_QUERY_VALUE, &machine) !=
        0) {
        std::memset(g_settings.InstallPath, 0, sizeof g_settings.InstallPath);
        return kRegistryConfigNoInstallPath;
    }
    int result = ReadMachineValues(machine);
    PlatRegCloseKey(machine);
    if (result != kRegistryConfigOk) return result;
    // Group Policy governs the settings it names; an unusable policy value refuses the load.
    result = ReadPolicies();
    if (result != kRegistryConfigOk) return result;

    // The current user's library key must exist: the credential keys are created below it.
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ, &user) != 0) return kRegistryConfigNoUserRoot;
    PlatKey key = 0;
    long error =
        PlatRegCreateKey(user, ZUK_SETTINGS_KEY, PLAT_KEY_READ | PLAT_KEY_WRITE, false, &key);
    if (error == 0) PlatRegCloseKey(key);
    PlatRegCloseKey(user);
    return error == 0 ? kRegistryConfigOk : kRegistryConfigNoUserKey;
}

void LoadIniSettings(const char *installPath) {
    char ini[1024];
    JoinText(ini, sizeof ini, installPath, kIniName);  // empty when it does not fit: defaults apply
    g_ini = IniTextLoad(&g_iniText, ini) ? &g_iniText : nullptr;
    for (int i = 0; i < kSettingCount; ++i) {
        if (SettingRowOf(static_cast<Setting>(i)).key[0] != '\0')
            ReadIniRow(static_cast<Setting>(i), ini, installPath);
    }
    g_ini = nullptr;
    // One process can be made prompt-free, or given a bounded open, without changing the
    // machine's INI that every other host on it shares: its environment wins over the INI.
    for (int i = 0; i < kSettingCount; ++i) {
        if (SettingRowOf(static_cast<Setting>(i)).env[0] != '\0')
            ReadEnvironmentRow(static_cast<Setting>(i));
    }
    // What Group Policy sets wins over the INI and over a process's own environment.
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting s = static_cast<Setting>(i);
        if (g_settings.PolicyFound[s] && SettingRowOf(s).section[0] != '\0') ApplyPolicy(s);
    }
}

bool GetRefusedPolicy(Setting *setting, const PolicyRead **read) {
    if (!g_settings.PolicyRefused) return false;
    if (setting) *setting = g_settings.RefusedSetting;
    if (read) *read = &g_settings.Refused;
    return true;
}

void SettingValueText(Setting setting, char *out, std::size_t size) {
    const SettingRow &row = SettingRowOf(setting);
    const char *field = FieldOf(setting);
    std::uint32_t number = 0;
    std::memcpy(&number, field, 4);
    if (row.kind == kKindGroup) number &= row.bits;
    switch (row.kind) {
    case kKindPath:
    case kKindText:
    case kKindFile: CopyText(out, size, field); return;
    case kKindIdm: CopyText(out, size, number == 1 ? "IDM" : "none"); return;
    case kKindCodes: {
        std::size_t n = 0;
        out[0] = '\0';
        for (int i = 0; i < g_settings.SystemCodeCount && n < size; ++i) {
            n += static_cast<std::size_t>(std::snprintf(out + n, size - n, "%s%02X%02X",
                                                        i ? ", " : "", g_settings.SystemCodes[i][0],
                                                        g_settings.SystemCodes[i][1]));
        }
        return;
    }
    case kKindGroup:
    case kKindBits: std::snprintf(out, size, "0x%x", static_cast<unsigned>(number)); return;
    case kKindNumber: std::snprintf(out, size, "%u", static_cast<unsigned>(number)); return;
    case kKindReader:
    case kKindSwitch:
    case kKindInt:
    case kKindCount:
    case kKindWait: std::snprintf(out, size, "%d", static_cast<int>(number)); return;
    }
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
bool GetEventLog() { return g_settings.EventLog == 1; }

std::int32_t GetSystemCodes(const std::uint8_t **codes) {
    if (codes) *codes = &g_settings.SystemCodes[0][0];
    return g_settings.SystemCodeCount;
}
