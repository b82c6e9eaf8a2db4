// The INI file read in one piece: what it answers itself, and what it leaves to the platform.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "settings/ini_file.h"
#include "tests/native/support.h"

namespace {

std::string WriteFile(const std::string &content) {
    std::string path = TestInstallDir() + "ini_file_test.ini";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
    return path;
}

IniText g_ini;  // as the library keeps it: process-wide, too large for a test's stack frame

TEST(IniText, OnlyPlainFilesAreTaken) {
    const struct {
        std::string content;
        bool taken;
    } cases[] = {
        {"", true},
        {"[Card]\r\nPollingInterval=5\r\n; note\r\n\r\n[Log]\r\n  Mode = 1  \r\n", true},
        {"stray=1\n[Card]\nx=\n", true},
        {"\xEF\xBB\xBF[Card]\nx=1\n", false},  // UTF-8 byte-order mark
        {"\xFF\xFE[\0C\0]\0", false},          // UTF-16
        {std::string("[Card]\nx=1\0\n", 12), false},
        {"[Card] ; note\nx=1\n", false},  // text after the section's bracket
        {"[ Card ]\nx=1\n", false},       // blanks inside the brackets
        {"[Card\nx=1\n", false},
        {"[Card]\nPollingInterval\n", false},  // a key without '='
        {std::string(kIniTextCapacity, '\n'), false},
        {std::string(kIniTextCapacity - 1, '\n'), true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(IniTextLoad(&g_ini, WriteFile(c.content).c_str()), c.taken) << c.content;
        if (!c.taken) {
            EXPECT_EQ(g_ini.length, 0u);
        }
    }
    EXPECT_FALSE(IniTextLoad(&g_ini, (TestInstallDir() + "missing.ini").c_str()));
    EXPECT_FALSE(IniTextLoad(&g_ini, ""));
}

TEST(IniText, LookUps) {
    ASSERT_TRUE(
        IniTextLoad(&g_ini, WriteFile("PortName=before any section\r\n"
                                      "[card]\r\nPOLLINGINTERVAL = 250 \r\nVerifyRetry=-3\r\n"
                                      "Big=1234567890\r\nHex=0x10\r\nWord=12a\r\nEmpty=\r\n"
                                      "; PortName=commented\r\n"
                                      "[Device]\r\n\tPortName=\tCOM 3\t\r\nDeviceName=\"PR300\"\r\n"
                                      "Twice=1\r\nTwice=2\r\nSmall=abcdefgh\r\n"
                                      "[Log]\r\nMode=1\r\n[log]\r\nMode=2\r\n")
                                .c_str()));
    const struct {
        const char *section, *key;
        IniAnswer answer;
        const char *text;
    } strings[] = {
        {"Card", "PollingInterval", kIniFound, "250"},
        {"Card", "Empty", kIniFound, ""},
        {"Card", "Missing", kIniAbsent, ""},
        {"Prompt", "Unattended", kIniAbsent, ""},
        {"Device", "PortName", kIniFound, "COM 3"},
        {"Device", "DeviceName", kIniUndecided, ""},  // quotes: the platform's rules apply
        {"Device", "Twice", kIniUndecided, ""},
        {"Log", "Mode", kIniUndecided, ""},      // the section twice
        {"Device", "Small", kIniUndecided, ""},  // does not fit the 8-byte buffer below
    };
    for (const auto &c : strings) {
        char out[8] = "unset";
        EXPECT_EQ(IniTextString(&g_ini, c.section, c.key, out, sizeof out), c.answer) << c.key;
        if (c.answer == kIniFound) {
            EXPECT_STREQ(out, c.text) << c.key;
        }
    }
    const struct {
        const char *key;
        IniAnswer answer;
        std::int32_t value;
    } numbers[] = {
        {"PollingInterval", kIniFound, 250}, {"VerifyRetry", kIniFound, -3},
        {"Big", kIniUndecided, 0},           {"Hex", kIniUndecided, 0},
        {"Word", kIniUndecided, 0},          {"Empty", kIniUndecided, 0},
        {"Missing", kIniAbsent, 0},
    };
    for (const auto &c : numbers) {
        std::int32_t value = 77;
        EXPECT_EQ(IniTextInt(&g_ini, "CARD", c.key, &value), c.answer) << c.key;
        EXPECT_EQ(value, c.answer == kIniFound ? c.value : 77) << c.key;
    }
}

}  // namespace
