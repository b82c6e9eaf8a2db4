// Every setting the library reads, in one table: where it is stored (a machine value under
// HKLM\SOFTWARE\KORVA\ZUKLib, a key of ZUKcntrl.ini, a process's environment variable), how it is
// read (its kind: one parser each), its default, the values a policy may set, whether Group Policy
// governs it (the policy value then has the row's name, under HKLM\SOFTWARE\Policies\KORVA\ZUKLib),
// and what it means.  The load (config.cpp) is a loop over these rows; zukcli's checks, the Group
// Policy templates (dist/policy), dist/ZUKcntrl.ini and the tables of docs/configuration.md are
// made from them or checked against them by tests.
//
// Precedence, lowest first: the default, the INI, the machine value (where a row has both), the
// process's environment, the policy.
//
// One rule for every governed setting: a policy value that is present but unusable (not a
// REG_DWORD of four bytes, texts not a REG_SZ; too long for its field; or not one of the accepted
// values) refuses the load (kRegistryConfigBadPolicy), whatever the setting, so that a mistyped
// policy never changes the mode, a Config group or a protection behind the administrator's back.
// The refused value is kept (GetRefusedPolicy) for the trace and for zukcli status.
//
// Columns:
//   S(name, field of LibrarySettings, machine value, INI section, INI key, environment variable,
//     governed, kind, Config bits, default, accepted policy values, refusal, meaning)
// "" where a row has no such store (a row with none is a policy only: its default stands unless the
// policy sets it).  Accepted: values separated by spaces, "LOW..HIGH", or "*"
// (texts: anything that fits the field and that the kind reads).  Refusal: the RegistryConfigResult
// a missing or unusable machine value gives (kRegistryConfigOk: it is optional).
#ifndef ZUK_SETTINGS_SETTING_TABLE_H
#define ZUK_SETTINGS_SETTING_TABLE_H

#include <cstddef>
#include <cstdint>

// Why LoadRegistryConfig refuses the load (0: it does not).
enum RegistryConfigResult {
    kRegistryConfigOk = 0,
    kRegistryConfigNoInstallPath = 1,  // InstallPath missing, empty, too long, or no library key
    kRegistryConfigNoMode = 2,         // Mode missing
    kRegistryConfigBadDevice = 3,      // Device missing or above 1
    kRegistryConfigNoConfig = 4,       // Config missing
    kRegistryConfigNoUserRoot = 5,     // the current user's registry root cannot be opened
    kRegistryConfigNoUserKey = 6,      // the current user's library key cannot be created
    kRegistryConfigBadPolicy = 7,      // a policy value is unusable (GetRefusedPolicy names it)
};

// How a setting is read: one parser per kind, for each store the row names.
enum SettingKind {
    kKindPath,    // machine text, required: ends where a zero byte is; empty or too long refuses
    kKindNumber,  // machine number of at most four bytes (a policy: one of the accepted values)
    kKindBits,    // machine number of at most four bytes holding groups of bits (shown in
                  // hexadecimal)
    kKindReader,  // a number of at most four bytes that is 0 or 1
    kKindIdm,     // text: exactly "IDM" makes the card's IDm the account (policy: IDM or NONE)
    kKindGroup,   // bits of Config, written unshifted (0x30, 0x200, ...); governed alone
    kKindSwitch,  // a number of which only 1 is on
    kKindInt,     // a whole number as written
    kKindCount,   // a whole number; negative reads as 0
    kKindWait,    // milliseconds; absent or negative: without bound (-1)
    kKindText,   // text, quotes stripped (INI), refused (left empty) when it does not fit its field
    kKindFile,   // as kKindText; the default is the file named so in the installation folder
    kKindCodes,  // comma-separated four-digit hexadecimal system codes, at most five
};

