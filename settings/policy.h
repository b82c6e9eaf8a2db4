// Group Policy: values an administrator sets under HKLM\SOFTWARE\Policies\KORVA\ZUKLib (the
// Windows convention, one key for both registry views) override the machine values, the INI
// settings and the environment variables they name.  Without the key the library behaves as if
// policies did not exist.  Which settings are governed, and the values each accepts, are the
// rows of settings/setting_table.h; a policy value that is present but unusable refuses the load
// (see there).  The revocation list is read from its own subkeys (the policy one and the machine
// one, see revocation.h).
#ifndef ZUK_SETTINGS_POLICY_H
#define ZUK_SETTINGS_POLICY_H

#include <cstddef>
#include <cstdint>

#include "platform/registry.h"
#include "settings/setting_table.h"

#define ZUK_POLICY_KEY "SOFTWARE\\Policies\\KORVA\\ZUKLib"

// Where an effective setting came from, for zukcli status.
enum SettingSource {
    kSourceDefault,
    kSourceIni,
    kSourceMachine,
    kSourcePolicy,
    kSourceEnvironment
};
const char *SettingSourceName(SettingSource source);  // "default", "INI", "machine", "policy", ...

// The policy value's name of a governed setting ("" for the others).
const char *PolicyValueName(PolicyValue value);

// Room for a policy text (a port name, a list of system codes) with its terminator.
const std::size_t kPolicyTextSize = 512;
// Room for the text of a refused value, as shown (longer ones are cut for the message only).
const std::size_t kRefusedTextSize = 64;

// One policy value as read for its row: absent, or usable (number, or text for the text kinds),
// or refused with its problem; type and size as stored, for the message that names it.
struct PolicyRead {
    bool present;
    SettingProblem problem;
    std::uint32_t type;
    std::uint32_t size;
    std::uint32_t number;          // the number (REG_DWORD), or 1/0 for FeliCa IDM/NONE
    char text[kPolicyTextSize];    // a usable text
    char shown[kRefusedTextSize];  // the first bytes of a refused text, for messages
};

// Reads the governed setting's policy value from an open policy key.
void ReadPolicy(PlatKey key, Setting setting, PolicyRead *out);

// The sentence that names a refused policy value: which value, as what it is stored, and what the
// library accepts ("policy value ProtectPasswords is a REG_SZ of 2 bytes ("1"): of the wrong type
// (a REG_DWORD of 0 or 1 is accepted); the library refuses to load").  No commas: it is traced.
void DescribeRefusedPolicy(Setting setting, const PolicyRead &read, char *out, std::size_t size);

// Opens the policy key (false: there is none, so no policy applies); close it with
// PlatRegCloseKey.
bool OpenPolicyKey(PlatKey *key);

#endif
