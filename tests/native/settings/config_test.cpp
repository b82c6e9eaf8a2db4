// Settings: hexadecimal text, quotes, system code lists, registry reads, and the load rules for
// machine values and INI keys.
#include <cstring>

#include "settings/config.h"
#include "settings/hex.h"
#include "settings/registry.h"
#include "tests/native/support.h"

namespace {

struct HexCase {
    const char *text;
    std::size_t capacity;
    std::size_t expected;
    std::vector<std::uint8_t> bytes;
};

TEST(HexToBytes, ConvertsOrRefusesWhole) {
    const HexCase cases[] = {
        {"8165", 8, 2, {0x81, 0x65}},
        {"12fC", 8, 2, {0x12, 0xFC}},
        {"00010002", 8, 4, {0x00, 0x01, 0x00, 0x02}},
        {"", 8, 0, {}},
        {"816", 8, 0, {}},    // odd length
        {"81 65", 8, 0, {}},  // a space is no digit
        {"81g5", 8, 0, {}},
        {"816500", 2, 0, {}},  // does not fit the destination
        {"-1", 8, 0, {}},
    };
    for (const HexCase &c : cases) {
        std::uint8_t out[8];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(HexToBytes(c.text, out, c.capacity), c.expected) << c.text;
        EXPECT_EQ(std::vector<std::uint8_t>(out, out + c.expected), c.bytes) << c.text;
        if (c.expected == 0) {
            EXPECT_EQ(out[0], 0xEE) << c.text << ": a refusal writes nothing";
        }
    }
}

// The three forms of bytes as text: one case per form and size, each at the exact capacity and
// one byte short of it (refused, the output left empty).
struct BytesToTextCase {
    bool (*format)(const std::uint8_t *, std::size_t, char *, std::size_t);
    std::vector<std::uint8_t> bytes;
    const char *text;
};

TEST(BytesToHex, EveryFormFitsExactlyOrIsRefused) {
    const BytesToTextCase cases[] = {
        {BytesToHex, {0x01, 0x2E, 0xAB, 0xFF}, "012EABFF"},
        {BytesToHex, {}, ""},
        {BytesToLowerHex, {0x01, 0x2E, 0xAB, 0xFF}, "012eabff"},
        {BytesToSpacedHex, {0x01, 0x2E, 0xAB, 0xFF}, "01 2E AB FF"},
        {BytesToSpacedHex, {0x88}, "88"},
        {BytesToSpacedHex, {}, ""},
    };
    for (const BytesToTextCase &c : cases) {
        const std::size_t exact = std::strlen(c.text) + 1;
        char out[32];
        std::memset(out, 'x', sizeof out);
        EXPECT_TRUE(c.format(c.bytes.data(), c.bytes.size(), out, exact)) << c.text;
        EXPECT_STREQ(out, c.text);
        std::memset(out, 'x', sizeof out);
        EXPECT_FALSE(c.format(c.bytes.data(), c.bytes.size(), out, exact - 1)) << c.text;
        if (exact > 1) {
            EXPECT_EQ(out[0], '\0') << c.text << ": a refusal leaves the output empty";
        }
        EXPECT_EQ(out[exact - 1], 'x') << c.text << ": nothing is written past the capacity";
    }
}

TEST(StripQuotes, KeepsTheFirstQuotedOrPlainRun) {
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"\"COM3\"", "COM3"}, {"\"COM3", "COM3"}, {"COM3\"more", "COM3"},
        {"COM3", "COM3"},     {"", ""},           {"\"\"", ""},
        {"a\"b\"c", "a"},
    };
    for (const auto &c : cases) {
        char out[16];
        std::memset(out, 'x', sizeof out);
        EXPECT_TRUE(StripQuotes(c.in, out, sizeof out));
        EXPECT_STREQ(out, c.out) << c.in;
    }
    char small[5];
    EXPECT_TRUE(StripQuotes("\"COM3\"", small, sizeof small));
    EXPECT_FALSE(StripQuotes("COM10", small, sizeof small)) << "must not overrun a 5-byte field";
    EXPECT_STREQ(small, "");
}

