// Loading ZUKcntrl.dll under Wine: its exports, and the machine settings that refuse the load.
#include <gtest/gtest.h>

#include "ZUKcntrl.h"
#include "tests/wine/support/wine_support.h"
#include "tests/result_expect.h"

namespace {

typedef int(ZUKAPI *VersionFn)(int *);
typedef int(ZUKAPI *ModeFn)(int *, int);

class Load : public ::testing::Test {
protected:
    void SetUp() override {
        WriteMachineConfig();
        WriteIni("");
    }
};

TEST_F(Load, ValidSettingsLoadAndAnswer) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr) << GetLastError();
    VersionFn version = lib.Get<VersionFn>("ZUKGetLibVersion");
    ModeFn mode = lib.Get<ModeFn>("ZUKGetLibMode");
    ASSERT_NE(version, nullptr);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(lib.Get<VersionFn>("ZUKGetLibVersion@4"), nullptr) << "names are undecorated";
    int v = 0, m = 0;
    EXPECT_RESULT(version(&v), ZUK_OK);
    EXPECT_EQ(v, 0x00030100);
    EXPECT_RESULT(mode(&m, 99), ZUK_OK);
    EXPECT_EQ(m, 256);
}

TEST_F(Load, MissingOrInvalidMachineValuesRefuseTheLoad) {
    const struct {
        const char *what;
        void (*change)();
    } cases[] = {
        {"no InstallPath", [] { DeleteMachineValue("InstallPath"); }},
        {"empty InstallPath", [] { SetMachineString("InstallPath", ""); }},
        {"no Mode", [] { DeleteMachineValue("Mode"); }},
        {"no Device", [] { DeleteMachineValue("Device"); }},
        {"Device 2", [] { SetMachineDword("Device", 2); }},
        {"no Config", [] { DeleteMachineValue("Config"); }},
    };
    for (const auto &c : cases) {
        WriteMachineConfig();
        c.change();
        LoadedLibrary lib;
        EXPECT_EQ(lib.module, nullptr) << c.what;
    }
    WriteMachineConfig(kLibraryModeCardOrTyped, kDeviceNone, kDialogVariantMaskedId);
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr) << "Device 0 loads";
    int m = 0;
    EXPECT_RESULT(lib.Get<ModeFn>("ZUKGetLibMode")(&m, 0), ZUK_OK);
    EXPECT_EQ(m, 768);
}

TEST_F(Load, CreatesTheUserKey) {
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\KORVA\\ZUKLib\\Volatile");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\KORVA\\ZUKLib\\NonVolatile");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\KORVA\\ZUKLib");
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\KORVA\\ZUKLib", 0, KEY_READ, &key), 0);
    if (key) RegCloseKey(key);
}

TEST_F(Load, ModeZeroStillReportsVersionAsDisabledAfterCancel) {
    // Mode 0 loads; ZUKGetLibMode answers 0 without refusing.
    WriteMachineConfig(kLibraryModeOff);
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    int m = 5;
    EXPECT_RESULT(lib.Get<ModeFn>("ZUKGetLibMode")(&m, 0), ZUK_OK);
    EXPECT_EQ(m, 0);
}

}  // namespace
