// The simulated reader's reading of a site key file: the values it takes, the files it refuses, the
// key tables and card keys it makes of one, and a key's check value.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "sim/sim_key_file.h"
#include "sim/sim_reader.h"

namespace {

std::string Digits(int first, int bytes) {
    std::string s;
    char b[3];
    for (int i = 0; i < bytes; ++i) {
        std::snprintf(b, sizeof b, "%02X", (first + i) & 0xFF);
        s += b;
        if (i % 8 == 7) s += ' ';
    }
    return s;
}

std::string File(bool issuer, const std::string &initial = Digits(0x01, 24),
                 const std::string &reader = Digits(0x41, 56),
                 const std::string &mask = Digits(0xC1, 64)) {
    return "\xEF\xBB\xBF# a site\r\nZUKcntrl site keys 1\r\n"
           "initial = " +
           initial +
           "\r\n"
           "operational = " +
           Digits(0x21, 24) +
           "\r\n"
           "reader = " +
           reader +
           "\r\n"
           "mask = " +
           mask + "\r\n" + (issuer ? "issuer = " + Digits(0x81, 88) + "\r\n" : "") +
           "check = 0011223344556677\r\n";
}

TEST(SimKeyFile, TakesTheSetsAndTablesAndRefusesWhatItCannotUse) {
    SimSiteKeys keys;
    std::string error;
    ASSERT_TRUE(SimParseSiteKeys(File(true), &keys, &error)) << error;
    EXPECT_EQ(SimHex(keys.initial, 3), "01 02 03");
    EXPECT_EQ(SimHex(keys.operational + 21, 3), "36 37 38");
    EXPECT_TRUE(keys.hasIssuer);

    std::uint8_t table[SIM_KEY_TABLE_SIZE];
    SimLibraryKeyTable(keys.reader, table);
    EXPECT_EQ(SimHex(table + 8, 9), "49 4A 4B 4C 4D 4E 4F 50 00");  // slot 1, then the empty slot 2
    EXPECT_EQ(SimHex(table + 72, 8), "71 72 73 74 75 76 77 78");    // slot 9: the seventh key
    std::uint8_t fallback[SIM_KEY_TABLE_SIZE];
    std::memset(fallback, 0xEE, sizeof fallback);
    SimCardKeyTable(keys, fallback, table);
    EXPECT_EQ(std::memcmp(table, keys.issuer, sizeof table), 0);
    ASSERT_TRUE(SimParseSiteKeys(File(false), &keys, &error)) << error;
    EXPECT_FALSE(keys.hasIssuer);
    SimCardKeyTable(keys, fallback, table);  // the reader's slots, the fallback's write slots
    EXPECT_EQ(SimHex(table + 8, 9), "49 4A 4B 4C 4D 4E 4F 50 EE");
    EXPECT_EQ(SimHex(table + 80, 8), "EE EE EE EE EE EE EE EE");

    const struct {
        std::string text;
        const char *reason;
    } refused[] = {
        {"initial = " + Digits(0, 24) + "\n", "line 1: not a site key file"},
        {"ZUKcntrl site keys 2\n", "version 2 is not known"},
        {File(true) + "pepper = 00\n", "line 9: unknown name 'pepper'"},
        {File(true) + "reader = 00\n", "repeated name 'reader'"},
        {"ZUKcntrl site keys 1\ninitial = " + Digits(0, 23) + "\n", "'initial' is not 24 bytes"},
        {"ZUKcntrl site keys 1\ninitial = " + Digits(0, 24) + "\n", "no 'operational' value"},
        {"", "empty"},
        // Weak keys, by the library's rule: the simulated reader takes none of them either.
        {File(false, Digits(0x01, 24), Digits(0x41, 56), std::string(128, '0')),
         "weak keys: 'mask' is all zero"},
        {File(false, Digits(0x01, 8) + Digits(0x01, 8) + Digits(0x31, 8)),
         "'initial' KA and KB are the same key"},
        {File(false, Digits(0x01, 24), std::string(112, '0')), "'reader' slot 0 is all zero"},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.reason);
        error.clear();
        EXPECT_FALSE(SimParseSiteKeys(c.text, &keys, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(keys.initial[0], 0);  // nothing of a refused file is kept
    }
}

TEST(SimKeyFile, CheckValueIsDesOfZerosUnderTheKey) {
    const std::uint8_t key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(SimKeyCheckValue(key), "D5D44F");
}

}  // namespace