TEST(ParseSystemCodes, AcceptsOnlyFourDigitPieces) {
    const struct {
        const char *text;
        std::vector<std::uint8_t> codes;
    } cases[] = {
        {"8165,12fc,0003", {0x81, 0x65, 0x12, 0xFC, 0x00, 0x03}},
        {"0001,0002,0003,0004,0005,0006,0007",
         {0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05}},
        {"81,8165", {0x81, 0x65}},
        {"", {}},
        {",,8165,,", {0x81, 0x65}},
        {"8165 ,FE00", {0xFE, 0x00}},
        {"816500", {}},
    };
    for (const auto &c : cases) {
        LibrarySettings s;
        std::memset(&s, 0xAB, sizeof s);
        ParseSystemCodes(c.text, &s);
        ASSERT_EQ(static_cast<std::size_t>(s.SystemCodeCount) * 2, c.codes.size()) << c.text;
        EXPECT_EQ(
            std::vector<std::uint8_t>(&s.SystemCodes[0][0], &s.SystemCodes[0][0] + c.codes.size()),
            c.codes)
            << c.text;
    }
}

class RegistryRead : public ::testing::Test {
protected:
    void SetUp() override { FakePlatformReset(); }
    void TearDown() override { EXPECT_EQ(FakeRegOpenKeyCount(), 0); }
};

