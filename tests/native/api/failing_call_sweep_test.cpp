// Failing-call sweep: the whole account flow (open, sense, PIN, account read, remembered pair
// written masked or protected, close) and the library's attach, run once for every platform call
// they make with that one call failing, and once with each kind of call failing throughout (steps
// whose outcome the flow ignores, such as the deactivation before a close, may fail unnoticed).
// Every run ends with documented codes, leaves no busy frame, held mutex or open registry key, and
// a following run without failures succeeds in the same process.
#include <cstring>

#include "api_fixture.h"
#include "tests/result_expect.h"

namespace {

class FailingCallSweep : public ApiTest {
protected:
    // Open, sense, the account with its PIN prompt, close: every result.  With protected
    // passwords a second account call hands back the pair just stored, so that it is opened.
    std::vector<int> Flow() {
        FakeMessageBoxScript(std::vector<int>(8, PLAT_IDCANCEL));
        FakeDialogScript(std::vector<FakeDialogStep>(
            3, FakeDialogStep{FAKE_DIALOG_PIN, 2, "", "", "1234", nullptr, nullptr}));
        std::vector<int> results;
        int handle = 0;
        results.push_back(ZUKOpen(&handle));
        int present = 0;
        results.push_back(ZUKSenseCard(1, &present));
        char account[128];
        char password[256];
        AccountRequest r{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
        results.push_back(ZUKGetUserAccount(1, &r, 0, nullptr));
        if (protect) {
            r = AccountRequest{ZUK_ACCOUNT_REQUEST_VERSION,
                               account,
                               sizeof account,
                               password,
                               sizeof password,
                               0,
                               0};
            results.push_back(ZUKGetUserAccount(1, &r, 0, nullptr));
        }
        results.push_back(ZUKClose(1));
        return results;
    }
    std::vector<int> Succeeded() const { return std::vector<int>(protect ? 5 : 4, 0); }
    void ExpectCleanEnd(const std::vector<int> &results, FakeCall failing) {
        for (int code : results) EXPECT_TRUE(IsDocumentedResult(code)) << ResultName(code);
        EXPECT_FALSE(ApiIsBusy());
        // The mutex is held only with a session; a close whose port would not close keeps the
        // session (the host may close again) but gives the mutex back, as every close does.  (A
        // release the system refuses leaves the mutex with its owner: nothing to give back.)
        if (failing != FAKE_CALL_MUTEX_RELEASE) {
            EXPECT_TRUE(!FakeMutexOwned(ZUK_PORT_MUTEX_NAME) || CardSessionIsOpen() == 1);
        }
        EXPECT_EQ(FakeRegOpenKeyCount(), 0);
    }
    // The faults cleared, the same process runs the whole flow again without a failure.
    void ExpectRecovery() {
        FakeFailNone();
        if (CardSessionIsOpen() == 1) {
            FakeMessageBoxScript({PLAT_IDCANCEL});
            (void)ZUKClose(1);
        }
        EXPECT_EQ(Flow(), Succeeded());
        EXPECT_EQ(FakeDialogUnexpected(), 0);
    }
    void Fresh() {
        ReleasePortMutex();
        SetUp();
        // User ID and password remembered durably, masked or protected.
        Configure(256, 1, 0x233, protect ? "[Credentials]\nProtectPasswords=1\n" : "");
    }
    // Every platform call the flow makes, failing once at each of its calls, then failing
    // throughout; the number of kinds of call it makes.
    int Sweep() {
        Fresh();
        EXPECT_EQ(Flow(), Succeeded());
        int counts[FAKE_CALL_COUNT];
        for (int c = 0; c < FAKE_CALL_COUNT; ++c)
            counts[c] = FakeCallCount(static_cast<FakeCall>(c));
        int runs = 0, kinds = 0;
        for (int c = 0; c < FAKE_CALL_COUNT; ++c) {
            const FakeCall call = static_cast<FakeCall>(c);
            if (counts[c] > 0) ++kinds;
            for (int n = 1; n <= counts[c] + 1; ++n) {
                const bool every = n > counts[c];
                SCOPED_TRACE(std::string(FakeCallName(call)) +
                             (every ? ", every call" : ", call " + std::to_string(n)));
                Fresh();
                FakeFail(call, every ? FAKE_FAIL_EVERY : n);
                ExpectCleanEnd(Flow(), call);
                ExpectRecovery();
                ++runs;
            }
        }
        EXPECT_GT(runs, 150);
        return kinds;
    }

    bool protect = false;
};

// Every platform call the flow makes, failing once at each of its calls, then failing throughout.
TEST_F(FailingCallSweep, EveryPlatformCallOfTheFlow) {
    // Serial, registry, mutex, clock, environment, message box, PIN prompt, access window.
    EXPECT_GE(Sweep(), 18);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_PROTECT) + FakeCallCount(FAKE_CALL_UNPROTECT), 0);
}

// The same with the passwords protected: the data protection's two calls fail too.
TEST_F(FailingCallSweep, EveryPlatformCallOfTheFlowWithProtectedPasswords) {
    protect = true;
    EXPECT_GE(Sweep(), 20);
    Fresh();
    Flow();
    EXPECT_GT(FakeCallCount(FAKE_CALL_PROTECT), 0);
    EXPECT_GT(FakeCallCount(FAKE_CALL_UNPROTECT), 0);
}

// The load: each registry call it makes fails once; a refused load leaves no key open, and a clean
// attach afterwards loads.
TEST_F(FailingCallSweep, EveryPlatformCallOfAttach) {
    Fresh();
    int counts[FAKE_CALL_COUNT];
    for (int c = 0; c < FAKE_CALL_COUNT; ++c) counts[c] = FakeCallCount(static_cast<FakeCall>(c));
    ResetSettings();
    ASSERT_TRUE(LibraryAttach(nullptr));
    for (int c = 0; c < FAKE_CALL_COUNT; ++c)
        counts[c] = FakeCallCount(static_cast<FakeCall>(c)) - counts[c];
    int refused = 0;
    for (int c = 0; c < FAKE_CALL_COUNT; ++c) {
        const FakeCall call = static_cast<FakeCall>(c);
        for (int n = 1; n <= counts[c]; ++n) {
            SCOPED_TRACE(std::string(FakeCallName(call)) + ", call " + std::to_string(n));
            Fresh();
            FakeFail(call, n);
            ResetSettings();
            if (!LibraryAttach(nullptr)) ++refused;
            EXPECT_FALSE(FakeFailurePending());
            EXPECT_EQ(FakeRegOpenKeyCount(), 0);
            FakeFailNone();
            ResetSettings();
            EXPECT_TRUE(LibraryAttach(nullptr));
        }
    }
    EXPECT_GT(refused, 0) << "a machine value that cannot be read refuses the load";
}

// A prompt the system cannot show is answered as nobody at the screen would answer it: the retry
// and busy prompts as Cancel, so a call whose work fails ends instead of retrying for ever.
TEST_F(FailingCallSweep, APromptThatCannotBeShownEndsTheCall) {
    Fresh();
    FakeFail(FAKE_CALL_MESSAGE_BOX, FAKE_FAIL_EVERY);
    FakeFail(FAKE_CALL_SERIAL_OPEN, FAKE_FAIL_EVERY);
    int handle = 1;
    EXPECT_RESULT(ZUKOpen(&handle), ZUK_ERR_PORT_OPEN);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_MESSAGE_BOX), 1);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
}

}  // namespace
