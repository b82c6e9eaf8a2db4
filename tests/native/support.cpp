// Shared fixture of the native tests.
#include "tests/native/support.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "api/frame.h"
#include "settings/config.h"
#include "settings/messages.h"

std::string TestInstallDir() {
    static std::string dir = [] {
        char pattern[] = "/tmp/zuk-native-XXXXXX";
        const char *made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp") + "/";
    }();
    return dir;
}

void WriteValidMachineConfig() {
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", TestInstallDir());
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode", 256);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", 1);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", 0x231);
}

void LibraryTest::SetUp() {
    FakePlatformReset();
    ResetSettings();
    ClearMessageTexts();
    WriteValidMachineConfig();
    ASSERT_TRUE(LibraryAttach(nullptr));
}

void LibraryTest::TearDown() {
    EXPECT_FALSE(ApiIsBusy()) << "a test left the frame busy";
    ReleasePortMutex();
    LibraryDetach();
    EXPECT_EQ(FakeRegOpenKeyCount(), 0) << "a registry key was left open";
}

bool LibraryTest::Reattach() {
    ResetSettings();
    ClearMessageTexts();
    return LibraryAttach(nullptr);
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}
