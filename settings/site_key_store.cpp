// The stored site keys: the record, its protection for this machine, and the registry value.
#include "settings/site_key_store.h"

#include <cstring>

#include "platform/protect.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/settings_state.h"

namespace {

// Where the keys came from: the settings record's part (settings_state.h).
SiteKeySourceRecord &g_siteKeySource = g_settingsState.siteKeySource;

const char kRecordMagic[4] = {'Z', 'U', 'K', 'S'};
const char kEntropyPrefix[] = "ZUKcntrl site keys ";
constexpr std::size_t kMachineGuidMax = 64;

// The values of the record in their order (kFieldSizes gives their sizes).
std::uint8_t *FieldOf(SiteKeys *keys, int index) {
    switch (index) {
    case 0: return keys->initial;
    case 1: return keys->operational;
    case 2: return keys->reader;
    default: return keys->mask;
    }
}

const std::size_t kFieldSizes[4] = {SITE_CHANNEL_KEYS_SIZE, SITE_CHANNEL_KEYS_SIZE,
                                    SITE_READER_KEYS_SIZE, SITE_MASK_SIZE};
constexpr std::size_t kValuesOffset = 5;
constexpr std::size_t kCheckOffset = SITE_KEY_RECORD_SIZE - SITE_KEY_FILE_CHECK_SIZE;

long OpenMachineKey(std::uint32_t view, std::uint32_t access, bool create, PlatKey *key) {
    return create ? PlatRegCreateKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, access | view,
                                     false, key)
                  : PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, access | view, key);
}

}  // namespace

const char *SiteKeyStoreResultText(SiteKeyStoreResult result) {
    switch (result) {
#define ZUK_KEY_STORE_TEXT(enumerator, name, text, status)                                         \
    case enumerator: return text;
        ZUK_SITE_KEY_STORE_RESULTS(ZUK_KEY_STORE_TEXT)
#undef ZUK_KEY_STORE_TEXT
    }
    return "unknown";
}

const char *SiteKeyStoreResultName(SiteKeyStoreResult result) {
    switch (result) {
#define ZUK_KEY_STORE_NAME(enumerator, name, text, status)                                         \
    case enumerator: return name;
        ZUK_SITE_KEY_STORE_RESULTS(ZUK_KEY_STORE_NAME)
#undef ZUK_KEY_STORE_NAME
    }
    return "unknown";
}

void SiteKeyRecordMake(const SiteKeys &keys, std::uint8_t record[SITE_KEY_RECORD_SIZE]) {
    std::memcpy(record, kRecordMagic, 4);
    record[4] = SITE_KEY_RECORD_VERSION;
    SiteKeys values = keys;
    values.hasIssuer = false;  // the library's machines never hold the issuing table
    std::size_t at = kValuesOffset;
    for (int i = 0; i < 4; ++i) {
        std::memcpy(record + at, FieldOf(&values, i), kFieldSizes[i]);
        at += kFieldSizes[i];
    }
    SiteKeysCheck(values, record + kCheckOffset);
    SiteKeysWipe(&values);
}

SiteKeyStoreResult SiteKeyRecordRead(const std::uint8_t *record, std::size_t size, SiteKeys *out) {
    SiteKeysWipe(out);
    if (size < 5 || std::memcmp(record, kRecordMagic, 4) != 0 ||
        record[4] != SITE_KEY_RECORD_VERSION) {
        return kKeyStoreWrongVersion;
    }
    if (size != SITE_KEY_RECORD_SIZE) return kKeyStoreWrongLength;
    std::size_t at = kValuesOffset;
    for (int i = 0; i < 4; ++i) {
        std::memcpy(FieldOf(out, i), record + at, kFieldSizes[i]);
        at += kFieldSizes[i];
    }
    std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE];
    SiteKeyFileCheck(*out, check);
    std::uint8_t differ = 0;
    for (std::size_t i = 0; i < sizeof check; ++i) {
        differ = static_cast<std::uint8_t>(differ | (check[i] ^ record[kCheckOffset + i]));
    }
    if (differ != 0) {
        SiteKeysWipe(out);
        return kKeyStoreWrongCheck;
    }
    // Keys stored before weak keys were refused, or written by other means, are not used: the
    // same rule as for a key file.
    if (SiteKeysWeakness(*out, nullptr) != kKeyStrong) {
        SiteKeysWipe(out);
        return kKeyStoreWeak;
    }
    return kKeyStoreOk;
}

