// The library's settings: read once at load from the machine registry and the INI file, then
// read-only for the life of the loaded library.
#ifndef ZUK_SETTINGS_CONFIG_H
#define ZUK_SETTINGS_CONFIG_H

#include <cstddef>
#include <cstdint>

#include "settings/policy.h"

// Machine-wide settings key (below HKEY_LOCAL_MACHINE) and the current user's key of the library.
#define ZUK_SETTINGS_KEY "SOFTWARE\\KORVA\\ZUKLib"

const int kMaxSystemCodes = 5;

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
const std::uint32_t kInputIdOnly = 0x1;             // InputItems: the user ID alone
const std::uint32_t kInputIdAndPassword = 0x3;      // InputItems: user ID and password
const std::uint32_t kRememberNothing = 0x00;        // RememberItems
const std::uint32_t kRememberId = 0x10;             // RememberItems: the user ID
const std::uint32_t kRememberIdAndPassword = 0x30;  // RememberItems: user ID and password
const std::uint32_t kRememberStoreVolatile = 0x100;     // RememberStore: the session's key
const std::uint32_t kRememberStoreNonVolatile = 0x200;  // RememberStore: the durable key
const std::uint32_t kReuseBlockOn = 0x1000;             // ReuseBlock: never hand back silently
const std::uint32_t kDialogVariantMaskedId = 0x10000;   // DialogVariant: the user ID masked

// Room for the text of an environment variable the library reads; a longer one reads as not set.
const std::size_t kEnvTextSize = 64;

// Trace filter (INI [Log] Mode); any other value is off.
const std::int32_t kLogModeOff = 0;
const std::int32_t kLogModeFailures = 1;
const std::int32_t kLogModeFailuresAndNormalEnds = 3;

struct LibrarySettings {
    char InstallPath[1024];      // used as a plain prefix: ends with a path separator
    std::uint32_t Mode;          // kLibraryMode*
    std::uint32_t IdmAsAccount;  // 1 when FeliCa is exactly "IDM"
    std::uint32_t Device;        // kDeviceNone or kDeviceReader
    std::uint32_t Config;        // five 4-bit groups, see kConfig*Mask
    std::int32_t PollingInterval;
    std::int32_t VerifyRetry;    // never negative; 0 means no limit
    char PortName[512];
    char DeviceName[512];
    std::int32_t StrictLink;     // 1: the link verifies every answer's checksums and padding
    std::int32_t LogMode;        // kLogMode*
    char LogFileName[512];
    std::uint8_t SystemCodes[kMaxSystemCodes][2];
    std::int32_t SystemCodeCount;
    // 1 (no person at the screen): the retry and busy prompts answer Cancel, and the notices (card
    // locked, no card, wrong PIN) OK, at once without being shown; the prompts that ask for
    // something (card wait, PIN, user ID and password) still appear.
    std::int32_t Unattended;
    std::int32_t OpenWaitMs;     // ZUKOpen's wait for a reader held elsewhere; -1: without bound
    // The process's ZUK_OPEN_WAIT when it is set but no number of milliseconds (empty otherwise);
    // OpenWaitMs is then the INI's.
    char OpenWaitRefused[kEnvTextSize];
    // 1: remembered and entered passwords are kept protected for the current user (DPAPI) instead
    // of masked.
    std::int32_t ProtectPasswords;
    // The machine values found at load of the rows that have an INI key too (ProtectPasswords):
    // they win over the INI's.
    std::uint8_t MachineFound[kSettingCount];
    std::int32_t MachineNumber[kSettingCount];
    // The usable policy values found at load (applied after the INI and the environment), where
    // each setting's effective value came from (a SettingSource), and the policy value that
    // refused the load, if one did.
    bool PolicyFound[kSettingCount];
    PolicyRead Policy[kSettingCount];
    std::uint8_t Source[kSettingCount];
    bool PolicyRefused;
    Setting RefusedSetting;
    PolicyRead Refused;
};

// Environment variables a host process sets before it loads the library, for itself alone: they
// win over the INI's [Prompt] Unattended (1 on, 0 off) and [Device] OpenWait (milliseconds).
const char kEnvUnattended[] = "ZUK_UNATTENDED";
const char kEnvOpenWait[] = "ZUK_OPEN_WAIT";

// Fills the registry part of the settings: kRegistryConfigOk, or the reason (a RegistryConfigResult)
// that makes the library refuse to load.
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
std::int32_t GetOpenWaitMs();
// The text of a ZUK_OPEN_WAIT the load could not use, or "" (see LibrarySettings).
const char *GetOpenWaitRefused();
bool GetProtectPasswords();

// The settings record itself, for the loaders and for tests that set up a library state.
LibrarySettings *MutableSettings();
void ResetSettings();

#endif