TEST_F(RegistryRead, StringDropsOneTrailingZeroAndHonoursCapacity) {
    const struct {
        std::string stored;
        std::uint32_t capacity;
        long error;
        std::string read;
    } cases[] = {
        {std::string("C:\\Lib\\\0", 8), 1024, 0, "C:\\Lib\\"},
        {"NoZero", 1024, 0, "NoZero"},
        {std::string("ab\0\0", 4), 1024, 0, std::string("ab\0", 3)},
        {"", 1024, 0, ""},
        {"12345678", 8, 0, "12345678"},
        {"123456789", 8, PLAT_ERROR_MORE_DATA, ""},
        {std::string(1025, 'x'), 4096, PLAT_ERROR_MORE_DATA, ""},  // never more than 1024
        {std::string(1024, 'x'), 4096, 0, std::string(1024, 'x')},
    };
    for (const auto &c : cases) {
        FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "V", PLAT_REG_SZ, c.stored);
        std::vector<std::uint8_t> out(c.capacity + 16, 0);
        std::uint32_t length = c.capacity;
        EXPECT_EQ(ReadRegString(PLAT_HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "V", out.data(), &length),
                  c.error);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data()), length), c.read);
        EXPECT_EQ(out[c.capacity], 0) << "wrote past the capacity";
    }
    std::uint8_t out[8];
    std::uint32_t length = sizeof out;
    EXPECT_EQ(ReadRegString(PLAT_HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "Missing", out, &length),
              PLAT_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(length, 0u);
    length = sizeof out;
    EXPECT_EQ(ReadRegString(PLAT_HKEY_LOCAL_MACHINE, "SOFTWARE\\None", "V", out, &length),
              PLAT_ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryRead, WriteStoresExactBytesAndVolatileOnlyOnCreation) {
    const std::uint8_t id[] = {'u', 's', 'e', 'r'};
    ASSERT_EQ(WriteRegString(PLAT_HKEY_CURRENT_USER, "S\\Vol", "Id", id, 4, true), 0);
    std::string bytes;
    std::uint32_t type = 0;
    ASSERT_TRUE(FakeRegGetValue(PLAT_HKEY_CURRENT_USER, "S\\Vol", "Id", &type, &bytes));
    EXPECT_EQ(type, PLAT_REG_SZ);
    EXPECT_EQ(bytes, "user") << "no terminating zero is stored";
    bool isVolatile = false;
    ASSERT_TRUE(FakeRegKeyExists(PLAT_HKEY_CURRENT_USER, "S\\Vol", &isVolatile));
    EXPECT_TRUE(isVolatile);
    ASSERT_EQ(WriteRegString(PLAT_HKEY_CURRENT_USER, "S\\Vol", "Id", id, 2, false), 0);
    FakeRegKeyExists(PLAT_HKEY_CURRENT_USER, "S\\Vol", &isVolatile);
    EXPECT_TRUE(isVolatile) << "the flag has no effect on an existing key";
    EXPECT_EQ(DeleteRegValue(PLAT_HKEY_CURRENT_USER, "S\\Vol", "Id"), 0);
    EXPECT_EQ(DeleteRegValue(PLAT_HKEY_CURRENT_USER, "S\\Vol", "Id"), PLAT_ERROR_FILE_NOT_FOUND);
}

// ---- loading ----

class Load : public LibraryTest {};

TEST_F(Load, MissingOrInvalidMachineValueRefusesTheLoad) {
    const struct {
        const char *what;
        void (*change)();
    } cases[] = {
        {"no InstallPath",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath"); }},
        {"empty InstallPath",
         [] { FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", ""); }},
        {"InstallPath with no room for a terminator",
         [] {
             FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", PLAT_REG_SZ,
                             std::string(1024, 'p'));
         }},
        {"no Mode", [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode"); }},
        {"no Device",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device"); }},
        {"Device 2",
         [] { FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", 2); }},
        {"no Config",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config"); }},
        {"no current user root",
         [] {
             FakeFail(FAKE_CALL_REG_OPEN_CURRENT_USER, FAKE_FAIL_EVERY, PLAT_ERROR_PROC_NOT_FOUND);
         }},
        {"user key cannot be created",
         [] { FakeFail(FAKE_CALL_REG_CREATE_KEY, 1, PLAT_ERROR_ACCESS_DENIED); }},
    };
    for (const auto &c : cases) {
        FakePlatformReset();
        WriteValidMachineConfig();
        c.change();
        EXPECT_FALSE(Reattach()) << c.what;
    }
    FakePlatformReset();
    WriteValidMachineConfig();
    EXPECT_TRUE(Reattach());
    EXPECT_TRUE(FakeRegKeyExists(PLAT_HKEY_CURRENT_USER, ZUK_SETTINGS_KEY))
        << "user key is created";
}

TEST_F(Load, MachineValuesAndConfigGroups) {
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", 0);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", 0x00231);
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "FeliCa", "IDM");
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetDeviceKind(), 0u);
    EXPECT_EQ(GetIdmAsAccount(), 1u);
    EXPECT_EQ(GetInputItems(), 1u);
    EXPECT_EQ(GetRememberItems(), 0x30u);
    EXPECT_EQ(GetRememberStore(), 0x200u);
    EXPECT_EQ(GetReuseBlock(), 0u);
    EXPECT_EQ(GetDialogVariant(), 0u);

    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", 0x10000);
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetInputItems() | GetRememberItems() | GetRememberStore() | GetReuseBlock(), 0u);
    EXPECT_EQ(GetDialogVariant(), 0x10000u);

    for (const char *felica : {"idm", "IDMX", "ID"}) {
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "FeliCa", felica);
        ASSERT_TRUE(Reattach());
        EXPECT_EQ(GetIdmAsAccount(), 0u) << felica;
    }
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "FeliCa");
    EXPECT_TRUE(Reattach()) << "an absent FeliCa value does not stop the load";
}

TEST_F(Load, IniDefaultsWithoutAFile) {
    EXPECT_EQ(GetPollingInterval(), 1000);
    EXPECT_EQ(GetVerifyRetry(), 0);
    EXPECT_STREQ(GetPortName(), "");
    EXPECT_STREQ(GetDeviceName(), "PR300");
    EXPECT_EQ(GetLogMode(), 0);
    EXPECT_EQ(std::string(GetLogFileName()), TestInstallDir() + "ZUKcntrl.log");
    const std::uint8_t *codes = nullptr;
    ASSERT_EQ(GetSystemCodes(&codes), 1);
    EXPECT_EQ(codes[0], 0x81);
    EXPECT_EQ(codes[1], 0x65);
}

TEST_F(Load, IniValuesQuotesAndNegativeRetry) {
    FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                       "[Card]\nPollingInterval=250\nVerifyRetry=-3\n"
                       "[Device]\nPortName=\"COM3\"\nDeviceName=\"PR300\"tail\n"
                       "[Log]\nMode=3\nFileName=\"/tmp/x.log\n"
                       "[FeliCa]\nSystemCode=\"8165,12fc,0003\"\n");
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetPollingInterval(), 250);
    EXPECT_EQ(GetVerifyRetry(), 0);
    EXPECT_STREQ(GetPortName(), "COM3");
    EXPECT_STREQ(GetDeviceName(), "PR300");
    EXPECT_EQ(GetLogMode(), 3);
    EXPECT_STREQ(GetLogFileName(), "/tmp/x.log");
    EXPECT_EQ(GetSystemCodes(nullptr), 3);
}

TEST_F(Load, InstallPathIsAPlainPrefix) {
    // Without a trailing separator the INI name is appended directly; that file does not exist,
    // so the defaults apply.
    FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini", "[Card]\nPollingInterval=250\n");
    std::string bare = TestInstallDir().substr(0, TestInstallDir().size() - 1);
    FakeProfileSetFile(bare + "ZUKcntrl.ini", "[Card]\nPollingInterval=777\n");
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", bare);
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetPollingInterval(), 777);
    EXPECT_EQ(std::string(GetLogFileName()), bare + "ZUKcntrl.log");
}

