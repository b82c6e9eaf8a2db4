// The rule of weak keys: the published DES weak and semi-weak keys, checked against DES itself
// (a weak key encrypts back to the plain text, a semi-weak key's partner undoes it), are refused
// also with other parity bits, and ordinary keys are not.
#include <cstring>
#include <string>

#include "link/des.h"
#include "settings/key_strength.h"
#include "tests/native/support.h"

namespace {

struct Pair {
    const char *key;
    const char *partner;  // the key whose encryption undoes this one's (itself for a weak key)
};

const Pair kPublished[] = {
    {"0101010101010101", "0101010101010101"}, {"FEFEFEFEFEFEFEFE", "FEFEFEFEFEFEFEFE"},
    {"E0E0E0E0F1F1F1F1", "E0E0E0E0F1F1F1F1"}, {"1F1F1F1F0E0E0E0E", "1F1F1F1F0E0E0E0E"},
    {"01FE01FE01FE01FE", "FE01FE01FE01FE01"}, {"1FE01FE00EF10EF1", "E01FE01FF10EF10E"},
    {"01E001E001F101F1", "E001E001F101F101"}, {"1FFE1FFE0EFE0EFE", "FE1FFE1FFE0EFE0E"},
    {"011F011F010E010E", "1F011F010E010E01"}, {"E0FEE0FEF1FEF1FE", "FEE0FEE0FEF1FEF1"},
};

void Key(const char *hex, std::uint8_t key[8]) {
    for (int i = 0; i < 8; ++i)
        key[i] = static_cast<std::uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
}

void Encrypt(const std::uint8_t key[8], const std::uint8_t in[8], std::uint8_t out[8]) {
    static const std::uint8_t kZero[8] = {0};
    ASSERT_TRUE(DesCbcEncrypt(key, kZero, in, 8, out));
}

TEST(KeyStrength, PublishedWeakAndSemiWeakKeysAreRefusedWhateverTheirParity) {
    const std::uint8_t plain[8] = {0x4E, 0x6F, 0x77, 0x20, 0x69, 0x73, 0x20, 0x74};
    for (const Pair &p : kPublished) {
        for (const char *hex : {p.key, p.partner}) {
            SCOPED_TRACE(hex);
            std::uint8_t key[8], partner[8], once[8], twice[8];
            Key(hex, key);
            Key(hex == p.key ? p.partner : p.key, partner);
            // What makes the key weak: its partner's encryption undoes its own.
            Encrypt(key, plain, once);
            Encrypt(partner, once, twice);
            EXPECT_EQ(std::memcmp(twice, plain, 8), 0) << "not a weak pair to DES";
            // 0101010101010101 is the zero key with its parity bits set: refused as all zero.
            const KeyWeakness expected =
                std::string(hex) == "0101010101010101" ? kKeyAllZero : kKeyDesWeak;
            EXPECT_EQ(DesKeyWeakness(key), expected);
            for (int i = 0; i < 8; ++i) key[i] ^= 0x01;  // DES reads no parity bit
            EXPECT_EQ(DesKeyWeakness(key), expected) << "with the parity bits flipped";
        }
    }
    // Ordinary keys, and a key one bit away from a weak one, pass.
    std::uint8_t key[8];
    for (int n = 0; n < 2000; ++n) {
        for (int i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(n * 131 + i * 29 + 7);
        EXPECT_EQ(DesKeyWeakness(key), kKeyStrong) << n;
    }
    Key("0101010101010103", key);
    EXPECT_EQ(DesKeyWeakness(key), kKeyStrong);
    std::memset(key, 0, sizeof key);
    EXPECT_EQ(DesKeyWeakness(key), kKeyAllZero);
}

TEST(KeyStrength, FoundNamesTheValueAndFitsItsText) {
    std::uint8_t initial[24], operational[24];
    for (int i = 0; i < 24; ++i) {
        initial[i] = static_cast<std::uint8_t>(0x10 + i);
        operational[i] = static_cast<std::uint8_t>(0x50 + i);
    }
    KeyWeaknessFound found;
    EXPECT_EQ(ChannelKeysWeakness(initial, operational, &found), kKeyStrong);
    std::memcpy(operational + 8, operational + 16, 8);
    EXPECT_EQ(ChannelKeysWeakness(initial, operational, &found), kKeyRepeated);
    EXPECT_STREQ(found.value, "operational");
    EXPECT_STREQ(found.reason,
                 "'operational' KB and KC are the same key (the channel would be single DES)");
    EXPECT_EQ(ChannelKeysWeakness(initial, operational, nullptr), kKeyRepeated)
        << "no record to fill";
    std::uint8_t mask[64] = {0};
    EXPECT_EQ(MaskWeakness(mask, &found), kKeyMaskUniform);
    EXPECT_LT(std::strlen(found.reason), KEY_WEAKNESS_TEXT_SIZE);
}

}  // namespace
