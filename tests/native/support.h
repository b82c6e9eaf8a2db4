// Shared fixture of the native tests: a clean in-memory platform with a valid library
// configuration, loaded the way the library's attach loads it.
#ifndef ZUK_TESTS_NATIVE_SUPPORT_H
#define ZUK_TESTS_NATIVE_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/fake/fake_platform.h"

// The installation directory the tests use (a real folder: the trace and catalogue use files).
std::string TestInstallDir();

// Writes the machine values of a working configuration (Mode 256, Device 1, Config 0x231).
void WriteValidMachineConfig();

// Resets platform, settings, catalogue and frame; writes a valid configuration; attaches.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Reloads the library after the test changed the registry or INI files.
    bool Reattach();
};

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &content);

#endif
