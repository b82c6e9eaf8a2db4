// Check values of a site's keys: a few bytes that tell whether two copies of a key (a key file, a
// reader's provisioning, another file) agree, without showing the key.
#ifndef ZUK_CARD_KEY_CHECKS_H
#define ZUK_CARD_KEY_CHECKS_H

#include <cstddef>
#include <cstdint>

#include "settings/site_keys.h"

constexpr std::size_t KEY_CHECK_VALUE_SIZE = 3;

struct KeyCheckValue {
    char label[20];  // "initial KA", "reader slot 3", "mask", "issuer slot 2"
    std::uint8_t value[KEY_CHECK_VALUE_SIZE];
};

// Three channel keys in each set, the reader's seven slots, the mask and the issuing table's four
// write slots.
constexpr int KEY_CHECK_MAX = 3 + 3 + SITE_READER_SLOT_COUNT + 1 + SITE_WRITE_SLOT_COUNT;

// Fills out with the check value of each key of keys and returns how many: for every 8-byte DES
// key (KA, KB and KC of the two channel key sets, each slot of the card key table) the first three
// bytes of its DES encryption of eight zero bytes, the usual key check value; for the mask the
// first three bytes of its SHA-256.  The issuing table adds only its write slots (its other slots
// are the reader's).
int SiteKeyCheckValues(const SiteKeys &keys, KeyCheckValue out[KEY_CHECK_MAX]);

// The check value of one 8-byte DES key.
void DesKeyCheckValue(const std::uint8_t key[8], std::uint8_t value[KEY_CHECK_VALUE_SIZE]);

#endif
