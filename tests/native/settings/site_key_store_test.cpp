// The site keys stored on the machine: what is written reads back (without the issuing table), and
// every kind of stored value that cannot be used is told apart and never yields keys.
#include <cstring>
#include <functional>
#include <string>

#include "platform/fake/fake_platform.h"
#include "platform/protect.h"
#include "settings/config.h"
#include "settings/site_key_store.h"
#include "tests/native/support.h"

namespace {

const char kGuid[] = "0d6e1f8c-2b47-4c3a-9e51-7f20a8b3c914";

SiteKeys SampleKeys() {
    SiteKeys keys;
    SiteKeysWipe(&keys);
    for (std::size_t i = 0; i < sizeof keys.initial; ++i)
        keys.initial[i] = static_cast<std::uint8_t>(0x10 + i);
    for (std::size_t i = 0; i < sizeof keys.operational; ++i)
        keys.operational[i] = static_cast<std::uint8_t>(0x40 + i);
    for (std::size_t i = 0; i < sizeof keys.reader; ++i)
        keys.reader[i] = static_cast<std::uint8_t>(0x80 + i);
    for (std::size_t i = 0; i < sizeof keys.mask; ++i)
        keys.mask[i] = static_cast<std::uint8_t>(0xC0 ^ i);
    SiteKeysCopyReaderToIssuer(&keys);
    for (int slot : kSiteWriteSlots) std::memset(keys.issuer + 8 * slot, 0x5A + slot, 8);
    return keys;
}

std::string StoredBlob() {
    std::uint32_t type = 0;
    std::string bytes;
    EXPECT_TRUE(FakeRegGetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, ZUK_SITE_KEYS_VALUE,
                                &type, &bytes));
    return bytes;
}

void StoreBlob(const std::string &bytes, std::uint32_t type = PLAT_REG_BINARY) {
    FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, ZUK_SITE_KEYS_VALUE, type, bytes);
}

// Protects a record as the store does, for records the store itself would never write.
void StoreRecord(const std::uint8_t *record, std::size_t size) {
    std::uint8_t entropy[128];
    const std::size_t entropySize = SiteKeyEntropy(entropy, sizeof entropy);
    ASSERT_GT(entropySize, 0u);
    std::uint8_t blob[PLAT_PROTECT_MAX];
    std::uint32_t blobSize = sizeof blob;
    ASSERT_EQ(PlatProtectData(record, static_cast<std::uint32_t>(size), entropy,
                              static_cast<std::uint32_t>(entropySize), PLAT_PROTECT_MACHINE, blob,
                              &blobSize),
              0);
    StoreBlob(std::string(reinterpret_cast<char *>(blob), blobSize));
}

class SiteKeyStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakePlatformReset();
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid", kGuid);
        keys = SampleKeys();
    }
    void TearDown() override {
        EXPECT_EQ(FakeRegOpenKeyCount(), 0) << "a registry key was left open";
    }
    SiteKeys keys;
};

TEST_F(SiteKeyStoreTest, WhatIsStoredReadsBackWithoutTheIssuingTable) {
    EXPECT_EQ(SiteKeyStoreRead(0, &keys), kKeyStoreNone) << "nothing stored: the built-in keys";
    keys = SampleKeys();
    ASSERT_EQ(SiteKeyStoreWrite(0, keys), 0);
    const std::string blob = StoredBlob();
    for (const std::uint8_t *value : {keys.operational, keys.reader, keys.mask}) {
        EXPECT_EQ(blob.find(std::string(reinterpret_cast<const char *>(value), 8)),
                  std::string::npos)
            << "a key is stored in clear";
    }
    SiteKeys back;
    ASSERT_EQ(SiteKeyStoreRead(0, &back), kKeyStoreOk);
    EXPECT_EQ(std::memcmp(back.initial, keys.initial, sizeof keys.initial), 0);
    EXPECT_EQ(std::memcmp(back.operational, keys.operational, sizeof keys.operational), 0);
    EXPECT_EQ(std::memcmp(back.reader, keys.reader, sizeof keys.reader), 0);
    EXPECT_EQ(std::memcmp(back.mask, keys.mask, sizeof keys.mask), 0);
    EXPECT_FALSE(back.hasIssuer);
    const std::uint8_t zero[SITE_ISSUER_KEYS_SIZE] = {0};
    EXPECT_EQ(std::memcmp(back.issuer, zero, sizeof zero), 0) << "the issuing table was stored";

    ASSERT_EQ(SiteKeyStoreRemove(0), 0);
    EXPECT_EQ(SiteKeyStoreRead(0, &back), kKeyStoreNone);
    EXPECT_EQ(SiteKeyStoreRemove(0), 0) << "removing nothing is not a failure";
}

