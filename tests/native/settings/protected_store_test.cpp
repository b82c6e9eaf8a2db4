// The credential store with protected passwords: the stored forms with the switch off and on,
// reading either form whatever the switch says, blobs that do not open, and the data protection
// failing.
#include <cstring>

#include "platform/protect.h"
#include "settings/config.h"
#include "settings/credentials.h"
#include "tests/native/support.h"

namespace {

const std::uint32_t kRememberedDurable =
    kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile;
const std::uint32_t kRememberedSession =
    kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreVolatile;
const std::uint32_t kEnteredOnly = kInputIdAndPassword;

struct Pair {
    std::string id;
    std::string password;  // unmasked
    bool operator==(const Pair &o) const { return id == o.id && password == o.password; }
};
std::ostream &operator<<(std::ostream &out, const Pair &p) {
    return out << "{" << p.id << ", " << p.password << "}";
}

class ProtectedStore : public LibraryTest {
protected:
    void Configure(std::uint32_t config, bool protect) {
        MutableSettings()->Config = config;
        MutableSettings()->ProtectPasswords = protect ? 1 : 0;
    }
    static std::string Masked(const std::string &password) {
        char text[kStoredTextSize] = {0};
        const std::int32_t n =
            ScramblePassword(reinterpret_cast<const std::uint8_t *>(password.data()),
                             static_cast<std::int32_t>(password.size()), text);
        return std::string(text, static_cast<std::size_t>(n));
    }
    static int Write(const std::string &id, const std::string &password, CredentialKind kind) {
        const std::string masked = Masked(password);
        return WriteCredentials(id.data(), static_cast<std::int32_t>(id.size()), masked.data(),
                                static_cast<std::int32_t>(masked.size()), kind);
    }
    static Pair Read(CredentialKind kind, std::int32_t passwordSize = kStoredTextSize) {
        char id[kStoredTextSize] = {0}, masked[kStoredTextSize] = {0};
        std::int32_t idLength = sizeof id, maskedLength = passwordSize;
        EXPECT_EQ(ReadCredentials(id, &idLength, masked, &maskedLength, kind), kStoreOk);
        std::uint8_t clear[kStoredTextSize] = {0};
        const std::int32_t n = UnscramblePassword(masked, maskedLength, clear);
        return Pair{std::string(id, static_cast<std::size_t>(idLength)),
                    std::string(reinterpret_cast<char *>(clear), static_cast<std::size_t>(n))};
    }
    // A value of the current user's store: "<none>" when absent.
    static std::string Value(const char *key, const char *name, std::uint32_t *type = nullptr) {
        std::string bytes;
        return FakeRegGetValue(PLAT_HKEY_CURRENT_USER, key, name, type, &bytes) ? bytes : "<none>";
    }
    // Every value name of a key of the current user's store (the fake registry keeps them in lower
    // case, sorted).
    static std::vector<std::string> ValueNames(const char *key) {
        std::vector<std::string> names;
        PlatKey k = 0;
        if (PlatRegOpenKey(PLAT_HKEY_CURRENT_USER, key, PLAT_KEY_READ, &k) != 0) return names;
        for (std::uint32_t i = 0;; ++i) {
            char name[64];
            std::uint32_t length = sizeof name, type = 0, size = 0;
            if (PlatRegEnumValue(k, i, name, &length, &type, nullptr, &size) != 0) break;
            names.emplace_back(name, length);
        }
        PlatRegCloseKey(k);
        return names;
    }
    static std::string Blob(const std::string &data, const char *entropy) {
        std::uint8_t blob[PLAT_PROTECT_MAX];
        std::uint32_t size = sizeof blob;
        EXPECT_EQ(PlatProtectData(reinterpret_cast<const std::uint8_t *>(data.data()),
                                  static_cast<std::uint32_t>(data.size()),
                                  reinterpret_cast<const std::uint8_t *>(entropy),
                                  static_cast<std::uint32_t>(std::strlen(entropy)),
                                  PLAT_PROTECT_USER, blob, &size),
                  0);
        return std::string(reinterpret_cast<char *>(blob), size);
    }
};

struct PairForms {
    std::uint32_t config;
    CredentialKind kind;
    const char *key;
    const char *masked;
    const char *sealed;
};
const PairForms kPairs[] = {
    {kRememberedDurable, Remembered, ZUK_NONVOLATILE_KEY, "Password", "PasswordProtected"},
    {kRememberedSession, Remembered, ZUK_VOLATILE_KEY, "Password", "PasswordProtected"},
    {kEnteredOnly, Entered, ZUK_VOLATILE_KEY, "InputPassword", "InputPasswordProtected"},
};

// With the switch off the store writes the ID and the password exactly as it always wrote them:
// the ID as text without a terminator and the masked password as hexadecimal text, so an earlier
// version reads them; beside them only the pair's record (REG_BINARY, 22 bytes).
TEST_F(ProtectedStore, SwitchOffStoresTheKnownBytes) {
    std::uint8_t mask[PASSWORD_MASK_SIZE];
    for (int i = 0; i < PASSWORD_MASK_SIZE; ++i) mask[i] = static_cast<std::uint8_t>(i * 37 + 11);
    UsePasswordMask(mask);
    Configure(kRememberedDurable, false);
    ASSERT_EQ(Write("user01", "Pa55word!", Remembered), kStoreOk);
    std::uint32_t idType = 0, passwordType = 0;
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "UserID", &idType), "user01");
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "Password", &passwordType), "19f8acc7224b0ef4cff1");
    EXPECT_EQ(idType, PLAT_REG_SZ);
    EXPECT_EQ(passwordType, PLAT_REG_SZ);
    EXPECT_EQ(ValueNames(ZUK_NONVOLATILE_KEY),
              (std::vector<std::string>{"pairrecord", "password", "userid"}));
    std::uint32_t recordType = 0;
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "PairRecord", &recordType).size(), 22u);
    EXPECT_EQ(recordType, PLAT_REG_BINARY);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_PROTECT), 0);
}

