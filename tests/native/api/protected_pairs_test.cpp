// ZUKGetUserAccount with the ProtectPasswords switch: pairs kept in either form are handed over,
// picked up and reused whatever the switch says at the time, a remembered pair that does not open
// is asked for again, and neither the password nor its masked text reaches the trace.
#include <cstring>

#include "api_fixture.h"
#include "settings/credentials.h"
#include "tests/result_expect.h"

namespace {

const char kProtectOn[] = "[Credentials]\nProtectPasswords=1\n";
const int kHandOver = ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER;
const int kPickUp = ZUK_ACCOUNT_MODE_PICKUP;

class ProtectedPairs : public StoredPairTest {
protected:
    void Load(std::uint32_t config, bool protect) {
        Configure(kLibraryModeCard, kDeviceReader, config, protect ? kProtectOn : "");
        ASSERT_EQ(GetProtectPasswords(), protect);
    }
    // The password and its masked text never reach the trace.
    void ExpectTraceWithoutPassword() {
        const std::string trace = ReadFile(LogPath());
        EXPECT_NE(trace.find("ZUKGetUserAccount"), std::string::npos) << "the calls were traced";
        EXPECT_EQ(trace.find(description.password), std::string::npos);
        char masked[kStoredTextSize];
        ScramblePassword(reinterpret_cast<const std::uint8_t *>(description.password.data()),
                         static_cast<std::int32_t>(description.password.size()), masked);
        EXPECT_EQ(trace.find(masked), std::string::npos);
    }
};

TEST_F(ProtectedPairs, HandOverThenPickUpInEitherForm) {
    const std::uint32_t config = kInputIdAndPassword | kRememberNothing;
    for (bool handOverOn : {false, true}) {
        for (bool pickUpOn : {false, true}) {
            SCOPED_TRACE(std::string("hand-over ") + (handOverOn ? "on" : "off") + ", pick-up " +
                         (pickUpOn ? "on" : "off"));
            Load(config, handOverOn);
            if (CardSessionIsOpen() != 1) Open();
            FakeDialogReset();
            ScriptPin();
            ASSERT_RESULT(Get(kHandOver), ZUK_OK);
            EXPECT_EQ(Has(ZUK_VOLATILE_KEY, "InputPasswordProtected"), handOverOn);
            EXPECT_EQ(Has(ZUK_VOLATILE_KEY, "InputPassword"), !handOverOn);

            Load(config, pickUpOn);
            ASSERT_RESULT(Get(kPickUp), ZUK_OK);
            EXPECT_EQ(Pair(), "alice/s3cret-pass");
            EXPECT_FALSE(Has(ZUK_VOLATILE_KEY, "InputUserID"));
            EXPECT_FALSE(Has(ZUK_VOLATILE_KEY, "InputPassword"));
            EXPECT_FALSE(Has(ZUK_VOLATILE_KEY, "InputPasswordProtected"));
            FakeMessageBoxScript({PLAT_IDCANCEL});
            EXPECT_RESULT(Get(kPickUp), ZUK_ERR_ACCOUNT_STORE) << "picked up once only";
        }
    }
    ExpectTraceWithoutPassword();
}

TEST_F(ProtectedPairs, ARememberedPairIsReusedInEitherForm) {
    const std::uint32_t config =
        kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile;
    for (bool storedOn : {false, true}) {
        for (bool reusedOn : {false, true}) {
            SCOPED_TRACE(std::string("stored ") + (storedOn ? "on" : "off") + ", reused " +
                         (reusedOn ? "on" : "off"));
            FakeRegDeleteValue(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "UserID");
            Load(config, storedOn);
            if (CardSessionIsOpen() != 1) Open();
            FakeDialogReset();
            ScriptPin();
            ASSERT_RESULT(Get(ZUK_ACCOUNT_MODE_INTERACTIVE), ZUK_OK);
            EXPECT_EQ(Has(ZUK_NONVOLATILE_KEY, "PasswordProtected"), storedOn);

            Load(config, reusedOn);
            FakeDialogReset();
            const std::size_t commands = card.commands.size();
            ASSERT_RESULT(Get(ZUK_ACCOUNT_MODE_INTERACTIVE), ZUK_OK);
            EXPECT_EQ(Pair(), "alice/s3cret-pass");
            EXPECT_TRUE(FakeDialogsShown().empty()) << "handed back without a prompt";
            EXPECT_EQ(card.commands.size(), commands) << "the card is not read";
        }
    }
    ExpectTraceWithoutPassword();
}

// A remembered pair that cannot be opened (here: another user's) is no pair: the user is asked
// again, and the pair then stored opens for this user.  An entered pair that cannot be opened is
// not picked up.
TEST_F(ProtectedPairs, APairThatDoesNotOpenIsAskedForAgain) {
    Load(kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile, true);
    Open();
    ScriptPin();
    ASSERT_RESULT(Get(ZUK_ACCOUNT_MODE_INTERACTIVE), ZUK_OK);
    FakeSetProtectIdentity(1, 2);
    FakeDialogReset();
    ScriptPin();
    ASSERT_RESULT(Get(ZUK_ACCOUNT_MODE_INTERACTIVE), ZUK_OK);
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    EXPECT_EQ(FakeDialogsShown().size(), 1u) << "the PIN was asked for";
    FakeDialogReset();
    ASSERT_RESULT(Get(ZUK_ACCOUNT_MODE_INTERACTIVE), ZUK_OK);
    EXPECT_TRUE(FakeDialogsShown().empty()) << "the pair stored again opens";

    Load(kInputIdAndPassword | kRememberNothing, true);
    FakeDialogReset();
    ScriptPin();
    ASSERT_RESULT(Get(kHandOver), ZUK_OK);
    FakeFail(FAKE_CALL_UNPROTECT, 1);
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(Get(kPickUp), ZUK_ERR_ACCOUNT_STORE);
    EXPECT_EQ(request.AccountLength, static_cast<int>(sizeof account))
        << "nothing handed to the host";
    EXPECT_NE(std::string(account, 5), "alice");
}

// The store refuses to keep the pair when the system will not protect it: the call says so, and
// the host still gets nothing it could take for a stored pair later.
TEST_F(ProtectedPairs, AProtectionRefusedFailsTheHandOver) {
    Load(kInputIdAndPassword | kRememberNothing, true);
    Open();
    ScriptPin();
    FakeFail(FAKE_CALL_PROTECT, FAKE_FAIL_EVERY);
    EXPECT_RESULT(Get(kHandOver), ZUK_ERR_ACCOUNT_STORE);
    EXPECT_FALSE(Has(ZUK_VOLATILE_KEY, "InputUserID"));
    FakeFailNone();
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(Get(kPickUp), ZUK_ERR_ACCOUNT_STORE);
}

}  // namespace