TEST_F(Load, OverLongTextsAndPathsAreRefusedNotCut) {
    // A 600-character install path: its INI path still fits 1024, the default log name does not
    // fit 512 and is refused (the trace stays off) rather than cut into another file's name.
    std::string longDir = "/" + std::string(598, 'd') + "/";
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", longDir);
    FakeProfileSetFile(longDir + "ZUKcntrl.ini",
                       "[Device]\nPortName=" + std::string(600, 'P') + "\n[Log]\nMode=3\n");
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetLogMode(), 3) << "the INI file was read";
    EXPECT_STREQ(GetLogFileName(), "");
    EXPECT_STREQ(GetPortName(), "");

    std::string tooLong = "/" + std::string(1015, 'e') + "/";  // 1017 + "ZUKcntrl.ini" > 1023
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", tooLong);
    FakeProfileSetFile(tooLong.substr(0, 1011), "[Card]\nPollingInterval=5\n");
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetPollingInterval(), 1000) << "an INI path that does not fit is not read";
}

// ProtectPasswords: only 1 is on; Group Policy wins over the machine value, which wins over the
// INI; a machine value that is not a number of at most four bytes is ignored.  (An unusable policy
// value refuses the load: setting_table_test.cpp.)
TEST_F(Load, ProtectPasswordsFromTheIniTheMachineValueAndPolicy) {
    const std::string none = "-";
    const struct {
        const char *ini;      // [Credentials] ProtectPasswords, or "-"
        std::string machine;  // the machine value's bytes (REG_DWORD when 4), or "-"
        std::string policy;   // the policy value's bytes, or "-"
        bool on;
        SettingSource source;
    } cases[] = {
        {"-", none, none, false, kSourceDefault},
        {"1", none, none, true, kSourceIni},
        {"2", none, none, false, kSourceIni},
        {"0", std::string("\1\0\0\0", 4), none, true, kSourceMachine},
        {"1", std::string("\0\0\0\0", 4), none, false, kSourceMachine},
        {"1", std::string("\2\0\0\0", 4), none, false, kSourceMachine},
        {"1", std::string("\1\0", 2), none, true,
         kSourceMachine},                                     // fewer bytes: still the number 1
        {"1", std::string(8, '\1'), none, true, kSourceIni},  // more than a DWORD: ignored
        {"1", std::string("\1\0\0\0", 4), std::string("\0\0\0\0", 4), false, kSourcePolicy},
        {"0", std::string("\0\0\0\0", 4), std::string("\1\0\0\0", 4), true, kSourcePolicy},
        {"1", none, std::string("\1\0\0\0", 4), true, kSourcePolicy},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("INI ") + c.ini + ", machine " + std::to_string(c.machine.size()) +
                     " bytes, policy " + std::to_string(c.policy.size()) + " bytes");
        FakePlatformReset();
        WriteValidMachineConfig();
        FakeProfileSetFile(
            TestInstallDir() + "ZUKcntrl.ini",
            c.ini == none ? "" : std::string("[Credentials]\nProtectPasswords=") + c.ini + "\n");
        if (c.machine != none) {
            FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "ProtectPasswords",
                            c.machine.size() == 4 ? PLAT_REG_DWORD : PLAT_REG_BINARY, c.machine);
        }
        if (c.policy != none) {
            FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "ProtectPasswords",
                            c.policy.size() == 4 ? PLAT_REG_DWORD : PLAT_REG_BINARY, c.policy);
        }
        ASSERT_TRUE(Reattach());
        EXPECT_EQ(GetProtectPasswords(), c.on);
        EXPECT_EQ(GetSettingSource(kPolicyProtectPasswords), c.source);
    }
    // The machine value found at one load does not outlive it: the INI's 1 counts at the next.
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "ProtectPasswords");
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "ProtectPasswords", 0);
    ASSERT_EQ(LoadRegistryConfig(), kRegistryConfigOk);
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "ProtectPasswords");
    ASSERT_EQ(LoadRegistryConfig(), kRegistryConfigOk);
    LoadIniSettings(GetInstallPath());
    EXPECT_TRUE(GetProtectPasswords());
    EXPECT_EQ(GetSettingSource(kPolicyProtectPasswords), kSourceIni);
}

}  // namespace
