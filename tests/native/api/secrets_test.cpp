// Secrets do not linger: after the account flow and a PIN check, no buffer of the library (its
// static data, and the stack its calls used) still holds the PIN, the password or a typed ID.
#include <cstdio>
#include <cstring>

#include "api_fixture.h"
#include "settings/site_key_store.h"
#include "tests/result_expect.h"

extern "C" char __data_start;  // the program's writable data and zeroed data run from here
extern "C" char _end;          // to here, the library's static buffers included

namespace {

const char kPin[] = "739514";
const char kCardPassword[] = "pw-Secret-8842";
const char kTypedId[] = "typed-user-5521";
const char kTypedPassword[] = "Typed-Pw-5521";

// Reads without instrumentation: the range crosses the sanitizer's guard zones between globals.
__attribute__((noinline, no_sanitize("address"))) bool Holds(const char *from, const char *to,
                                                             const char *needle) {
    const std::size_t n = std::strlen(needle);
    for (const char *p = from; p + n <= to; ++p) {
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i) same = p[i] == needle[i];
        if (same) return true;
    }
    return false;
}

// The lowest mapped address of the main thread's stack.
const char *StackLow() {
    std::FILE *maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) return nullptr;
    char line[512];
    unsigned long low = 0, high = 0;
    const char *found = nullptr;
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        if (std::strstr(line, "[stack]") != nullptr &&
            std::sscanf(line, "%lx-%lx", &low, &high) == 2)
            found = reinterpret_cast<const char *>(low);
    }
    std::fclose(maps);
    return found;
}

// Stack below the caller's frame: what the library's finished calls left there.  Read without
// instrumentation, as those bytes belong to no live object.
__attribute__((noinline, no_sanitize("address"))) bool DeadStackHolds(const char *needle) {
    volatile char marker = 0;
    const char *top = const_cast<const char *>(&marker) - 64;
    const char *low = StackLow();
    if (low == nullptr || low >= top) return false;
    const std::size_t n = std::strlen(needle);
    for (const char *p = low; p + n <= top; ++p) {
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i) same = p[i] == needle[i];
        if (same) return true;
    }
    return false;
}

// Clears the stack below the caller, so that only what the calls under test leave is found.
__attribute__((noinline)) void ScrubStack() {
    volatile char pad[256 * 1024];
    for (std::size_t i = 0; i < sizeof pad; ++i) pad[i] = 0;
}

class Secrets : public ApiTest {
protected:
    void Expect(const char *secret, const char *what) {
        EXPECT_FALSE(Holds(&__data_start, &_end, secret)) << what << " in static data";
        EXPECT_FALSE(DeadStackHolds(secret)) << what << " on the stack";
    }
    AccountRequest Request() {
        std::memset(account, 0, sizeof account);
        std::memset(password, 0, sizeof password);
        return AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    }
    char account[128];
    char password[256];
};

TEST_F(Secrets, CardFlowAndPinCheckLeaveNoPinOrPassword) {
    description.pin = kPin;
    description.password = kCardPassword;
    PlaceCard();
    Configure(256, 1, 0x233);  // user ID and password remembered: scramble and unscramble run
    OpenAndSense();
    ScrubStack();
    FakeDialogScript({{FAKE_DIALOG_PIN, 2, "", "", kPin, nullptr, nullptr}});
    AccountRequest r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_OK);
    ASSERT_EQ(std::string(password, static_cast<std::size_t>(r.PasswordLength)), kCardPassword);
    r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_OK);  // silent reuse of the stored pair
    std::memset(password, 0, sizeof password);
    const std::string pin = kPin;
    ASSERT_RESULT(ZUKVerifyPIN(1, static_cast<int>(pin.size()), pin.c_str()), ZUK_OK);
    EXPECT_RESULT(ZUKVerifyPIN(1, 4, "0000"), ZUK_ERR_PIN_WRONG);
    Expect(kPin, "the PIN");
    Expect(kCardPassword, "the password");
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);
}

