// The rule that keeps weak keys out of a site: every reader of site keys (the key file's parser,
// the library's load of its stored keys, the simulated reader's key file) asks it, and zukcli's
// generator draws again until it holds.  Plain bytes in, a kind and a reason out.
//
// Refused: a DES key of all zeros, a DES weak or semi-weak key, two equal keys where the channel or
// a card key group combines them (KA, KB, KC of a channel set, whose pairs drive two-key triple
// DES, would fall back to single DES; slots 0-1 and 3-5 of the card key table), an operational
// set equal to the initial one, and a password mask whose bytes are all the same (all zero leaves
// stored passwords in the clear).  DES ignores the lowest bit of each key byte (its parity bit),
// so keys are compared without it: a key that differs from a weak one only in parity is weak.
#ifndef ZUK_SETTINGS_KEY_STRENGTH_H
#define ZUK_SETTINGS_KEY_STRENGTH_H

#include <cstddef>
#include <cstdint>

enum KeyWeakness {
    kKeyStrong = 0,
    kKeyAllZero,      // a key of eight zero bytes (parity bits aside)
    kKeyDesWeak,      // a DES weak or semi-weak key
    kKeyRepeated,     // two keys that are combined are the same
    kKeySetsEqual,    // the operational channel keys are the initial ones
    kKeyMaskUniform,  // the mask repeats one byte (all zero: passwords stored in the clear)
};

// What the rule found: its kind, the value it is in ("initial", "operational", "reader", "mask",
// "issuer") and a sentence (at most KEY_WEAKNESS_TEXT_SIZE bytes with the terminator).
constexpr std::size_t KEY_WEAKNESS_TEXT_SIZE = 112;
struct KeyWeaknessFound {
    KeyWeakness kind;
    const char *value;
    char reason[KEY_WEAKNESS_TEXT_SIZE];
};

// A short name of a kind ("DES weak key").
const char *KeyWeaknessName(KeyWeakness kind);

// One 8-byte DES key: kKeyStrong, kKeyAllZero or kKeyDesWeak.
KeyWeakness DesKeyWeakness(const std::uint8_t key[8]);

// Whether two DES keys are the same key to DES (their parity bits aside).
bool DesKeysSame(const std::uint8_t a[8], const std::uint8_t b[8]);

// The channel key sets (KA KB KC each, 24 bytes).  Each returns kKeyStrong, or the first weakness
// with *found filled (found may be null).
KeyWeakness ChannelKeysWeakness(const std::uint8_t initial[24], const std::uint8_t operational[24],
                                KeyWeaknessFound *found);
// The card key table's reader slots as a site key file holds them (0, 1, 3, 4, 5, 7, 9: 56 bytes).
KeyWeakness ReaderKeysWeakness(const std::uint8_t reader[56], KeyWeaknessFound *found);
// The issuing table's write slots (2, 6, 8, 10) of its 88 bytes (its other slots are the reader's).
KeyWeakness IssuerWriteKeysWeakness(const std::uint8_t issuer[88], KeyWeaknessFound *found);
// The password mask (64 bytes).
KeyWeakness MaskWeakness(const std::uint8_t mask[64], KeyWeaknessFound *found);

#endif
