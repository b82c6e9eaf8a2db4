// The credential store in Wine's real registry: key kinds, stored form, deletion.  The volatile
// key's end with the session is checked by scripts/check-volatile.sh across a wineserver restart
// (the VolatileAcrossRestart tests run only from there).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/config.h"
#include "settings/credentials.h"
#include "tests/wine/support/wine_support.h"

namespace {

std::string UserValue(const char *key, const char *name, DWORD *type = nullptr) {
    // The exact stored bytes (RegGetValue would add a terminator).
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &k) != 0) return "<none>";
    char data[2048] = {0};
    DWORD size = sizeof data, t = 0;
    LONG error = RegQueryValueExA(k, name, nullptr, &t, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(k);
    if (error != 0) return "<none>";
    if (type) *type = t;
    // The ANSI query adds a terminator of its own when it converts a string value.
    if (size > 0 && data[size - 1] == '\0') --size;
    return std::string(data, size);
}


bool KeyIsVolatile(const char *key) {
    // A non-volatile child cannot be created below a volatile key.
    HKEY child = nullptr;
    std::string path = std::string(key) + "\\probe";
    LONG error = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child, nullptr);
    if (error == 0) {
        RegCloseKey(child);
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    }
    return error == ERROR_CHILD_MUST_BE_VOLATILE;
}

class RealStore : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, ZUK_VOLATILE_KEY);
        RegDeleteKeyA(HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY);
    }
};

TEST_F(RealStore, PairsKeysAndStoredForm) {
    MutableSettings()->Config =
        kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile;
    char stored[kStoredTextSize];
    const std::uint8_t secret[] = {'s', '3', 'c', 'r', '3', 't'};
    std::int32_t storedLength = ScramblePassword(secret, 6, stored);
    ASSERT_EQ(storedLength, 14);
    ASSERT_EQ(WriteCredentials("user0123", 8, stored, storedLength, Remembered), 0);
    DWORD type = 0;
    // The library writes 8 bytes; Wine's ANSI registry calls add a terminator to string values
    // themselves, so the exact stored length is checked at the seam natively.
    EXPECT_EQ(UserValue(ZUK_NONVOLATILE_KEY, "UserID", &type), "user0123");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    std::string pw = UserValue(ZUK_NONVOLATILE_KEY, "Password");
    EXPECT_EQ(pw, std::string(stored, 14));
    EXPECT_EQ(pw.find("s3cr3t"), std::string::npos);

    ASSERT_EQ(WriteCredentials("typed", 5, stored, storedLength, Entered), 0);
    EXPECT_TRUE(KeyIsVolatile(ZUK_VOLATILE_KEY));
    EXPECT_FALSE(KeyIsVolatile(ZUK_NONVOLATILE_KEY));
    char id[64] = {0}, password[64] = {0};
    std::int32_t idLength = sizeof id, passwordLength = sizeof password;
    ASSERT_EQ(ReadCredentials(id, &idLength, password, &passwordLength, Entered), 0);
    EXPECT_EQ(std::string(id, idLength), "typed");
    std::uint8_t back[kStoredTextSize];
    ASSERT_EQ(UnscramblePassword(password, passwordLength, back), 6);
    EXPECT_EQ(std::memcmp(back, secret, 6), 0);
    EXPECT_EQ(DeleteCredentials(), 0);
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "InputUserID"), "<none>");

    MutableSettings()->Config = kInputIdOnly;
    ASSERT_EQ(WriteCredentials("only", 4, stored, storedLength, Entered), 0);
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "InputPassword"), "<none>");
    EXPECT_EQ(DeleteCredentials(), 0x10) << "InputPassword is absent";
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "InputUserID"), "<none>");
}

TEST(VolatileAcrossRestart, Write) {
    if (!std::getenv("ZUK_VOLATILE_PHASE")) GTEST_SKIP() << "run by scripts/check-volatile.sh";
    RegDeleteKeyA(HKEY_CURRENT_USER, ZUK_VOLATILE_KEY);
    MutableSettings()->Config = kRememberIdAndPassword | kRememberStoreVolatile;
    ASSERT_EQ(WriteCredentials("vol", 3, "2401", 4, Remembered), 0);
    MutableSettings()->Config = kRememberIdAndPassword | kRememberStoreNonVolatile;
    ASSERT_EQ(WriteCredentials("durable", 7, "2402", 4, Remembered), 0);
}

TEST(VolatileAcrossRestart, Check) {
    if (!std::getenv("ZUK_VOLATILE_PHASE")) GTEST_SKIP() << "run by scripts/check-volatile.sh";
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "UserID"), "<none>");
    EXPECT_EQ(UserValue(ZUK_NONVOLATILE_KEY, "UserID"), "durable");
}

}  // namespace