std::size_t SiteKeyEntropy(std::uint8_t *out, std::size_t capacity) {
    const std::size_t prefix = sizeof kEntropyPrefix - 1;
    if (capacity < prefix + kMachineGuidMax) return 0;
    PlatKey key = 0;
    // A 32-bit process on 64-bit Windows finds MachineGuid only in the 64-bit view.
    if (PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY,
                       PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_64KEY, &key) != 0) {
        return 0;
    }
    std::uint8_t guid[kMachineGuidMax];
    std::uint32_t size = sizeof guid;
    std::uint32_t type = 0;
    const long error = PlatRegQueryValue(key, "MachineGuid", &type, guid, &size);
    PlatRegCloseKey(key);
    if (error != 0 || type != PLAT_REG_SZ || size > sizeof guid) return 0;
    while (size > 0 && guid[size - 1] == 0) --size;
    if (size == 0) return 0;
    std::memcpy(out, kEntropyPrefix, prefix);
    std::memcpy(out + prefix, guid, size);
    return prefix + size;
}

SiteKeyStoreResult SiteKeyStoreRead(std::uint32_t view, SiteKeys *out) {
    SiteKeysWipe(out);
    PlatKey key = 0;
    // Only a key that is not there means "no site keys": any other failure to open it may hide
    // stored keys, and must not let the built-in ones take their place.
    const long opened = OpenMachineKey(view, PLAT_KEY_QUERY_VALUE, false, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND) return kKeyStoreNone;
    if (opened != 0) return kKeyStoreUnreadable;
    std::uint8_t blob[PLAT_PROTECT_MAX];
    std::uint32_t size = sizeof blob;
    std::uint32_t type = 0;
    const long error = PlatRegQueryValue(key, ZUK_SITE_KEYS_VALUE, &type, blob, &size);
    PlatRegCloseKey(key);
    if (error == PLAT_ERROR_FILE_NOT_FOUND) return kKeyStoreNone;
    if (error != 0 || type != PLAT_REG_BINARY || size == 0 || size > sizeof blob) {
        return kKeyStoreUnreadable;
    }
    std::uint8_t entropy[sizeof kEntropyPrefix + kMachineGuidMax];
    const std::size_t entropySize = SiteKeyEntropy(entropy, sizeof entropy);
    if (entropySize == 0) return kKeyStoreNoMachineId;
    std::uint8_t record[PLAT_PROTECT_MAX];
    std::uint32_t recordSize = sizeof record;
    SiteKeyStoreResult result = kKeyStoreUndecryptable;
    if (PlatUnprotectData(blob, size, entropy, static_cast<std::uint32_t>(entropySize), record,
                          &recordSize) == 0) {
        result = SiteKeyRecordRead(record, recordSize, out);
    }
    PlatSecureWipe(record, sizeof record);
    return result;
}

long SiteKeyStoreWrite(std::uint32_t view, const SiteKeys &keys) {
    std::uint8_t entropy[sizeof kEntropyPrefix + kMachineGuidMax];
    const std::size_t entropySize = SiteKeyEntropy(entropy, sizeof entropy);
    if (entropySize == 0) return PLAT_ERROR_FILE_NOT_FOUND;
    std::uint8_t record[SITE_KEY_RECORD_SIZE];
    SiteKeyRecordMake(keys, record);
    std::uint8_t blob[PLAT_PROTECT_MAX];
    std::uint32_t size = sizeof blob;
    long error =
        PlatProtectData(record, sizeof record, entropy, static_cast<std::uint32_t>(entropySize),
                        PLAT_PROTECT_MACHINE, blob, &size);
    PlatSecureWipe(record, sizeof record);
    if (error != 0) return error;
    PlatKey key = 0;
    error = OpenMachineKey(view, PLAT_KEY_SET_VALUE, true, &key);
    if (error != 0) return error;
    error = PlatRegSetValue(key, ZUK_SITE_KEYS_VALUE, PLAT_REG_BINARY, blob, size);
    PlatRegCloseKey(key);
    return error;
}

long SiteKeyStoreRemove(std::uint32_t view) {
    PlatKey key = 0;
    long error = OpenMachineKey(view, PLAT_KEY_SET_VALUE, false, &key);
    if (error == PLAT_ERROR_FILE_NOT_FOUND) return 0;
    if (error != 0) return error;
    error = PlatRegDeleteValue(key, ZUK_SITE_KEYS_VALUE);
    PlatRegCloseKey(key);
    return error == PLAT_ERROR_FILE_NOT_FOUND ? 0 : error;
}

SiteKeyStoreResult LoadSiteKeySource(SiteKeys *keys) {
    const SiteKeyStoreResult result = SiteKeyStoreRead(0, keys);
    SiteKeySourceReset();
    g_siteKeySource.result = result;
    if (result == kKeyStoreOk) SiteKeysCheck(*keys, g_siteKeySource.check);
    return result;
}

SiteKeySource GetSiteKeySource() {
    SiteKeySource source;
    source.result = static_cast<SiteKeyStoreResult>(g_siteKeySource.result);
    std::memcpy(source.check, g_siteKeySource.check, sizeof source.check);
    return source;
}

void SiteKeySourceReset() {
    g_siteKeySource.result = kKeyStoreNone;
    std::memset(g_siteKeySource.check, 0, sizeof g_siteKeySource.check);
}