// The protected store unmasks, protects, opens and masks again: none of its clear copies stays.
TEST_F(Secrets, ProtectedStoreLeavesNoPassword) {
    description.password = kCardPassword;
    PlaceCard();
    Configure(256, 1, 0x233, "[Credentials]\nProtectPasswords=1\n");
    OpenAndSense();
    ScrubStack();
    FakeDialogScript({{FAKE_DIALOG_PIN, 2, "", "", "1234", nullptr, nullptr}});
    AccountRequest r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_OK);  // stored protected
    r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_OK);  // opened for the silent reuse
    ASSERT_EQ(std::string(password, static_cast<std::size_t>(r.PasswordLength)), kCardPassword);
    std::memset(password, 0, sizeof password);
    Expect(kCardPassword, "the password");
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);
}

TEST_F(Secrets, TypedCredentialsAreWipedOnceCopied) {
    Configure(768, 0, 0x233);
    ScrubStack();
    FakeDialogScript(
        {{FAKE_DIALOG_ID_PASSWORD, 2, kTypedId, kTypedPassword, "", nullptr, nullptr}});
    AccountRequest r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(0, &r, 0, nullptr), ZUK_OK);
    ASSERT_EQ(std::string(password, static_cast<std::size_t>(r.PasswordLength)), kTypedPassword);
    std::memset(account, 0, sizeof account);
    std::memset(password, 0, sizeof password);
    Expect(kTypedId, "the typed ID");
    Expect(kTypedPassword, "the typed password");
}

// Site keys: while the library is loaded its records hold them (every session needs them); no
// working copy outlives a load, a session or a remembered password, and the unload leaves none.
TEST_F(Secrets, SiteKeysLiveOnlyInTheLibrarysRecordsAndGoAtUnload) {
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid", "guid-0001");
    SiteKeys keys;
    SiteKeysWipe(&keys);
    const std::uint8_t reader[SITE_READER_KEYS_SIZE] = ZUK_READER_KEYS_INIT;  // the sample card's
    std::memcpy(keys.reader, reader, sizeof reader);
    for (std::size_t i = 0; i < sizeof keys.initial; ++i)
        keys.initial[i] = static_cast<std::uint8_t>(0xA1 + i);
    for (std::size_t i = 0; i < sizeof keys.operational; ++i)
        keys.operational[i] = static_cast<std::uint8_t>(0x31 + i);
    for (std::size_t i = 0; i < sizeof keys.mask; ++i)
        keys.mask[i] = static_cast<std::uint8_t>(0x81 + i);
    ASSERT_EQ(SiteKeyStoreWrite(0, keys), 0);
    std::memcpy(sim.heldKeys, keys.operational, 24);
    // The values as texts to look for (none holds a zero byte).
    const std::string operational(reinterpret_cast<char *>(keys.operational), 16);
    const std::string mask(reinterpret_cast<char *>(keys.mask), 16);
    SiteKeysWipe(&keys);

    ReleasePortMutex();
    LibraryDetach();
    ScrubStack();
    ASSERT_TRUE(LibraryAttach(nullptr));
    ASSERT_EQ(GetSiteKeySource().result, kKeyStoreOk);
    EXPECT_FALSE(DeadStackHolds(operational.c_str()))
        << "the load left the operational keys on the stack";
    EXPECT_FALSE(DeadStackHolds(mask.c_str())) << "the load left the mask on the stack";
    Configure(256, 1, 0x233);  // loads again, remembering ID and password
    ScrubStack();
    OpenAndSense();
    FakeDialogScript({{FAKE_DIALOG_PIN, 2, "", "", "1234", nullptr, nullptr}});
    AccountRequest r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_OK);
    r = Request();
    ASSERT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_OK);  // the stored pair, unmasked
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);
    EXPECT_FALSE(DeadStackHolds(operational.c_str())) << "the operational keys on the stack";
    EXPECT_FALSE(DeadStackHolds(mask.c_str())) << "the mask on the stack";
    EXPECT_TRUE(Holds(&__data_start, &_end, mask.c_str())) << "the records lost the mask";

    ReleasePortMutex();
    LibraryDetach();
    Expect(operational.c_str(), "the operational keys");
    Expect(mask.c_str(), "the mask");
}

}  // namespace