TEST_F(ProtectedStore, EachFormIsReadWhateverTheSwitchSays) {
    for (const PairForms &p : kPairs) {
        for (bool writeOn : {false, true}) {
            for (bool readOn : {false, true}) {
                SCOPED_TRACE(std::string(p.key) + " " + p.sealed +
                             (writeOn ? " written on" : " written off") +
                             (readOn ? ", read on" : ", read off"));
                FakePlatformReset();
                Configure(p.config, writeOn);
                ASSERT_EQ(Write("user01", "Pa55 word!", p.kind), kStoreOk);
                std::uint32_t type = 0;
                const std::string masked = Value(p.key, p.masked);
                const std::string sealed = Value(p.key, p.sealed, &type);
                if (writeOn) {
                    EXPECT_EQ(masked, "<none>");
                    EXPECT_EQ(type, PLAT_REG_BINARY);
                    EXPECT_EQ(sealed.find("Pa55 word!"), std::string::npos);
                    EXPECT_EQ(sealed.find(Masked("Pa55 word!")), std::string::npos);
                } else {
                    EXPECT_EQ(masked, Masked("Pa55 word!"));
                    EXPECT_EQ(sealed, "<none>");
                }
                Configure(p.config, readOn);
                EXPECT_EQ(Read(p.kind), (Pair{"user01", "Pa55 word!"}));
            }
        }
    }
}

TEST_F(ProtectedStore, WritingOneFormDeletesTheOtherAndProtectedWins) {
    for (const PairForms &p : kPairs) {
        SCOPED_TRACE(p.sealed);
        FakePlatformReset();
        Configure(p.config, true);
        ASSERT_EQ(Write("old", "first", p.kind), kStoreOk);
        Configure(p.config, false);
        ASSERT_EQ(Write("new", "second", p.kind), kStoreOk);
        EXPECT_EQ(Value(p.key, p.sealed), "<none>");
        EXPECT_EQ(Read(p.kind), (Pair{"new", "second"}));
        Configure(p.config, true);
        ASSERT_EQ(Write("newer", "third", p.kind), kStoreOk);
        EXPECT_EQ(Value(p.key, p.masked), "<none>");
        EXPECT_EQ(Read(p.kind), (Pair{"newer", "third"}));
        // Both forms present (as after a deletion that failed): the protected one counts.
        FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.masked, PLAT_REG_SZ, Masked("stale"));
        Configure(p.config, false);
        EXPECT_EQ(Read(p.kind), (Pair{"newer", "third"}));
    }
}