#define ZUK_SETTINGS(S)                                                                            \
    S(InstallPath, InstallPath, "InstallPath", "", "", "", false, kKindPath, 0, "", "*",           \
      kRegistryConfigNoInstallPath,                                                                \
      "installation folder; file names are appended to it directly, so end it with \\")            \
    S(Mode, Mode, "Mode", "", "", "", true, kKindNumber, 0, "", "0 256 768",                       \
      kRegistryConfigNoMode,                                                                       \
      "0 library off; 256 account from a card; 768 account from a card or typed")                  \
    S(FeliCa, IdmAsAccount, "FeliCa", "", "", "", true, kKindIdm, 0, "", "IDM NONE",               \
      kRegistryConfigOk, "IDM (exactly): the card's IDm is the user account")                      \
    S(Device, Device, "Device", "", "", "", true, kKindReader, 0, "", "0 1",                       \
      kRegistryConfigBadDevice, "0 no reader (typed prompt); 1 the PR300 reader")                  \
    S(Config, Config, "Config", "", "", "", false, kKindBits, 0, "", "*", kRegistryConfigNoConfig, \
      "credential and dialog behaviour in five groups of four bits")                               \
    S(ConfigInputItems, Config, "", "", "", "", true, kKindGroup, 0x0000F, "", "1 3",              \
      kRegistryConfigOk, "input items: 1 the user ID; 3 user ID and password")                     \
    S(ConfigRememberItems, Config, "", "", "", "", true, kKindGroup, 0x000F0, "", "0 16 48",       \
      kRegistryConfigOk,                                                                           \
      "remembered items: 0 nothing; 0x10 the user ID; 0x30 user ID and password")                  \
    S(ConfigRememberStore, Config, "", "", "", "", true, kKindGroup, 0x00F00, "", "0 256 512",     \
      kRegistryConfigOk, "remember store: 0x200 persistent; otherwise the logon session")          \
    S(ConfigReuseBlock, Config, "", "", "", "", true, kKindGroup, 0x0F000, "", "0 61440",          \
      kRegistryConfigOk,                                                                           \
      "reuse block: non-zero, remembered values are never handed back silently")                   \
    S(ConfigDialogVariant, Config, "", "", "", "", true, kKindGroup, 0xF0000, "", "0 65536",       \
      kRegistryConfigOk, "dialog variant: 0x10000 the user ID is masked too")                      \
    S(ProtectPasswords, ProtectPasswords, "ProtectPasswords", "Credentials", "ProtectPasswords",   \
      "", true, kKindSwitch, 0, "0", "0 1", kRegistryConfigOk,                                     \
      "1: passwords are stored protected for each user (DPAPI); otherwise masked")                 \
    S(PollingInterval, PollingInterval, "", "Card", "PollingInterval", "", true, kKindInt, 0,      \
      "1000", "1..60000", kRegistryConfigOk,                                                       \
      "milliseconds between card polls in the waiting prompts")                                    \
    S(VerifyRetry, VerifyRetry, "", "Card", "VerifyRetry", "", true, kKindCount, 0, "0", "0..100", \
      kRegistryConfigOk, "PIN entries allowed per identification; 0 no limit")                     \
    S(PortName, PortName, "", "Device", "PortName", "", true, kKindText, 0, "", "*",               \
      kRegistryConfigOk, "serial port of the reader; empty: found through the USB-serial driver")  \
    S(DeviceName, DeviceName, "", "Device", "DeviceName", "", false, kKindText, 0, "PR300", "*",   \
      kRegistryConfigOk, "reader model; only PR300 is supported")                                  \
    S(StrictLink, StrictLink, "", "Device", "StrictLink", "", true, kKindSwitch, 0, "0", "0 1",    \
      kRegistryConfigOk, "1: every reader answer's checksums and padding are verified")            \
    S(OpenWait, OpenWaitMs, "", "Device", "OpenWait", "ZUK_OPEN_WAIT", true, kKindWait, 0, "",     \
      "0..999999999", kRegistryConfigOk,                                                           \
      "milliseconds ZUKOpen waits for a reader another process holds; absent: without bound")      \
    S(LogMode, LogMode, "", "Log", "Mode", "", true, kKindInt, 0, "0", "0 1 3", kRegistryConfigOk, \
      "trace: 0 off, 1 failures, 3 failures and normal ends; other values off")                    \
    S(LogFileName, LogFileName, "", "Log", "FileName", "", false, kKindFile, 0, "ZUKcntrl.log",    \
      "*", kRegistryConfigOk, "trace log file")                                                    \
    S(SystemCode, SystemCodes, "", "FeliCa", "SystemCode", "", true, kKindCodes, 0, "8165", "*",   \
      kRegistryConfigOk, "up to five comma-separated four-digit hexadecimal system codes to poll") \
    S(Unattended, Unattended, "", "Prompt", "Unattended", "ZUK_UNATTENDED", true, kKindSwitch, 0,  \
      "0", "0 1", kRegistryConfigOk,                                                               \
      "1: retry and busy boxes answer Cancel and notices OK unshown; no card-access window")       \
    S(EventLog, EventLog, "", "Log", "EventLog", "", true, kKindSwitch, 0, "1", "0 1",             \
      kRegistryConfigOk, "1: the library's events go to the Windows Application log; 0: none")     \
    S(CredentialProvider, CredentialProvider, "", "", "", "", true, kKindSwitch, 0, "1", "0 1",    \
      kRegistryConfigOk,                                                                           \
      "0: the credential provider ZUKCredProv.dll takes no part in sign-in or unlock")

// The settings by row.  kPolicy* are the same rows under the name their policy value has.
#define ZUK_SETTING_ENUM(name, ...) kSetting##name, kPolicy##name = kSetting##name,
enum Setting { ZUK_SETTINGS(ZUK_SETTING_ENUM) kSettingCount, kPolicyCount = kSettingCount };
#undef ZUK_SETTING_ENUM
typedef Setting PolicyValue;

struct SettingRow {
    const char *name;     // the row's name; the policy value's name where it is governed
    const char *machine;  // machine value name, or ""
    const char *section;  // INI section, or ""
    const char *key;      // INI key, or ""
    const char *env;      // environment variable, or ""
    bool governed;
    SettingKind kind;
    std::uint32_t bits;  // Config bits of a group, else 0
    const char *def;
    const char *accepted;
    int refusal;  // RegistryConfigResult of a missing or unusable machine value
    const char *meaning;
};

const SettingRow &SettingRowOf(Setting setting);

// Why a value found in a store cannot be used.
enum SettingProblem {
    kProblemNone = 0,
    kProblemMissing,  // required and absent
    kProblemType,     // a policy value of another registry type than its kind reads
    kProblemTooLong,  // more than the kind reads (a number over four bytes, a text over its field)
    kProblemValue,    // not one of the accepted values
};
const char *SettingProblemText(SettingProblem problem);  // "of the wrong type", ...

// Whether a number is one of the row's accepted values ("*": any).
bool SettingAccepts(const SettingRow &row, std::uint32_t value);

#endif
