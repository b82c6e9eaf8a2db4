// Key check values: the published DES value of zeros, and which keys of a site get one.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "card/key_checks.h"
#include "settings/hex.h"
#include "settings/sha256.h"

namespace {

std::string Hex(const std::uint8_t *bytes, std::size_t size) {
    std::vector<char> text(2 * size + 1);
    EXPECT_TRUE(BytesToHex(bytes, size, text.data(), text.size()));
    return text.data();
}

TEST(KeyCheckValue, IsTheStartOfDesOfZeros) {
    const struct {
        std::uint8_t key[8];
        const char *value;
    } cases[] = {
        // DES(0123456789ABCDEF, 0000000000000000) = D5D44FF720683D0D.
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "D5D44F"},
        // DES(C3A15E0792D44B68, 0) = 8BE8A06196B12400.
        {{0xC3, 0xA1, 0x5E, 0x07, 0x92, 0xD4, 0x4B, 0x68}, "8BE8A0"},
        // The parity bits are not part of a DES key: the same value.
        {{0x00, 0x22, 0x44, 0x66, 0x88, 0xAA, 0xCC, 0xEE}, "D5D44F"},
    };
    for (const auto &c : cases) {
        std::uint8_t value[KEY_CHECK_VALUE_SIZE];
        DesKeyCheckValue(c.key, value);
        EXPECT_EQ(Hex(value, sizeof value), c.value) << Hex(c.key, 8);
    }
}

TEST(KeyCheckValue, EveryKeyOfASiteHasOneAndNoneShowsAKey) {
    SiteKeys keys;
    std::memset(&keys, 0, sizeof keys);
    for (std::size_t i = 0; i < sizeof keys; ++i)
        reinterpret_cast<std::uint8_t *>(&keys)[i] = static_cast<std::uint8_t>(i * 29 + 1);
    for (bool issuer : {false, true}) {
        SCOPED_TRACE(issuer);
        keys.hasIssuer = issuer;
        KeyCheckValue values[KEY_CHECK_MAX];
        const int count = SiteKeyCheckValues(keys, values);
        ASSERT_EQ(count, issuer ? KEY_CHECK_MAX : KEY_CHECK_MAX - SITE_WRITE_SLOT_COUNT);
        std::string labels;
        for (int i = 0; i < count; ++i) labels += std::string(values[i].label) + ",";
        EXPECT_EQ(
            labels,
            std::string(
                "initial KA,initial KB,initial KC,operational KA,operational KB,operational KC,"
                "reader slot 0,reader slot 1,reader slot 3,reader slot 4,reader slot 5,"
                "reader slot 7,reader slot 9,mask,") +
                (issuer ? "issuer slot 2,issuer slot 6,issuer slot 8,issuer slot 10," : ""));
        // Each value is its key's: the channel keys in order, the reader slots in the table's
        // order.
        std::uint8_t expected[KEY_CHECK_VALUE_SIZE];
        DesKeyCheckValue(keys.initial + 16, expected);
        EXPECT_EQ(Hex(values[2].value, 3), Hex(expected, 3));
        DesKeyCheckValue(keys.operational, expected);
        EXPECT_EQ(Hex(values[3].value, 3), Hex(expected, 3));
        DesKeyCheckValue(keys.reader + 8 * 6, expected);
        EXPECT_EQ(Hex(values[12].value, 3), Hex(expected, 3));
        std::uint8_t digest[SHA256_SIZE];
        Sha256(keys.mask, sizeof keys.mask, digest);
        EXPECT_EQ(Hex(values[13].value, 3), Hex(digest, 3));
        if (issuer) {
            DesKeyCheckValue(keys.issuer + 8 * 10, expected);
            EXPECT_EQ(Hex(values[17].value, 3), Hex(expected, 3));
        }
        // Different keys, different values; and no value is a run of a key's own bytes.
        std::set<std::string> seen;
        const std::string all = Hex(reinterpret_cast<const std::uint8_t *>(&keys), sizeof keys);
        for (int i = 0; i < count; ++i) {
            const std::string v = Hex(values[i].value, 3);
            EXPECT_TRUE(seen.insert(v).second) << values[i].label;
            EXPECT_EQ(all.find(v), std::string::npos) << values[i].label;
        }
    }
}

}  // namespace
