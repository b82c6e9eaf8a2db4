// The registry helpers and the INI reading against Wine's real registry and private-profile files.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "settings/config.h"
#include "settings/ini_file.h"
#include "settings/registry.h"
#include "tests/wine/support/wine_support.h"

namespace {

const char kTestKey[] = "SOFTWARE\\KORVA\\ZUKTest";

TEST(RealRegistry, StringReadsDropOneZeroAndRespectCapacity) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              0);
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
                                reinterpret_cast<std::uint8_t *>(&out[0]), &length),
                  c.error);
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

    WriteIni(
        "[Card]\r\nPollingInterval=50\r\nVerifyRetry=-3\r\n[Device]\r\nPortName=\"COM3\"tail\r\n"
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

// Every answer the one-piece reading gives itself is the one the platform's private-profile
// reading gives for the same file; what it leaves undecided is left to the platform.
TEST(RealIni, OnePieceReadingAgreesWithThePlatform) {
    static IniText ini;
    const std::string path = InstallDir() + "agree.ini";
    const char *files[] = {
        "[Card]\r\nPollingInterval=50\r\nVerifyRetry=-3\r\n",
        "top=1\n[card]\n  POLLINGINTERVAL =  75  \nverifyretry=\n; VerifyRetry=9\n[Device]\n"
        "PortName = COM 3\t\nDeviceName=\"PR300\"tail\n[Log]\nMode=12a\nFileName='x.log'\n",
        "[Device]\nPortName=A\nPortName=B\n[Card]\nPollingInterval=0x10\n[card]\nVerifyRetry=1\n",
        "\xEF\xBB\xBF[Card]\nPollingInterval=5\n",
    };
    const char *keys[][2] = {
        {"Card", "PollingInterval"}, {"Card", "VerifyRetry"}, {"Device", "PortName"},
        {"Device", "DeviceName"},    {"Log", "Mode"},         {"Log", "FileName"},
        {"Prompt", "Unattended"}};
    int decided = 0;
    for (const char *content : files) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        if (!IniTextLoad(&ini, path.c_str())) continue;
        for (const auto &k : keys) {
            char ours[64] = {0}, platform[64] = {0};
            GetPrivateProfileStringA(k[0], k[1], "<default>", platform, sizeof platform,
                                     path.c_str());
            IniAnswer answer = IniTextString(&ini, k[0], k[1], ours, sizeof ours);
            if (answer == kIniFound) {
                EXPECT_STREQ(ours, platform) << content << k[1];
            } else if (answer == kIniAbsent) {
                EXPECT_STREQ(platform, "<default>") << content << k[1];
            }
            std::int32_t number = -77;
            answer = IniTextInt(&ini, k[0], k[1], &number);
            if (answer != kIniUndecided) {
                EXPECT_EQ(static_cast<UINT>(number),
                          GetPrivateProfileIntA(k[0], k[1], -77, path.c_str()))
                    << content << k[1];
            }
            decided += answer != kIniUndecided;
        }
    }
    EXPECT_GT(decided, 10) << "the plain files were answered without the platform";
    DeleteFileA(path.c_str());
}

}  // namespace
