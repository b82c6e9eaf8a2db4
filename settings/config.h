// The library's settings: read once at load from the machine registry and the INI file, then
// read-only for the life of the loaded library.
#ifndef ZUK_SETTINGS_CONFIG_H
#define ZUK_SETTINGS_CONFIG_H

#include <cstddef>
#include <cstdint>

#include "settings/policy.h"
#include "settings/settings_state.h"

// Machine-wide settings key (below HKEY_LOCAL_MACHINE) and the current user's key of the library.
#define ZUK_SETTINGS_KEY "SOFTWARE\\KORVA\\ZUKLib"


// Library modes (registry Mode): 0 switches the library off.
const std::uint32_t kLibraryModeOff = 0x000;
const std::uint32_t kLibraryModeCard = 0x100;
const std::uint32_t kLibraryModeCardOrTyped = 0x300;

// Reader kinds (registry Device).
const std::uint32_t kDeviceNone = 0;
const std::uint32_t kDeviceReader = 1;

// The five 4-bit groups of the registry value Config.  Each getter returns its group masked but
// not shifted, and callers compare it with the unshifted values below.
const std::uint32_t kConfigInputItemsMask = 0x0000F;
const std::uint32_t kConfigRememberItemsMask = 0x000F0;
const std::uint32_t kConfigRememberStoreMask = 0x00F00;
const std::uint32_t kConfigReuseBlockMask = 0x0F000;
const std::uint32_t kConfigDialogVariantMask = 0xF0000;
const std::uint32_t kInputIdOnly = 0x1;                 // InputItems: the user ID alone
const std::uint32_t kInputIdAndPassword = 0x3;          // InputItems: user ID and password
const std::uint32_t kRememberNothing = 0x00;            // RememberItems
const std::uint32_t kRememberId = 0x10;                 // RememberItems: the user ID
const std::uint32_t kRememberIdAndPassword = 0x30;      // RememberItems: user ID and password
const std::uint32_t kRememberStoreVolatile = 0x100;     // RememberStore: the session's key
const std::uint32_t kRememberStoreNonVolatile = 0x200;  // RememberStore: the durable key
const std::uint32_t kReuseBlockOn = 0x1000;             // ReuseBlock: never hand back silently
const std::uint32_t kDialogVariantMaskedId = 0x10000;   // DialogVariant: the user ID masked


// Trace filter (INI [Log] Mode); any other value is off.
const std::int32_t kLogModeOff = 0;
const std::int32_t kLogModeFailures = 1;
const std::int32_t kLogModeFailuresAndNormalEnds = 3;


// Environment variables a host process sets before it loads the library, for itself alone: they
// win over the INI's [Prompt] Unattended (1 on, 0 off) and [Device] OpenWait (milliseconds).
const char kEnvUnattended[] = "ZUK_UNATTENDED";
const char kEnvOpenWait[] = "ZUK_OPEN_WAIT";

// Fills the registry part of the settings: kRegistryConfigOk, or the reason (a
// RegistryConfigResult) that makes the library refuse to load.
int LoadRegistryConfig();
// Fills the INI part; missing data gives the defaults.
void LoadIniSettings(const char *installPath);

// Copies text into dst (capacity bytes): a leading double quote is skipped and the copy stops at
// the next double quote or the end.  False (dst empty) when the result does not fit.
bool StripQuotes(const char *text, char *dst, std::size_t capacity);

// Fills SystemCodes/SystemCodeCount from a comma-separated list of four-digit hexadecimal codes.
void ParseSystemCodes(const char *text, LibrarySettings *settings);

// Getters.
SettingSource GetSettingSource(PolicyValue setting);
// A setting's value as the library holds it, as text: numbers in decimal (Config and its groups in
// hexadecimal, "0x231"), FeliCa "IDM" or "none", the system codes "8165, 88B4", texts as they are.
void SettingValueText(Setting setting, char *out, std::size_t size);
// The policy value that refused the load (false: none did): its setting and what was read.
bool GetRefusedPolicy(Setting *setting, const PolicyRead **read);
const char *GetInstallPath();
std::uint32_t GetLibraryMode();
std::uint32_t GetIdmAsAccount();
std::uint32_t GetDeviceKind();
std::uint32_t GetInputItems();     // Config & kConfigInputItemsMask
std::uint32_t GetRememberItems();  // Config & kConfigRememberItemsMask
std::uint32_t GetRememberStore();  // Config & kConfigRememberStoreMask
std::uint32_t GetReuseBlock();     // Config & kConfigReuseBlockMask
std::uint32_t GetDialogVariant();  // Config & kConfigDialogVariantMask
std::int32_t GetPollingInterval();
std::int32_t GetVerifyRetry();
const char *GetPortName();
const char *GetDeviceName();
std::int32_t GetStrictLink();
std::int32_t GetLogMode();
const char *GetLogFileName();
std::int32_t GetSystemCodes(const std::uint8_t **codes);
bool GetUnattended();
// [Log] EventLog (default 1): whether the library's events go to the system's event log.
bool GetEventLog();
std::int32_t GetOpenWaitMs();
// The text of a ZUK_OPEN_WAIT the load could not use, or "" (see LibrarySettings).
const char *GetOpenWaitRefused();
bool GetProtectPasswords();

// The settings record itself, for the loaders and for tests that set up a library state.
LibrarySettings *MutableSettings();
void ResetSettings();

#endif
