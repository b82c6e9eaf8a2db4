// The library's settings: read once at load from the machine registry and the INI file, then
// read-only for the life of the loaded library.
#ifndef ZUK_SETTINGS_CONFIG_H
#define ZUK_SETTINGS_CONFIG_H

#include <cstddef>
#include <cstdint>

// Machine-wide settings key (below HKEY_LOCAL_MACHINE) and the current user's key of the library.
#define ZUK_SETTINGS_KEY "SOFTWARE\\KORVA\\ZUKLib"

const int kMaxSystemCodes = 5;

struct LibrarySettings {
    char InstallPath[1024];      // used as a plain prefix: ends with a path separator
    std::uint32_t Mode;          // 0 off, 0x100 card, 0x300 card or typed
    std::uint32_t IdmAsAccount;  // 1 when FeliCa is exactly "IDM"
    std::uint32_t Device;        // 0 no reader, 1 reader
    std::uint32_t Config;        // five 4-bit groups, see the getters
    std::int32_t PollingInterval;
    std::int32_t VerifyRetry;    // never negative; 0 means no limit
    char PortName[512];
    char DeviceName[512];
    std::int32_t StrictLink;     // 1: the link verifies every answer's checksums and padding
    std::int32_t LogMode;
    char LogFileName[512];
    std::uint8_t SystemCodes[kMaxSystemCodes][2];
    std::int32_t SystemCodeCount;
    std::int32_t Unattended;     // 1: retry, busy and notice boxes answer themselves at once
};

// Fills the registry part of the settings; 0 on success, non-zero makes the library refuse to load.
int LoadRegistryConfig();
// Fills the INI part; missing data gives the defaults.
void LoadIniSettings(const char *installPath);

// Copies text into dst (capacity bytes): a leading double quote is skipped and the copy stops at
// the next double quote or the end.  False (dst empty) when the result does not fit.
bool StripQuotes(const char *text, char *dst, std::size_t capacity);

// Fills SystemCodes/SystemCodeCount from a comma-separated list of four-digit hexadecimal codes.
void ParseSystemCodes(const char *text, LibrarySettings *settings);

// Getters.
const char *GetInstallPath();
std::uint32_t GetLibraryMode();
std::uint32_t GetIdmAsAccount();
std::uint32_t GetDeviceKind();
std::uint32_t GetInputItems();     // Config & 0x0000F
std::uint32_t GetRememberItems();  // Config & 0x000F0
std::uint32_t GetRememberStore();  // Config & 0x00F00
std::uint32_t GetReuseBlock();     // Config & 0x0F000
std::uint32_t GetDialogVariant();  // Config & 0xF0000
std::int32_t GetPollingInterval();
std::int32_t GetVerifyRetry();
const char *GetPortName();
const char *GetDeviceName();
std::int32_t GetStrictLink();
std::int32_t GetLogMode();
const char *GetLogFileName();
std::int32_t GetSystemCodes(const std::uint8_t **codes);
bool GetUnattended();

// The settings record itself, for the loaders and for tests that set up a library state.
LibrarySettings *MutableSettings();
void ResetSettings();

#endif
