// The credential store: masking, the two pairs and their keys, and failures.
#include <cctype>
#include <cstring>

#include "settings/config.h"
#include "settings/credentials.h"
#include "tests/native/support.h"

namespace {

TEST(Scramble, RoundTripsEveryLengthAndFirstByte) {
    char stored[kStoredTextSize];
    std::uint8_t back[kStoredTextSize];
    std::uint8_t password[kMaxStoredPassword];
    for (int length = 1; length <= kMaxStoredPassword; ++length) {
        for (int first = 0; first < 256; first += (length < 4 ? 1 : 37)) {
            for (int i = 0; i < length; ++i)
                password[i] = static_cast<std::uint8_t>(i * 7 + length);
            password[0] = static_cast<std::uint8_t>(first);
            std::int32_t n = ScramblePassword(password, length, stored);
            ASSERT_EQ(n, 2 + 2 * length);
            ASSERT_EQ(std::strlen(stored), static_cast<size_t>(n));
            ASSERT_EQ(UnscramblePassword(stored, n, back), length);
            ASSERT_EQ(std::memcmp(back, password, length), 0) << length << " " << first;
        }
    }
}

TEST(Scramble, StoredFormAndEdgeCases) {
    char stored[kStoredTextSize];
    const std::uint8_t abc[] = {0x61, 0x62, 0x63};
    ASSERT_EQ(ScramblePassword(abc, 3, stored), 8);
    EXPECT_EQ(std::string(stored, 2), "24") << "offset (0x61 + 3) mod 64";
    for (const char *p = stored; *p; ++p) {
        EXPECT_TRUE((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f')) << stored;
    }
    EXPECT_EQ(std::string(stored).find("616263"), std::string::npos);

    std::string upper = stored;
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::uint8_t back[kStoredTextSize];
    ASSERT_EQ(UnscramblePassword(upper.c_str(), 8, back), 3);
    EXPECT_EQ(std::memcmp(back, abc, 3), 0);

    EXPECT_EQ(ScramblePassword(abc, 0, stored), 0);
    EXPECT_STREQ(stored, "");
    std::uint8_t tooLong[kMaxStoredPassword + 1] = {1};
    EXPECT_EQ(ScramblePassword(tooLong, kMaxStoredPassword + 1, stored), 0);
    const struct {
        const char *text;
        std::int32_t length;
    } bad[] = {{"", 0}, {"24", 2}, {"2", 1}, {"24zz", 4}, {"241", 3}};
    for (const auto &b : bad) EXPECT_EQ(UnscramblePassword(b.text, b.length, back), 0) << b.text;
}

class Store : public LibraryTest {
protected:
    void Configure(std::uint32_t config) { MutableSettings()->Config = config; }
    std::string Value(const char *key, const char *name) {
        std::string bytes;
        return FakeRegGetValue(PLAT_HKEY_CURRENT_USER, key, name, nullptr, &bytes) ? bytes
                                                                                   : "<none>";
    }
};

TEST_F(Store, WhichKeyAndWhichValues) {
    const struct {
        std::uint32_t config;
        CredentialKind kind;
        const char *key;
        bool isVolatile;
        const char *idName;
        const char *passwordName;
        bool password;
    } cases[] = {
        {0x210, Remembered, ZUK_NONVOLATILE_KEY, false, "UserID", "Password", false},
        {0x230, Remembered, ZUK_NONVOLATILE_KEY, false, "UserID", "Password", true},
        {0x130, Remembered, ZUK_VOLATILE_KEY, true, "UserID", "Password", true},
        {0x003, Entered, ZUK_VOLATILE_KEY, true, "InputUserID", "InputPassword", true},
        {0x201, Entered, ZUK_VOLATILE_KEY, true, "InputUserID", "InputPassword", false},
    };
    for (const auto &c : cases) {
        FakePlatformReset();
        Configure(c.config);
        ASSERT_EQ(WriteCredentials("user01", 6, "24abcdef", 8, c.kind), 0);
        bool isVolatile = !c.isVolatile;
        ASSERT_TRUE(FakeRegKeyExists(PLAT_HKEY_CURRENT_USER, c.key, &isVolatile)) << c.config;
        EXPECT_EQ(isVolatile, c.isVolatile) << c.config;
        EXPECT_EQ(Value(c.key, c.idName), "user01") << "no terminating zero";
        EXPECT_EQ(Value(c.key, c.passwordName), c.password ? "24abcdef" : "<none>") << c.config;

        char id[64] = {0}, pw[64] = {0};
        std::int32_t idLength = sizeof id, pwLength = sizeof pw;
        ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, c.kind), 0);
        EXPECT_EQ(std::string(id, idLength), "user01");
        EXPECT_EQ(std::string(pw, pwLength), c.password ? "24abcdef" : "");
    }
}

TEST_F(Store, ReadingNothingAndATrailingZero) {
    Configure(0x230);
    char id[16], pw[16];
    std::int32_t idLength = sizeof id, pwLength = sizeof pw;
    EXPECT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(idLength, 0);
    EXPECT_EQ(pwLength, 0);

    FakeRegSetValue(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "UserID", PLAT_REG_SZ,
                    std::string("0123456789\0", 11));
    std::memset(id, 0, sizeof id);
    idLength = sizeof id;
    pwLength = sizeof pw;
    EXPECT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(idLength, 10);
}

TEST_F(Store, DeleteRemovesTheEnteredPair) {
    Configure(0x001);  // ID only: the entered password is not stored
    ASSERT_EQ(WriteCredentials("u", 1, "", 0, Entered), 0);
    EXPECT_EQ(DeleteCredentials(), kStoreWriteFailed) << "InputPassword is absent";
    EXPECT_EQ(Value(ZUK_VOLATILE_KEY, "InputUserID"), "<none>");

    Configure(0x003);
    ASSERT_EQ(WriteCredentials("u", 1, "2401", 4, Entered), 0);
    EXPECT_EQ(DeleteCredentials(), 0);
    EXPECT_EQ(Value(ZUK_VOLATILE_KEY, "InputPassword"), "<none>");
    EXPECT_EQ(DeleteCredentials(), kStoreWriteFailed) << "nothing left to delete";
}

TEST_F(Store, VolatileKeyDiesWithTheHive) {
    Configure(0x130);
    ASSERT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), 0);
    Configure(0x230);
    ASSERT_EQ(WriteCredentials("v", 1, "2402", 4, Remembered), 0);
    FakeRegUnloadVolatile();
    EXPECT_EQ(Value(ZUK_VOLATILE_KEY, "UserID"), "<none>");
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "UserID"), "v");
}

