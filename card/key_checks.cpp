// Key check values: DES of zeros for keys, SHA-256 for the mask.
#include "card/key_checks.h"

#include <cstdio>
#include <cstring>

#include "link/des.h"
#include "settings/sha256.h"

namespace {

void Add(KeyCheckValue out[], int *count, const char *label,
         const std::uint8_t value[KEY_CHECK_VALUE_SIZE]) {
    KeyCheckValue &item = out[(*count)++];
    std::snprintf(item.label, sizeof item.label, "%s", label);
    std::memcpy(item.value, value, KEY_CHECK_VALUE_SIZE);
}

void AddKey(KeyCheckValue out[], int *count, const char *label, const std::uint8_t key[8]) {
    std::uint8_t value[KEY_CHECK_VALUE_SIZE];
    DesKeyCheckValue(key, value);
    Add(out, count, label, value);
}

}  // namespace

void DesKeyCheckValue(const std::uint8_t key[8], std::uint8_t value[KEY_CHECK_VALUE_SIZE]) {
    static const std::uint8_t kZeros[DES_BLOCK_SIZE] = {0};
    std::uint8_t block[DES_BLOCK_SIZE];
    // One block of CBC under a zero initialisation vector is ECB.
    if (!DesCbcEncrypt(key, kZeros, kZeros, sizeof block, block))
        std::memset(block, 0, sizeof block);
    std::memcpy(value, block, KEY_CHECK_VALUE_SIZE);
    SecureWipe(block, sizeof block);
}

int SiteKeyCheckValues(const SiteKeys &keys, KeyCheckValue out[KEY_CHECK_MAX]) {
    int count = 0;
    static const char *const kChannelKeys[3] = {"KA", "KB", "KC"};
    char label[sizeof out[0].label];
    for (int i = 0; i < 3; ++i) {
        std::snprintf(label, sizeof label, "initial %s", kChannelKeys[i]);
        AddKey(out, &count, label, keys.initial + 8 * i);
    }
    for (int i = 0; i < 3; ++i) {
        std::snprintf(label, sizeof label, "operational %s", kChannelKeys[i]);
        AddKey(out, &count, label, keys.operational + 8 * i);
    }
    for (int i = 0; i < SITE_READER_SLOT_COUNT; ++i) {
        std::snprintf(label, sizeof label, "reader slot %d", kSiteReaderSlots[i]);
        AddKey(out, &count, label, keys.reader + 8 * i);
    }
    std::uint8_t digest[SHA256_SIZE];
    Sha256(keys.mask, sizeof keys.mask, digest);
    Add(out, &count, "mask", digest);
    SecureWipe(digest, sizeof digest);
    if (keys.hasIssuer) {
        for (int i = 0; i < SITE_WRITE_SLOT_COUNT; ++i) {
            std::snprintf(label, sizeof label, "issuer slot %d", kSiteWriteSlots[i]);
            AddKey(out, &count, label, keys.issuer + 8 * kSiteWriteSlots[i]);
        }
    }
    return count;
}
