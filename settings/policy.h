// Group Policy: values an administrator sets under HKLM\SOFTWARE\Policies\KORVA\ZUKLib (the
// Windows convention, one key for both registry views) override the machine values and the INI
// settings they name.  Without the key the library behaves as if policies did not exist.
//
// Each policy value is checked like the value it replaces: an unreadable Mode, Device or Config
// group, or a Device above 1, or a Config group value with bits outside its group, refuses the
// load as the machine value would; the INI switches take only 1 as on.  The revocation list is
// read from its own subkeys (the policy one and the machine one, see revocation.h).
#ifndef ZUK_SETTINGS_POLICY_H
#define ZUK_SETTINGS_POLICY_H

#include <cstdint>

#include "platform/registry.h"

#define ZUK_POLICY_KEY "SOFTWARE\\Policies\\KORVA\\ZUKLib"

// Where an effective setting came from, for zukcli status.
enum SettingSource { kSourceDefault, kSourceIni, kSourceMachine, kSourcePolicy, kSourceEnvironment };
const char *SettingSourceName(SettingSource source);  // "default", "INI", "machine", "policy", ...

// The policy values the library reads.  Columns:
//   X(value name, what it replaces, the values the library accepts (space-separated; "*" any))
// Config is governed group by group: a group's policy value replaces those bits of Config.
#define ZUK_POLICY_VALUES(X)                                                                       \
    X(Mode, "machine value Mode (REG_DWORD)", "0 256 768")                                         \
    X(Device, "machine value Device (REG_DWORD)", "0 1")                                           \
    X(ConfigInputItems, "Config bits 0x0000F (REG_DWORD)", "1 3")                                  \
    X(ConfigRememberItems, "Config bits 0x000F0 (REG_DWORD)", "0 16 48")                           \
    X(ConfigRememberStore, "Config bits 0x00F00 (REG_DWORD)", "0 256 512")                         \
    X(ConfigReuseBlock, "Config bits 0x0F000 (REG_DWORD)", "0 61440")                              \
    X(ConfigDialogVariant, "Config bits 0xF0000 (REG_DWORD)", "0 65536")                           \
    X(FeliCa, "machine value FeliCa (REG_SZ)", "IDM NONE")                                         \
    X(Unattended, "INI [Prompt] Unattended (REG_DWORD)", "0 1")                                    \
    X(StrictLink, "INI [Device] StrictLink (REG_DWORD)", "0 1")                                    \
    X(LogMode, "INI [Log] Mode (REG_DWORD)", "0 1 3")                                              \
    X(ProtectPasswords, "machine value and INI [Credentials] ProtectPasswords (REG_DWORD)", "0 1")

#define ZUK_POLICY_ENUM(name, replaces, accepted) kPolicy##name,
enum PolicyValue { ZUK_POLICY_VALUES(ZUK_POLICY_ENUM) kPolicyCount };
#undef ZUK_POLICY_ENUM

const char *PolicyValueName(PolicyValue value);

// The policy values found at load: present[v] and, for the numbers, value[v] (FeliCa: 1 for "IDM").
// A present value that cannot be read (not a number of at most four bytes, or a text that is too
// long) is marked unreadable.
struct PolicyValues {
    bool present[kPolicyCount];
    bool unreadable[kPolicyCount];
    std::uint32_t value[kPolicyCount];
};

// Reads every policy value from the policy key (absent key: nothing present).
void ReadPolicyValues(PolicyValues *out);

#endif
