// The registry helpers and the INI reading against Wine's real registry and private-profile files.
#include <gtest/gtest.h>

#include <string>

#include "settings/config.h"
#include "settings/registry.h"
#include "tests/wine/support/wine_support.h"

namespace {

const char kTestKey[] = "SOFTWARE\\KORVA\\ZUKTest";

TEST(RealRegistry, StringReadsDropOneZeroAndRespectCapacity) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr), 0);
    const struct {
        std::string stored;
        DWORD type;
        std::uint32_t capacity;
        long error;
        std::string read;
    } cases[] = {
        {std::string("C:\\Lib\\\0", 8), REG_SZ, 1024, 0, "C:\\Lib\\"},
        {"NoZero", REG_SZ, 1024, 0, "NoZero"},
        {"123456789", REG_BINARY, 8, ERROR_MORE_DATA, ""},
        {std::string(2000, 'x'), REG_BINARY, 4096, ERROR_MORE_DATA, ""},
    };
    for (const auto &c : cases) {
        RegSetValueExA(key, "V", 0, c.type, reinterpret_cast<const BYTE *>(c.stored.data()),
                       static_cast<DWORD>(c.stored.size()));
        std::string out(c.capacity + 8, '\0');
        std::uint32_t length = c.capacity;
        EXPECT_EQ(ReadRegString(PLAT_HKEY_CURRENT_USER, kTestKey, "V",
                                reinterpret_cast<std::uint8_t *>(&out[0]), &length), c.error);
        EXPECT_EQ(out.substr(0, length), c.read);
        EXPECT_EQ(out[c.capacity], '\0');
    }
    const std::uint8_t bytes[] = {'a', 'b', 'c'};
    ASSERT_EQ(WriteRegString(PLAT_HKEY_CURRENT_USER, kTestKey, "W", bytes, 3, false), 0);
    BYTE back[8] = {0};
    DWORD size = sizeof back, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "W", nullptr, &type, back, &size), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 3u) << "stored without a terminating zero";
    EXPECT_EQ(DeleteRegValue(PLAT_HKEY_CURRENT_USER, kTestKey, "W"), 0);
    EXPECT_NE(DeleteRegValue(PLAT_HKEY_CURRENT_USER, kTestKey, "W"), 0);
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
}

TEST(RealIni, DefaultsQuotesAndNegativeRetry) {
    WriteIni("");
    LoadIniSettings(InstallDir().c_str());
    EXPECT_EQ(GetPollingInterval(), 1000);
    EXPECT_STREQ(GetDeviceName(), "PR300");
    EXPECT_EQ(std::string(GetLogFileName()), InstallDir() + "ZUKcntrl.log");
    EXPECT_EQ(GetSystemCodes(nullptr), 1);

    WriteIni("[Card]\r\nPollingInterval=50\r\nVerifyRetry=-3\r\n[Device]\r\nPortName=\"COM3\"tail\r\n"
             "[FeliCa]\r\nSystemCode=8165,12fc,0003,81\r\n");
    LoadIniSettings(InstallDir().c_str());
    EXPECT_EQ(GetPollingInterval(), 50);
    EXPECT_EQ(GetVerifyRetry(), 0);
    EXPECT_STREQ(GetPortName(), "COM3");
    EXPECT_EQ(GetSystemCodes(nullptr), 3);

    std::string bare = InstallDir().substr(0, InstallDir().size() - 1);  // no trailing separator
    LoadIniSettings(bare.c_str());
    EXPECT_EQ(GetPollingInterval(), 1000) << bare << "ZUKcntrl.ini does not exist";
    EXPECT_EQ(std::string(GetLogFileName()), bare + "ZUKcntrl.log");
    WriteIni("");
}

}  // namespace
