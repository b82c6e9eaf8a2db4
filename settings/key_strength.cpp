// Weak site keys: the DES weak and semi-weak keys, keys that repeat where they are combined, a
// uniform mask.
#include "settings/key_strength.h"

#include <cstdio>

namespace {

// The four weak and twelve semi-weak DES keys (with odd parity; compared without the parity bit).
const std::uint8_t kDesWeakKeys[16][8] = {
    {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01},
    {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE},
    {0xE0, 0xE0, 0xE0, 0xE0, 0xF1, 0xF1, 0xF1, 0xF1},
    {0x1F, 0x1F, 0x1F, 0x1F, 0x0E, 0x0E, 0x0E, 0x0E},
    {0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE},
    {0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01},
    {0x1F, 0xE0, 0x1F, 0xE0, 0x0E, 0xF1, 0x0E, 0xF1},
    {0xE0, 0x1F, 0xE0, 0x1F, 0xF1, 0x0E, 0xF1, 0x0E},
    {0x01, 0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1},
    {0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1, 0x01},
    {0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E, 0xFE},
    {0xFE, 0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E},
    {0x01, 0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E},
    {0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E, 0x01},
    {0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1, 0xFE},
    {0xFE, 0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1},
};

const char *const kChannelKeyNames[3] = {"KA", "KB", "KC"};
// The slots of the reader keys in a site key file's order, and the groups the card combines.
const int kReaderSlots[7] = {0, 1, 3, 4, 5, 7, 9};
const int kWriteSlots[4] = {2, 6, 8, 10};

// Fills *found (when given) with the kind, the value and the reason, and returns the kind (a
// macro, so that the compiler checks each format against its arguments).
#define FOUND(what, where, ...)                                                                    \
    do {                                                                                           \
        if (found) {                                                                               \
            found->kind = (what);                                                                  \
            found->value = (where);                                                                \
            std::snprintf(found->reason, sizeof found->reason, __VA_ARGS__);                       \
        }                                                                                          \
        return (what);                                                                             \
    } while (0)

// One key of a value, named by label ("KA", "slot 3").
KeyWeakness OneKey(const std::uint8_t key[8], const char *value, const char *label,
                   KeyWeaknessFound *found) {
    switch (DesKeyWeakness(key)) {
    case kKeyAllZero: FOUND(kKeyAllZero, value, "'%s' %s is all zero", value, label);
    case kKeyDesWeak:
        FOUND(kKeyDesWeak, value, "'%s' %s is a DES weak or semi-weak key", value, label);
    case kKeyStrong:
    case kKeyRepeated:
    case kKeySetsEqual:
    case kKeyMaskUniform: break;
    }
    return kKeyStrong;
}

KeyWeakness ChannelSet(const std::uint8_t keys[24], const char *value, KeyWeaknessFound *found) {
    for (int i = 0; i < 3; ++i) {
        const KeyWeakness kind = OneKey(keys + 8 * i, value, kChannelKeyNames[i], found);
        if (kind != kKeyStrong) return kind;
    }
    // Each pair (KA KB, KB KC, KC KA) keys two-key triple DES: an equal pair is single DES.
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        if (DesKeysSame(keys + 8 * i, keys + 8 * j)) {
            FOUND(kKeyRepeated, value,
                  "'%s' %s and %s are the same key (the channel would be single DES)", value,
                  kChannelKeyNames[i < j ? i : j], kChannelKeyNames[i < j ? j : i]);
        }
    }
    return kKeyStrong;
}

}  // namespace

const char *KeyWeaknessName(KeyWeakness kind) {
    switch (kind) {
    case kKeyStrong: return "strong";
    case kKeyAllZero: return "all-zero key";
    case kKeyDesWeak: return "DES weak key";
    case kKeyRepeated: return "repeated key";
    case kKeySetsEqual: return "operational keys equal the initial ones";
    case kKeyMaskUniform: return "uniform mask";
    }
    return "?";
}

bool DesKeysSame(const std::uint8_t a[8], const std::uint8_t b[8]) {
    std::uint8_t differ = 0;
    for (int i = 0; i < 8; ++i) differ = static_cast<std::uint8_t>(differ | ((a[i] ^ b[i]) & 0xFE));
    return differ == 0;
}

KeyWeakness DesKeyWeakness(const std::uint8_t key[8]) {
    std::uint8_t any = 0;
    for (int i = 0; i < 8; ++i) any = static_cast<std::uint8_t>(any | (key[i] & 0xFE));
    if (any == 0) return kKeyAllZero;
    for (const auto &weak : kDesWeakKeys) {
        if (DesKeysSame(key, weak)) return kKeyDesWeak;
    }
    return kKeyStrong;
}

KeyWeakness ChannelKeysWeakness(const std::uint8_t initial[24], const std::uint8_t operational[24],
                                KeyWeaknessFound *found) {
    KeyWeakness kind = ChannelSet(initial, "initial", found);
    if (kind == kKeyStrong) kind = ChannelSet(operational, "operational", found);
    if (kind != kKeyStrong) return kind;
    bool same = true;
    for (int i = 0; i < 3; ++i) same = DesKeysSame(initial + 8 * i, operational + 8 * i) && same;
    if (same) {
        FOUND(kKeySetsEqual, "operational",
              "'operational' is the initial key set (parity bits aside): the channel would never "
              "change keys");
    }
    return kKeyStrong;
}

KeyWeakness ReaderKeysWeakness(const std::uint8_t reader[56], KeyWeaknessFound *found) {
    char label[16];
    for (int i = 0; i < 7; ++i) {
        std::snprintf(label, sizeof label, "slot %d", kReaderSlots[i]);
        const KeyWeakness kind = OneKey(reader + 8 * i, "reader", label, found);
        if (kind != kKeyStrong) return kind;
    }
    // The card combines slots 0-1 (16 bytes) and 3-5 (24 bytes) into triple-DES keys.
    const int pairs[4][2] = {{0, 1}, {2, 3}, {3, 4}, {2, 4}};
    for (const auto &p : pairs) {
        if (DesKeysSame(reader + 8 * p[0], reader + 8 * p[1])) {
            FOUND(kKeyRepeated, "reader",
                  "'reader' slots %d and %d are the same key (their group would be single DES)",
                  kReaderSlots[p[0]], kReaderSlots[p[1]]);
        }
    }
    return kKeyStrong;
}

KeyWeakness IssuerWriteKeysWeakness(const std::uint8_t issuer[88], KeyWeaknessFound *found) {
    char label[16];
    for (int slot : kWriteSlots) {
        std::snprintf(label, sizeof label, "slot %d", slot);
        const KeyWeakness kind = OneKey(issuer + 8 * slot, "issuer", label, found);
        if (kind != kKeyStrong) return kind;
    }
    return kKeyStrong;
}

KeyWeakness MaskWeakness(const std::uint8_t mask[64], KeyWeaknessFound *found) {
    std::uint8_t differ = 0;
    for (int i = 1; i < 64; ++i) differ = static_cast<std::uint8_t>(differ | (mask[i] ^ mask[0]));
    if (differ != 0) return kKeyStrong;
    if (mask[0] == 0)
        FOUND(kKeyMaskUniform, "mask",
              "'mask' is all zero: remembered passwords would be stored in the clear");
    FOUND(kKeyMaskUniform, "mask",
          "'mask' repeats one byte: it would hide nothing of a remembered password");
}
