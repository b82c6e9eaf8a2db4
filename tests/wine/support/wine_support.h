// Shared support of the Wine tests: the library's machine settings in the real registry, loading
// the DLL, the folders, and starting a second process of the test program.
#ifndef ZUK_TESTS_WINE_SUPPORT_H
#define ZUK_TESTS_WINE_SUPPORT_H

#include <windows.h>

#include <string>

#include "settings/config.h"

// Config values the tests use.  The user ID typed, ID and password remembered in the durable key:
const DWORD kConfigIdRememberedPair =
    kInputIdOnly | kRememberIdAndPassword | kRememberStoreNonVolatile;
// User ID and password typed, both remembered durably, never handed back silently:
const DWORD kConfigPairRememberedNoReuse =
    kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile | kReuseBlockOn;
// User ID and password typed, nothing remembered (the durable key named as the store):
const DWORD kConfigPairTyped = kInputIdAndPassword | kRememberNothing | kRememberStoreNonVolatile;

// Folder of the test program (and of ZUKcntrl.dll), with a trailing backslash.
std::string ProgramDir();
// The installation folder the tests use: the shipped catalogue lives there.
std::string InstallDir();

// Writes a working machine configuration under HKLM\SOFTWARE\KORVA\ZUKLib, after deleting
// whatever was there.
void WriteMachineConfig(DWORD mode = kLibraryModeCard, DWORD device = kDeviceReader,
                        DWORD config = kConfigIdRememberedPair);
void SetMachineString(const char *name, const std::string &value);
void SetMachineDword(const char *name, DWORD value);
void DeleteMachineValue(const char *name);

// Puts the sample card (sim/cards/alice.card) on the machine's revocation list, or (false) removes
// the machine's list; true when the registry took it.
bool RevokeSampleCard(bool revoked);

// Writes the INI file of the installation folder (empty content deletes it).
void WriteIni(const std::string &content);

std::string ReadWholeFile(const std::string &path);

// Loads ZUKcntrl.dll from the program folder; FreeLibrary on destruction.
struct LoadedLibrary {
    HMODULE module = nullptr;
    LoadedLibrary();
    ~LoadedLibrary();
    template <typename F>
    F Get(const char *name) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
};

// Starts this test program again with the given arguments (a child role, see main.cpp).
HANDLE StartChild(const std::string &arguments);

#endif
