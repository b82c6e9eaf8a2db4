// The host-driven exports through ZUKcntrl.dll against zuk-reader-sim: the account flow with the
// host's PIN in every outcome (right, wrong, locking, locked, revoked, no card, reader gone) with
// a hook on the calling thread that counts every window created (none may be), and ZUKCancel
// ending the card wait of ZUKWaitForCard and the card wait dialog of ZUKGetUserAccount.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "ZUKcntrl.h"
#include "api/workers.h"
#include "resources/dialog_ids.h"
#include "settings/revocation.h"
#include "tests/wine/support/sim_control.h"
#include "tests/wine/support/ui_watcher.h"
#include "tests/wine/support/wine_support.h"
#include "tools/zuk_exports.h"
#include "tests/result_expect.h"

namespace {

std::atomic<int> g_windowsCreated{0};

BOOL CALLBACK CountOne(HWND, LPARAM count) {
    ++*reinterpret_cast<int *>(count);
    return TRUE;
}

LRESULT CALLBACK CountWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) ++g_windowsCreated;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Counts the windows created on this thread while it lives; a thread that owns no window yet has
// none of its own afterwards either (EnumThreadWindows as a second witness).
struct WindowCounter {
    HHOOK hook;
    WindowCounter() : hook(SetWindowsHookExA(WH_CBT, CountWindows, nullptr, GetCurrentThreadId())) {
        g_windowsCreated = 0;
    }
    ~WindowCounter() { UnhookWindowsHookEx(hook); }
    static int ThreadWindows() {
        int n = 0;
        EnumThreadWindows(GetCurrentThreadId(), CountOne, reinterpret_cast<LPARAM>(&n));
        return n;
    }
};

class HostDrivenWine : public ::testing::Test {
protected:
    // No card revoked on the machine (a revocation from an earlier run must not stay behind).
    static void ForgetRevocation() { RevokeSampleCard(false); }
    void TearDown() override { ForgetRevocation(); }
    void SetUp() override {
        ASSERT_TRUE(sim.Connected());
        ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
        ForgetRevocation();
        const char *com = std::getenv("ZUK_SIM_COM");
        ASSERT_NE(com, nullptr);
        WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairRememberedNoReuse);
        WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + com +
                 "\r\nDeviceName=PR300\r\n[FeliCa]\r\nSystemCode=88B4\r\n[Card]\r\nPollingInterval="
                 "100\r\n");
    }
    int WithPin(const LoadedLibrary &lib, const char *pin, int *tries) {
        request = AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
        return lib.Get<UserAccountWithPinFn>("ZUKGetUserAccountWithPin")(
            kReaderHandle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, pin,
            static_cast<int>(std::strlen(pin)), tries);
    }

    SimControl sim;
    char account[128];
    char password[256];
    AccountRequest request{};
};

// The PIN tries read without a window, and the card wait ending on the card laid.
TEST_F(HostDrivenWine, TriesAndTheCardWait) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    int handle = -1;
    ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK);
    WindowCounter counter;
    int present = -1;
    ASSERT_RESULT(lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &present), ZUK_OK);
    int left = 0, limit = 0;
    EXPECT_RESULT(lib.Get<PinTriesFn>("ZUKGetPinTries")(kReaderHandle, &left, &limit), ZUK_OK);
    EXPECT_EQ(left, 3);
    EXPECT_EQ(limit, 3);
    ASSERT_EQ(sim.Command("remove"), "OK");
    auto wait = lib.Get<WaitForCardFn>("ZUKWaitForCard");
    EXPECT_EQ(wait(kReaderHandle, 1, 300, &present), 0);
    EXPECT_EQ(present, 0) << "timed out";
    CallThread laid;
    StartCall(&laid, [&] { return wait(kReaderHandle, 1, 20000, &present); });
    Sleep(300);
    ASSERT_EQ(sim.Command("place"), "OK");
    ASSERT_TRUE(FinishCall(&laid, 10000));
    EXPECT_EQ(laid.result, 0);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(g_windowsCreated.load(), 0);
    lib.Get<CloseFn>("ZUKClose")(kReaderHandle);
}