TEST_F(SiteKeyStoreTest, EachUnusableStoredValueIsToldApartAndGivesNoKeys) {
    std::uint8_t record[SITE_KEY_RECORD_SIZE];
    SiteKeyRecordMake(keys, record);
    struct Case {
        const char *what;
        std::function<void()> arrange;
        SiteKeyStoreResult expected;
    };
    const Case cases[] = {
        {"a damaged blob",
         [] {
             std::string b = StoredBlob();
             b[b.size() / 2] ^= 0x01;
             StoreBlob(b);
         },
         kKeyStoreUndecryptable},
        {"a blob cut short",
         [] {
             std::string b = StoredBlob();
             StoreBlob(b.substr(0, b.size() - 1));
         },
         kKeyStoreUndecryptable},
        {"another machine's blob", [] { FakeSetProtectIdentity(2, 1); }, kKeyStoreUndecryptable},
        {"a blob made for another MachineGuid",
         [] {
             FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid",
                              "another");
         },
         kKeyStoreUndecryptable},
        {"no MachineGuid",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid"); },
         kKeyStoreNoMachineId},
        {"the system cannot open it",
         [] { FakeFail(FAKE_CALL_UNPROTECT, 1, PLAT_ERROR_INVALID_DATA); }, kKeyStoreUndecryptable},
        {"a string value", [] { StoreBlob("not a blob", PLAT_REG_SZ); }, kKeyStoreUnreadable},
        {"an empty value", [] { StoreBlob(""); }, kKeyStoreUnreadable},
        {"a value larger than any blob", [] { StoreBlob(std::string(PLAT_PROTECT_MAX + 1, 'x')); },
         kKeyStoreUnreadable},
        {"the value cannot be read", [] { FakeFail(FAKE_CALL_REG_QUERY_VALUE, 1); },
         kKeyStoreUnreadable},
        {"the key cannot be opened", [] { FakeFail(FAKE_CALL_REG_OPEN_KEY, 1); },
         kKeyStoreUnreadable},
        {"a record of another version",
         [&record] {
             std::uint8_t r[SITE_KEY_RECORD_SIZE];
             std::memcpy(r, record, sizeof r);
             r[4] = 2;
             StoreRecord(r, sizeof r);
         },
         kKeyStoreWrongVersion},
        {"not a record",
         [] { StoreRecord(reinterpret_cast<const std::uint8_t *>("PK\x03\x04 zip"), 9); },
         kKeyStoreWrongVersion},
        {"a record one byte short", [&record] { StoreRecord(record, sizeof record - 1); },
         kKeyStoreWrongLength},
        {"a record one byte long",
         [&record] {
             std::uint8_t r[SITE_KEY_RECORD_SIZE + 1] = {0};
             std::memcpy(r, record, sizeof record);
             StoreRecord(r, sizeof r);
         },
         kKeyStoreWrongLength},
        {"a changed key under the old check value",
         [&record] {
             std::uint8_t r[SITE_KEY_RECORD_SIZE];
             std::memcpy(r, record, sizeof r);
             r[40] ^= 0x80;
             StoreRecord(r, sizeof r);
         },
         kKeyStoreWrongCheck},
        // Weak keys under a right check value (stored before they were refused, or written by
        // hand): the library refuses them as it refuses a key file that holds them.
        {"a record with a mask of zeros",
         [] {
             SiteKeys weak = SampleKeys();
             std::memset(weak.mask, 0, sizeof weak.mask);
             std::uint8_t r[SITE_KEY_RECORD_SIZE];
             SiteKeyRecordMake(weak, r);
             StoreRecord(r, sizeof r);
         },
         kKeyStoreWeak},
        {"a record whose operational keys are the initial ones",
         [] {
             SiteKeys weak = SampleKeys();
             std::memcpy(weak.operational, weak.initial, sizeof weak.initial);
             std::uint8_t r[SITE_KEY_RECORD_SIZE];
             SiteKeyRecordMake(weak, r);
             StoreRecord(r, sizeof r);
         },
         kKeyStoreWeak},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatformReset();
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid", kGuid);
        ASSERT_EQ(SiteKeyStoreWrite(0, keys), 0);
        c.arrange();
        SiteKeys read = SampleKeys();
        EXPECT_EQ(SiteKeyStoreRead(0, &read), c.expected);
        const SiteKeys zero = [] {
            SiteKeys k;
            SiteKeysWipe(&k);
            return k;
        }();
        EXPECT_EQ(std::memcmp(&read, &zero, sizeof read), 0)
            << "keys given out from an unusable value";
        EXPECT_STRNE(SiteKeyStoreResultText(c.expected), "unknown");
    }
}

TEST_F(SiteKeyStoreTest, AFailedWriteLeavesWhatWasStored) {
    ASSERT_EQ(SiteKeyStoreWrite(0, keys), 0);
    const std::string before = StoredBlob();
    SiteKeys other = SampleKeys();
    other.mask[0] ^= 0xFF;
    FakeFail(FAKE_CALL_PROTECT, 1, PLAT_ERROR_INVALID_DATA);
    EXPECT_NE(SiteKeyStoreWrite(0, other), 0);
    FakeFail(FAKE_CALL_REG_SET_VALUE, 1);
    EXPECT_NE(SiteKeyStoreWrite(0, other), 0);
    EXPECT_EQ(StoredBlob(), before);
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid");
    EXPECT_NE(SiteKeyStoreWrite(0, other), 0) << "stored without the machine's identity";
    EXPECT_EQ(StoredBlob(), before);
}

}  // namespace