TEST_F(Store, Failures) {
    Configure(0x230);
    FakeFail(FAKE_CALL_REG_OPEN_CURRENT_USER, FAKE_FAIL_EVERY, PLAT_ERROR_PROC_NOT_FOUND);
    char id[8], pw[8];
    std::int32_t idLength = 5, pwLength = 6;
    EXPECT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), kStoreSystem);
    EXPECT_EQ(idLength, 5) << "lengths unchanged";
    EXPECT_EQ(pwLength, 6);
    EXPECT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), kStoreSystem);
    EXPECT_EQ(DeleteCredentials(), kStoreSystem);
    FakeFail(FAKE_CALL_REG_OPEN_CURRENT_USER, 0);

    FakeFail(FAKE_CALL_REG_SET_VALUE, 1, PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), kStoreWriteFailed);
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "Password"), "<none>") << "the password is not written";

    FakeFail(FAKE_CALL_REG_SET_VALUE, 3, PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteCredentials("w", 1, "2401", 4, Remembered), kStoreWriteFailed);
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "UserID"), "w") << "the record and the ID stay written";
}

// The record is written first and binds the pair's values: a write that fails part-way leaves a
// pair that reads as none, never a new ID with the password stored before it, nor a password
// taken for another form's.
TEST_F(Store, APairWrittenPartWayReadsAsNone) {
    Configure(0x230);
    for (int failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE("set call " + std::to_string(failing));
        ASSERT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), 0);
        FakeFail(FAKE_CALL_REG_SET_VALUE, failing, PLAT_ERROR_ACCESS_DENIED);
        EXPECT_EQ(WriteCredentials("w", 1, "2402", 4, Remembered), kStoreWriteFailed);
        FakeFailNone();
        char id[16] = {0}, pw[16] = {0};
        std::int32_t idLength = sizeof id, pwLength = sizeof pw;
        ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
        const std::string pair = std::string(id, idLength) + "/" + std::string(pw, pwLength);
        EXPECT_TRUE(pair == "u/2401" || pair == "/") << pair;
        EXPECT_EQ(failing == 1, pair == "u/2401")
            << "only a write that changed nothing keeps the old pair";
    }
    // A value changed beside the store (an earlier version writing the password alone) unbinds it.
    ASSERT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), 0);
    FakeRegSetString(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "Password", "2403");
    char id[16] = {0}, pw[16] = {0};
    std::int32_t idLength = sizeof id, pwLength = sizeof pw;
    ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(idLength, 0);
    EXPECT_EQ(pwLength, 0);
}

// The record covers what is stored, whatever the configuration reads: a pair stored with its
// password still gives its ID when only the ID is remembered, and storing the ID alone removes a
// password left from before.
TEST_F(Store, TheRecordCoversWhatIsStoredWhateverIsRead) {
    Configure(0x230);
    ASSERT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), 0);
    Configure(0x210);
    char id[16] = {0}, pw[16] = {0};
    std::int32_t idLength = sizeof id, pwLength = sizeof pw;
    ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(std::string(id, idLength), "u");
    EXPECT_EQ(pwLength, 0);
    ASSERT_EQ(WriteCredentials("v", 1, "", 0, Remembered), 0);
    EXPECT_EQ(Value(ZUK_NONVOLATILE_KEY, "Password"), "<none>");
    idLength = sizeof id;
    pwLength = sizeof pw;
    ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(std::string(id, idLength), "v");
}

// A pair masked under one mask is no pair under another; the record holds a check value of the
// mask, never the mask.
TEST_F(Store, APairOfAnotherMaskReadsAsNone) {
    Configure(0x230);
    std::uint8_t builtIn[PASSWORD_MASK_SIZE], site[PASSWORD_MASK_SIZE];
    std::memcpy(builtIn, g_passwordMask.bytes, sizeof builtIn);
    for (int i = 0; i < PASSWORD_MASK_SIZE; ++i)
        site[i] = static_cast<std::uint8_t>(0x3C ^ (7 * i));
    ASSERT_EQ(WriteCredentials("u", 1, "2401", 4, Remembered), 0);
    const std::string record = Value(ZUK_NONVOLATILE_KEY, "PairRecord");
    EXPECT_EQ(record.size(), 22u);
    EXPECT_EQ(record.find(std::string(reinterpret_cast<const char *>(builtIn), 4)),
              std::string::npos);
    UsePasswordMask(site);
    char id[16] = {0}, pw[16] = {0};
    std::int32_t idLength = sizeof id, pwLength = sizeof pw;
    ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(idLength + pwLength, 0);
    UsePasswordMask(builtIn);
    idLength = sizeof id;
    pwLength = sizeof pw;
    ASSERT_EQ(ReadCredentials(id, &idLength, pw, &pwLength, Remembered), 0);
    EXPECT_EQ(std::string(id, idLength) + "/" + std::string(pw, pwLength), "u/2401");
}

}  // namespace
