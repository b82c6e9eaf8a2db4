// Failing-call sweep: the whole account flow (open, sense, PIN, account read, remembered pair
// written, close) and the library's attach, run once for every platform call they make with that
// one call failing (steps whose outcome the flow ignores, such as the deactivation before a
// close, may fail unnoticed).  Every run ends with documented codes, leaves no busy frame, held
// mutex or open registry key, and a following run without failures succeeds in the same process.
#include <cstring>

#include "api_fixture.h"

namespace {

class FailingCallSweep : public ApiTest {
protected:
    // Open, sense, the account with its PIN prompt, close: every result.
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
        AccountRequest r{ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password,
                         sizeof password, 0, 0};
        results.push_back(ZUKGetUserAccount(1, &r, 0, nullptr));
        results.push_back(ZUKClose(1));
        return results;
    }
    void ExpectCleanEnd(const std::vector<int> &results) {
        for (int code : results) EXPECT_TRUE(IsDocumentedResult(code)) << std::hex << code;
        EXPECT_FALSE(ApiIsBusy());
        // The mutex is held only with a session; a close whose port would not close keeps the
        // session (the host may close again) but gives the mutex back, as every close does.
        EXPECT_TRUE(!FakeMutexOwned(ZUK_PORT_MUTEX_NAME) || CardSessionIsOpen() == 1);
        EXPECT_EQ(FakeRegOpenKeyCount(), 0);
    }
    // The faults cleared, the same process runs the whole flow again without a failure.
    void ExpectRecovery() {
        FakeSerialFailNth(FAKE_SERIAL_OPEN, 0);
        for (int op = 0; op < FAKE_SERIAL_OP_COUNT; ++op)
            FakeSerialFailNth(static_cast<FakeSerialOp>(op), 0);
        FakeRegFailSet(0, 0);
        FakeRegFailDelete(0, 0);
        FakeRegFailCreate(0, 0);
        FakeMutexFailCreate(false);
        FakeSetLocalTimeFails(false);
        FakeAccessingFails(false);
        if (CardSessionIsOpen() == 1) {
            FakeMessageBoxScript({PLAT_IDCANCEL});
            (void)ZUKClose(1);
        }
        EXPECT_EQ(Flow(), (std::vector<int>{0, 0, 0, 0}));
        EXPECT_EQ(FakeDialogUnexpected(), 0);
    }
    void Fresh() {
        ReleasePortMutex();
        SetUp();
        Configure(256, 1, 0x233);  // user ID and password remembered durably
    }
};

TEST_F(FailingCallSweep, EverySerialCallOfTheFlow) {
    Fresh();
    ASSERT_EQ(Flow(), (std::vector<int>{0, 0, 0, 0}));
    int counts[FAKE_SERIAL_OP_COUNT];
    for (int op = 0; op < FAKE_SERIAL_OP_COUNT; ++op)
        counts[op] = FakeSerialCallCount(static_cast<FakeSerialOp>(op));
    int runs = 0;
    for (int op = 0; op < FAKE_SERIAL_OP_COUNT; ++op) {
        for (int n = 1; n <= counts[op]; ++n) {
            SCOPED_TRACE("serial operation " + std::to_string(op) + ", call " + std::to_string(n));
            Fresh();
            FakeSerialFailNth(static_cast<FakeSerialOp>(op), n);
            const std::vector<int> results = Flow();
            ExpectCleanEnd(results);
            ExpectRecovery();
            ++runs;
        }
    }
    EXPECT_GT(runs, 50);
}

TEST_F(FailingCallSweep, EveryRegistryWriteOfTheFlowAndOfAttach) {
    void (*const arm[])(int, long) = {FakeRegFailSet, FakeRegFailDelete, FakeRegFailCreate};
    int failed = 0;
    for (auto fail : arm) {
        for (int n = 1; n < 50; ++n) {
            SCOPED_TRACE("registry operation, call " + std::to_string(n));
            Fresh();
            fail(n, 5);  // access denied
            const std::vector<int> results = Flow();
            if (FakeRegFailurePending()) break;  // the flow makes fewer calls than n
            ++failed;
            ExpectCleanEnd(results);
            ExpectRecovery();
        }
        // Attach: a failure there refuses the load, which a clean attach then accepts.
        for (int n = 1; n < 10; ++n) {
            Fresh();
            fail(n, 5);
            ResetSettings();
            const bool loaded = LibraryAttach(nullptr);
            if (FakeRegFailurePending()) {
                EXPECT_TRUE(loaded);
                break;
            }
            EXPECT_FALSE(loaded);
            EXPECT_EQ(FakeRegOpenKeyCount(), 0);
            ResetSettings();
            EXPECT_TRUE(LibraryAttach(nullptr));
        }
    }
    EXPECT_GT(failed, 0);
}

TEST_F(FailingCallSweep, FacilitiesThatFailThroughout) {
    struct Case {
        const char *name;
        void (*arm)();
    };
    const Case cases[] = {
        {"reader mutex", [] { FakeMutexFailCreate(true); }},
        {"local time", [] { FakeSetLocalTimeFails(true); }},
        {"card access window", [] { FakeAccessingFails(true); }},
        {"current user's registry", [] { FakeRegFailCurrentUser(5); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        c.arm();
        ExpectCleanEnd(Flow());
        FakeRegFailCurrentUser(0);
        ExpectRecovery();
    }
}

}  // namespace