TEST_F(ProtectedStore, EmptyAndLongestPasswordsAndSmallBuffers) {
    Configure(kRememberedDurable, true);
    ASSERT_EQ(WriteCredentials("idonly", 6, "", 0, Remembered), kStoreOk);
    EXPECT_NE(Value(ZUK_NONVOLATILE_KEY, "PasswordProtected"), "<none>");
    EXPECT_EQ(Read(Remembered), (Pair{"idonly", ""}));

    const std::string longest(kMaxStoredPassword, 'L');
    ASSERT_EQ(Write("long", longest, Remembered), kStoreOk);
    EXPECT_EQ(Read(Remembered), (Pair{"long", longest}));
    // A masked text longer than the caller's buffer is left out, as a masked value that does not
    // fit: the ID still comes back.
    EXPECT_EQ(Read(Remembered, 100), (Pair{"long", ""}));
}

// A protected password that cannot be had is no stored pair at all, also when a masked password
// lies beside it: never the ID with another password.
TEST_F(ProtectedStore, ABlobThatDoesNotOpenIsNoPair) {
    struct Case {
        const char *what;
        void (*spoil)(const PairForms &p);
    };
    static const Case cases[] = {
        {"another user's", [](const PairForms &) { FakeSetProtectIdentity(1, 2); }},
        {"another machine's and user's", [](const PairForms &) { FakeSetProtectIdentity(2, 2); }},
        {"damaged",
         [](const PairForms &p) {
             std::string blob = Value(p.key, p.sealed);
             blob[blob.size() / 2] ^= 0x01;
             FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.sealed, PLAT_REG_BINARY, blob);
         }},
        {"cut short",
         [](const PairForms &p) {
             FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.sealed, PLAT_REG_BINARY,
                             Value(p.key, p.sealed).substr(0, 10));
         }},
        {"empty",
         [](const PairForms &p) {
             FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.sealed, PLAT_REG_BINARY, "");
         }},
        {"another program's entropy",
         [](const PairForms &p) {
             FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.sealed, PLAT_REG_BINARY,
                             Blob("\x01pw", "other program"));
         }},
        {"larger than any blob",
         [](const PairForms &p) {
             FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.sealed, PLAT_REG_BINARY,
                             std::string(PLAT_PROTECT_MAX + 1, 'b'));
         }},
    };
    for (const PairForms &p : kPairs) {
        for (const Case &c : cases) {
            for (bool readOn : {false, true}) {
                SCOPED_TRACE(std::string(p.sealed) + ": " + c.what +
                             (readOn ? ", read on" : ", read off"));
                FakePlatformReset();
                Configure(p.config, true);
                ASSERT_EQ(Write("user01", "Pa55word!", p.kind), kStoreOk);
                FakeRegSetValue(PLAT_HKEY_CURRENT_USER, p.key, p.masked, PLAT_REG_SZ,
                                Masked("old"));
                c.spoil(p);
                Configure(p.config, readOn);
                char id[64], masked[64];
                std::memset(id, 0x55, sizeof id);
                std::int32_t idLength = sizeof id, maskedLength = sizeof masked;
                ASSERT_EQ(ReadCredentials(id, &idLength, masked, &maskedLength, p.kind), kStoreOk);
                EXPECT_EQ(idLength, 0);
                EXPECT_EQ(maskedLength, 0);
                EXPECT_EQ(std::string(id, 6).find("user01"), std::string::npos)
                    << "the ID is not left behind";
                // Written again, the pair reads once more.
                Configure(p.config, true);
                ASSERT_EQ(Write("user02", "again", p.kind), kStoreOk);
                EXPECT_EQ(Read(p.kind), (Pair{"user02", "again"}));
            }
        }
    }
}

TEST_F(ProtectedStore, TheDataProtectionFailing) {
    for (const PairForms &p : kPairs) {
        SCOPED_TRACE(p.sealed);
        FakePlatformReset();
        Configure(p.config, true);
        ASSERT_EQ(Write("before", "kept", p.kind), kStoreOk);
        const std::string id = Value(p.key, p.kind == Entered ? "InputUserID" : "UserID");
        const std::string blob = Value(p.key, p.sealed);

        // Protection refused: the write fails and nothing of the pair changes.
        FakeFail(FAKE_CALL_PROTECT, 1, PLAT_ERROR_INVALID_DATA);
        EXPECT_EQ(Write("after", "lost", p.kind), kStoreWriteFailed);
        EXPECT_EQ(Value(p.key, p.kind == Entered ? "InputUserID" : "UserID"), id);
        EXPECT_EQ(Value(p.key, p.sealed), blob);
        EXPECT_EQ(Read(p.kind), (Pair{"before", "kept"}));

        // Opening refused: no pair.
        FakeFail(FAKE_CALL_UNPROTECT, 1, PLAT_ERROR_INVALID_DATA);
        EXPECT_EQ(Read(p.kind), (Pair{"", ""}));
        EXPECT_EQ(Read(p.kind), (Pair{"before", "kept"})) << "the next read opens it";

        // The protected value cannot be queried (its ID was read, call 1): no pair either.
        FakeFail(FAKE_CALL_REG_QUERY_VALUE, 2);
        EXPECT_EQ(Read(p.kind), (Pair{"", ""}));
    }
}

