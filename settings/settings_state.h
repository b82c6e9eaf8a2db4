// The settings layer's process-wide state in one record: the settings read at load and the INI
// text they came from, the revocation lists, the password mask in use, where the keys came from,
// and the message texts.  Only the settings layer writes it; each of its files reaches its own
// part, and SettingsStateReset (settings_reset.h) puts the whole record back to the state at load.
// The types of the parts are here, so that this header needs none of the files that use them.
#ifndef ZUK_SETTINGS_SETTINGS_STATE_H
#define ZUK_SETTINGS_SETTINGS_STATE_H

#include <cstddef>
#include <cstdint>

#include "settings/ini_file.h"
#include "settings/policy.h"
#include "settings/site_keys.h"

const int kMaxSystemCodes = 5;

// Room for the text of an environment variable the library reads; a longer one reads as not set.
const std::size_t kEnvTextSize = 64;

struct LibrarySettings {
    char InstallPath[1024];      // used as a plain prefix: ends with a path separator
    std::uint32_t Mode;          // kLibraryMode*
    std::uint32_t IdmAsAccount;  // 1 when FeliCa is exactly "IDM"
    std::uint32_t Device;        // kDeviceNone or kDeviceReader
    std::uint32_t Config;        // five 4-bit groups, see kConfig*Mask
    std::int32_t PollingInterval;
    std::int32_t VerifyRetry;  // never negative; 0 means no limit
    char PortName[512];
    char DeviceName[512];
    std::int32_t StrictLink;  // 1: the link verifies every answer's checksums and padding
    std::int32_t LogMode;     // kLogMode*
    char LogFileName[512];
    std::uint8_t SystemCodes[kMaxSystemCodes][2];
    std::int32_t SystemCodeCount;
    // 1 (no person at the screen): the retry and busy prompts answer Cancel, and the notices (card
    // locked, no card, wrong PIN) OK, at once without being shown; the prompts that ask for
    // something (card wait, PIN, user ID and password) still appear.
    std::int32_t Unattended;
    std::int32_t OpenWaitMs;  // ZUKOpen's wait for a reader held elsewhere; -1: without bound
    // The process's ZUK_OPEN_WAIT when it is set but no number of milliseconds (empty otherwise);
    // OpenWaitMs is then the INI's.
    char OpenWaitRefused[kEnvTextSize];
    // 1: remembered and entered passwords are kept protected for the current user (DPAPI) instead
    // of masked.
    std::int32_t ProtectPasswords;
    // 1: the library writes its events (events.h) to the system's event log.
    std::int32_t EventLog;
    // 0: the credential provider (ZUKCredProv.dll) is switched off; a policy only, which the
    // provider reads through the same row (the library itself does not use it).
    std::int32_t CredentialProvider;
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

// The distinct IDms both revocation lists together may name.
constexpr int kMaxRevokedCards = 32768;
// The longest value read: a REG_MULTI_SZ value of about 3,800 IDms.
constexpr std::uint32_t kMaxRevocationValue = 65536;

// A card's standing on this machine: accepted (on no list), revoked, or refused because no list
// is in force (every card is refused then).
enum CardStanding { kCardAccepted, kCardRevoked, kRevocationTooLong, kRevocationUnreadable };

// One revocation list as read from both keys.
struct RevocationList {
    std::uint64_t ids[kMaxRevokedCards];  // ids[0, sorted) sorted and distinct; the rest not yet
    int count;
    int sorted;
    int entries;    // IDms read, duplicates included
    int malformed;  // malformed values
    bool tooLong;   // more distinct IDms than the array holds, or a value over kMaxRevocationValue
    // The last write stamps of the two keys when they were read (0: the key was not there).
    std::uint64_t policyStamp;
    std::uint64_t machineStamp;
};

// The list in force and the one a reading fills: a reading that fails part-way (a key that is
// there but cannot be read) never replaces a list that was read whole.
struct RevocationState {
    RevocationList lists[2];
    int current;
    CardStanding status;  // kCardAccepted: the list in force was read whole; otherwise why none is
    bool loaded;
    std::uint8_t value[kMaxRevocationValue];  // one value's data (the exports run one at a time)
};

// The mask of stored passwords (credentials.h).
constexpr int PASSWORD_MASK_SIZE = 64;
struct PasswordMask {
    std::uint8_t bytes[PASSWORD_MASK_SIZE];
    bool usable;
};

// Where the library's keys come from (site_key_store.h: GetSiteKeySource).
struct SiteKeySourceRecord {
    std::int32_t result;                           // a SiteKeyStoreResult
    std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE];  // the keys' check value (kKeyStoreOk)
};

// The message texts, one per id of the catalogue (messages.cpp).
const std::size_t kMessageTextSize = 512;
const std::size_t kMessageIds = 47;

struct SettingsState {
    LibrarySettings settings;
    IniText iniText;     // the INI file's text, read once per load when it is plain
    const IniText *ini;  // &iniText while the load reads it; null otherwise
    RevocationState revocation;
    PasswordMask passwordMask;  // the built-in mask until the site's keys replace it
    SiteKeySourceRecord siteKeySource;
    char messages[kMessageIds][kMessageTextSize];
};

extern SettingsState g_settingsState;

#endif