// ZUKCancel from this thread ends the card wait of another, the card wait dialog of
// ZUKGetUserAccount, the busy prompt of an export that meets a call in progress, and ZUKOpen's
// wait for a reader held elsewhere; the next call works.
TEST_F(HostDrivenWine, CancelEndsTheCardWaits) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    int handle = -1;
    ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK);
    ASSERT_EQ(sim.Command("remove"), "OK");
    auto cancel = lib.Get<CancelFn>("ZUKCancel");
    EXPECT_EQ(cancel(), 0) << "nothing waits: harmless";

    int present = -1;
    CallThread waiting;
    StartCall(&waiting, [&] {
        return lib.Get<WaitForCardFn>("ZUKWaitForCard")(kReaderHandle, 1, -1, &present);
    });
    Sleep(300);
    const DWORD start = GetTickCount();
    EXPECT_EQ(cancel(), 0);
    ASSERT_TRUE(FinishCall(&waiting, 10000));
    EXPECT_RESULT(waiting.result, ZUK_CANCELLED);
    EXPECT_LT(GetTickCount() - start, 2000u);

    request = AccountRequest{
        ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    CallThread dialog;
    StartCall(&dialog, [&] {
        return lib.Get<UserAccountFn>("ZUKGetUserAccount")(kReaderHandle, &request,
                                                           ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
    });
    SeenWindow cardWait;
    ASSERT_TRUE(WaitForDialogWith(ZUK_IDC_WAIT_CANCEL, &cardWait, dialog.id, 10000));
    EXPECT_EQ(cancel(), 0);
    ASSERT_TRUE(FinishCall(&dialog, 10000));
    EXPECT_RESULT(dialog.result, ZUK_CANCELLED);

    // The busy prompt of an export that meets the call in progress (a card wait): the cancel
    // closes the box and ends both calls.
    CallThread holder, busy;
    StartCall(&holder, [&] {
        return lib.Get<WaitForCardFn>("ZUKWaitForCard")(kReaderHandle, 1, -1, &present);
    });
    Sleep(300);
    int sensed = 0;
    StartCall(&busy, [&] { return lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &sensed); });
    SeenWindow box;
    ASSERT_TRUE(WaitForWindow(&box, 10000, busy.id));
    EXPECT_EQ(cancel(), 0);
    ASSERT_TRUE(FinishCall(&busy, 10000));
    ASSERT_TRUE(FinishCall(&holder, 10000));
    EXPECT_RESULT(busy.result, ZUK_CANCELLED);
    EXPECT_RESULT(holder.result, ZUK_CANCELLED);
    EXPECT_TRUE(WaitGone(box.hwnd, 5000));

    ASSERT_EQ(sim.Command("place"), "OK");
    EXPECT_RESULT(lib.Get<WaitForCardFn>("ZUKWaitForCard")(kReaderHandle, 1, 2000, &present),
                  ZUK_OK);
    EXPECT_EQ(present, 1);
    int tries = 0;
    EXPECT_EQ(WithPin(lib, "1234", &tries), 0);
    lib.Get<CloseFn>("ZUKClose")(kReaderHandle);

    // ZUKOpen waiting for the reader held elsewhere (here by this thread): handle 0, nothing held,
    // and the open works once the reader is free.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "ZUK_PORT_MUTEX");
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    CallThread open;
    int opened = 7;
    StartCall(&open, [&] { return lib.Get<OpenFn>("ZUKOpen")(&opened); });
    Sleep(300);
    EXPECT_EQ(cancel(), 0);
    ASSERT_TRUE(FinishCall(&open, 10000));
    EXPECT_EQ(open.result, ZUK_CANCELLED);
    EXPECT_EQ(opened, 0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    ASSERT_EQ(lib.Get<OpenFn>("ZUKOpen")(&opened), 0);
    lib.Get<CloseFn>("ZUKClose")(kReaderHandle);
}

// Every outcome of the flow with the host's PIN comes back at once, and no window is created on
// the calling thread in any of them.  Last: its last step closes the simulator's line for good.
TEST_F(HostDrivenWine, EveryOutcomeWithoutAWindow) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    int handle = -1;
    ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK);
    WindowCounter counter;
    struct Step {
        const char *name;
        const char *simCommand;  // given to the simulator first (null: none)
        bool revoke;
        const char *pin;
        int expected;
        int tries;
    };
    const Step steps[] = {
        {"right PIN", nullptr, false, "1234", ZUK_OK, 3},
        {"wrong PIN", nullptr, false, "0000", ZUK_ERR_PIN_WRONG, 2},
        {"wrong PIN again", nullptr, false, "0000", ZUK_ERR_PIN_WRONG, 1},
        {"wrong PIN that locks", nullptr, false, "0000", ZUK_ERR_PIN_LOCKED_NOW, 0},
        {"locked card", nullptr, false, "1234", ZUK_ERR_CARD_LOCKED, 0},
        {"revoked card", "card " ZUK_SIM_CARD_FILE, true, "1234", ZUK_ERR_CARD_LOCKED, -1},
        {"no card", "remove", false, "1234", ZUK_ERR_NO_CARD, -1},
        {"reader gone", "close", false, "1234", -2, -1},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        if (s.simCommand != nullptr) {
            ASSERT_EQ(sim.Command(s.simCommand), "OK");
        }
        if (s.revoke) {
            ASSERT_TRUE(RevokeSampleCard(true));
        }
        int tries = 99;
        const DWORD start = GetTickCount();
        const int result = WithPin(lib, s.pin, &tries);
        if (s.expected == -2) {
            EXPECT_TRUE(result == ZUK_ERR_PORT_IO || result == ZUK_ERR_CARD_IO ||
                        result == ZUK_ERR_INCOMPLETE || result == ZUK_ERR_NO_CARD)
                << result;
        } else {
            EXPECT_EQ(result, s.expected);
        }
        EXPECT_EQ(tries, s.tries);
        EXPECT_LT(GetTickCount() - start, 10000u) << "returned at once, not after a prompt";
        EXPECT_EQ(g_windowsCreated.load(), 0);
        EXPECT_EQ(WindowCounter::ThreadWindows(), 0);
        if (s.expected == ZUK_OK) {
            EXPECT_EQ(std::string(account, static_cast<std::size_t>(request.AccountLength)),
                      "alice");
        }
    }
    // No ZUKClose on the line that is gone: its failure would bring up the retry prompt of the
    // eleven exports; the unload closes the session without one.
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