TEST_F(ProtectedStore, RegistryFailuresWhileChangingForms) {
    for (const PairForms &p : kPairs) {
        SCOPED_TRACE(p.sealed);
        FakePlatformReset();
        Configure(p.config, true);
        ASSERT_EQ(Write("before", "kept", p.kind), kStoreOk);

        // Switch off: the protected value cannot be deleted, so nothing is written (the old pair
        // would still win over a new masked one).
        Configure(p.config, false);
        FakeFail(FAKE_CALL_REG_DELETE_VALUE, 1);
        EXPECT_EQ(Write("after", "masked", p.kind), kStoreWriteFailed);
        EXPECT_EQ(Value(p.key, p.masked), "<none>");
        EXPECT_EQ(Read(p.kind), (Pair{"before", "kept"}));
        ASSERT_EQ(Write("after", "masked", p.kind), kStoreOk);

        // Switch on: the protected value cannot be written; or the masked one is left behind.
        Configure(p.config, true);
        FakeFail(FAKE_CALL_REG_SET_VALUE, 2);
        EXPECT_EQ(Write("again", "sealed", p.kind), kStoreWriteFailed);
        EXPECT_EQ(Value(p.key, p.sealed), "<none>");
        FakeFail(FAKE_CALL_REG_DELETE_VALUE, 1);
        EXPECT_EQ(Write("again", "sealed", p.kind), kStoreWriteFailed) << "a masked copy remains";
        EXPECT_EQ(Read(p.kind), (Pair{"again", "sealed"})) << "the protected one wins";
    }
}

TEST_F(ProtectedStore, DeletingTheEnteredPairTakesEitherForm) {
    Configure(kEnteredOnly, true);
    ASSERT_EQ(Write("u", "pw", Entered), kStoreOk);
    EXPECT_EQ(DeleteCredentials(), kStoreOk);
    EXPECT_TRUE(ValueNames(ZUK_VOLATILE_KEY).empty());
    EXPECT_EQ(DeleteCredentials(), kStoreWriteFailed) << "nothing left to delete";

    // Both forms (a deletion failed before): both go.
    ASSERT_EQ(Write("u", "pw", Entered), kStoreOk);
    FakeRegSetValue(PLAT_HKEY_CURRENT_USER, ZUK_VOLATILE_KEY, "InputPassword", PLAT_REG_SZ,
                    Masked("stale"));
    EXPECT_EQ(DeleteCredentials(), kStoreOk);
    EXPECT_TRUE(ValueNames(ZUK_VOLATILE_KEY).empty());

    // The ID cannot be deleted: the passwords still go, and the call fails.
    ASSERT_EQ(Write("u", "pw", Entered), kStoreOk);
    FakeFail(FAKE_CALL_REG_DELETE_VALUE, 1);
    EXPECT_EQ(DeleteCredentials(), kStoreWriteFailed);
    EXPECT_EQ(ValueNames(ZUK_VOLATILE_KEY), (std::vector<std::string>{"inputuserid"}));
}

// Without a usable mask nothing is read or written, and the data protection is never asked.
TEST_F(ProtectedStore, AnUnusableMaskReadsAndWritesNothing) {
    Configure(kRememberedDurable, true);
    ASSERT_EQ(Write("user01", "Pa55word!", Remembered), kStoreOk);
    const std::string masked = Masked("other");
    const int protects = FakeCallCount(FAKE_CALL_PROTECT);
    UsePasswordMask(nullptr);
    EXPECT_EQ(WriteCredentials("user02", 6, masked.data(), static_cast<std::int32_t>(masked.size()),
                               Remembered),
              kStoreWriteFailed);
    EXPECT_EQ(Read(Remembered), (Pair{"", ""}));
    EXPECT_EQ(FakeCallCount(FAKE_CALL_PROTECT), protects);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_UNPROTECT), 0);
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "UserID"), "user01");
}

}  // namespace
