// The host-driven exports over the simulated reader: the account flow with the host's PIN in each
// outcome (and never a window), the remembered-pair rules it keeps, the PIN tries, the card wait,
// and ZUKCancel ending each kind of wait from a second thread without leaking into the next call.
#include <atomic>
#include <cstring>
#include <thread>

#include "api/api_state.h"
#include "api_fixture.h"
#include "card/reader_mutex.h"
#include "platform/mutex.h"
#include "settings/credentials.h"
#include "settings/revocation.h"
#include "tests/result_expect.h"

namespace {

class HostDriven : public StoredPairTest {
protected:
    // The account call with the host's PIN into the fixture's buffers.
    int WithPin(const char *pin, int mode = ZUK_ACCOUNT_MODE_INTERACTIVE) {
        std::memset(account, 0x55, sizeof account);
        std::memset(password, 0x55, sizeof password);
        request = AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
        tries = 99;
        return ZUKGetUserAccountWithPin(1, &request, mode, pin, static_cast<int>(std::strlen(pin)),
                                        &tries);
    }

public:
    // No window of any kind came up: no prompt or notice dialog, no message box, no card-access
    // window.
    static void ExpectNoWindow(const char *what) {
        EXPECT_TRUE(FakeDialogsShown().empty()) << what;
        EXPECT_TRUE(FakeMessageBoxesShown().empty()) << what;
        EXPECT_EQ(FakeAccessingOpened(), 0) << what;
    }
    void Replace(int failures, int limit = 3) {
        RemoveCard();
        description.failureCount = failures;
        description.retryLimit = limit;
        PlaceCard();
    }

    int tries = 0;
};

// Each outcome of the flow, attended (the library would show its windows), returned at once with
// the tries the card has left, and no window in any of them.
TEST_F(HostDriven, EachOutcomeReturnsAtOnceWithTheTriesAndNoWindow) {
    struct Case {
        const char *name;
        std::uint32_t mode;  // the library's Mode
        void (*arrange)(HostDriven *t);
        const char *pin;
        int expected;
        int triesLeft;
        const char *pair;  // what the host's buffers hold afterwards (null: not checked)
    };
    const Case cases[] = {
        {"right PIN", kLibraryModeCard, [](HostDriven *) {}, "1234", ZUK_OK, 3, "alice/"},
        {"wrong PIN", kLibraryModeCard, [](HostDriven *) {}, "9999", ZUK_ERR_PIN_WRONG, 2, nullptr},
        {"wrong PIN that locks", kLibraryModeCard, [](HostDriven *t) { t->Replace(2); }, "9999",
         ZUK_ERR_PIN_LOCKED_NOW, 0, nullptr},
        {"locked card, right PIN", kLibraryModeCard, [](HostDriven *t) { t->Replace(3); }, "1234",
         ZUK_ERR_CARD_LOCKED, 0, nullptr},
        {"card without a limit", kLibraryModeCard, [](HostDriven *t) { t->Replace(0, 0); }, "1234",
         ZUK_OK, -1, "alice/"},
        {"revoked card", kLibraryModeCard,
         [](HostDriven *t) {
             FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card",
                              t->IdmText());
         },
         "1234", ZUK_ERR_CARD_LOCKED, -1, nullptr},
        {"no card", kLibraryModeCard, [](HostDriven *t) { t->RemoveCard(); }, "1234",
         ZUK_ERR_NO_CARD, -1, nullptr},
        {"no card, card or typed", kLibraryModeCardOrTyped, [](HostDriven *t) { t->RemoveCard(); },
         "1234", ZUK_ERR_NO_CARD, -1, nullptr},
        {"reader gone", kLibraryModeCard, [](HostDriven *t) { t->sim.faults.closed = true; },
         "1234", ZUK_ERR_PORT_IO, -1, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Configure(c.mode, kDeviceReader, kTestConfig);
        Open();
        c.arrange(this);
        EXPECT_EQ(WithPin(c.pin), c.expected);
        EXPECT_EQ(tries, c.triesLeft);
        if (c.pair != nullptr) {
            EXPECT_EQ(Pair(), c.pair);
        }
        ExpectNoWindow(c.name);
        EXPECT_FALSE(ApiIsBusy());
        TearDown();
    }
}

// A wrong PIN counts on the card as the library's prompt does, and the tries read back agree with
// what the failed call reported; the right PIN resets the count.
TEST_F(HostDriven, PinTriesFollowTheCardWithoutAWindow) {
    OpenAndSense();
    int left = 0, limit = 0;
    ASSERT_RESULT(ZUKGetPinTries(1, &left, &limit), ZUK_OK);
    EXPECT_EQ(left, 3);
    EXPECT_EQ(limit, 3);
    ASSERT_RESULT(WithPin("0000"), ZUK_ERR_PIN_WRONG);
    ASSERT_RESULT(ZUKGetPinTries(1, &left, &limit), ZUK_OK);
    EXPECT_EQ(left, tries);
    EXPECT_EQ(left, 2);
    // Reading the tries twice changes nothing on the card.
    ASSERT_RESULT(ZUKGetPinTries(1, &left, &limit), ZUK_OK);
    EXPECT_EQ(left, 2);
    ASSERT_RESULT(WithPin("1234"), ZUK_OK);
    ASSERT_RESULT(ZUKGetPinTries(1, &left, &limit), ZUK_OK);
    EXPECT_EQ(left, 3);
    ExpectNoWindow("tries");

    struct Case {
        const char *name;
        int failures, retryLimit;
        bool pin;
        int expected, left, limit;
    };
    const Case cases[] = {
        {"locked", 3, 3, true, ZUK_OK, 0, 3},
        {"no limit", 5, 0, true, ZUK_OK, -1, 0},
        {"no PIN", 0, 3, false, ZUK_ERR_NO_DATA, 77, 77},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RemoveCard();
        description.failureCount = c.failures;
        description.retryLimit = c.retryLimit;
        if (!c.pin) description.pin.clear();
        PlaceCard();
        int present = 0;
        ASSERT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
        left = limit = 77;
        EXPECT_EQ(ZUKGetPinTries(1, &left, &limit), c.expected);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(limit, c.limit);
    }
    EXPECT_RESULT(ZUKGetPinTries(2, &left, &limit), ZUK_ERR_HANDLE);
    EXPECT_RESULT(ZUKGetPinTries(1, nullptr, &limit), ZUK_ERR_PARAM);
}

// The remembered-pair rules of the account flow hold with the host's PIN: silent reuse of a
// complete remembered pair (no card read, so no PIN tried), and hand-over then pick-up.
TEST_F(HostDriven, RememberedPairsAreReusedHandedOverAndPickedUp) {
    Configure(kLibraryModeCard, kDeviceReader,
              kRememberStoreNonVolatile | kRememberNothing | kInputIdAndPassword);
    Open();
    ASSERT_RESULT(WithPin("1234", ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER), ZUK_OK);
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    ASSERT_RESULT(WithPin("", ZUK_ACCOUNT_MODE_PICKUP), ZUK_OK);
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    EXPECT_RESULT(WithPin("", ZUK_ACCOUNT_MODE_PICKUP), ZUK_ERR_ACCOUNT_STORE) << "picked up once";

    Configure(kLibraryModeCard, kDeviceReader,
              kRememberStoreNonVolatile | kRememberIdAndPassword | kInputIdAndPassword);
    ASSERT_RESULT(WithPin("1234"), ZUK_OK);
    RemoveCard();
    EXPECT_RESULT(WithPin("9999"), ZUK_OK) << "the remembered pair, without the card";
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    ExpectNoWindow("pairs");
}

// Arguments: a negative PIN length or a missing PIN is refused before anything else happens.
TEST_F(HostDriven, RefusesABadPinArgument) {
    Open();
    AccountRequest r{
        ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    int left = 5;
    EXPECT_RESULT(ZUKGetUserAccountWithPin(1, &r, 0, "1234", -1, &left), ZUK_ERR_PARAM);
    EXPECT_EQ(left, -1);
    EXPECT_RESULT(ZUKGetUserAccountWithPin(1, &r, 0, nullptr, 4, nullptr), ZUK_ERR_PARAM);
    EXPECT_RESULT(ZUKGetUserAccountWithPin(1, nullptr, 0, "1234", 4, nullptr), ZUK_ERR_PARAM);
    EXPECT_RESULT(ZUKGetUserAccountWithPin(1, &r, 0x2000, "1234", 4, nullptr), ZUK_ERR_PARAM);
    ExpectNoWindow("arguments");
}

// The serial device of the fixture with a change of the card after `frames` frames from the
// host, made on the waiting thread between two of its polls.
struct ChangingReader {
    HostDriven *test;
    FakeSerialDevice inner;
    int frames;
    bool lay;  // lay the card (else take it away)
    static bool Receive(void *context, const std::uint8_t *data, std::size_t length,
                        std::uint32_t baud) {
        ChangingReader *c = static_cast<ChangingReader *>(context);
        if (--c->frames == 0) c->lay ? c->test->PlaceCard() : c->test->RemoveCard();
        return c->inner.receive(c->inner.context, data, length, baud);
    }
    static std::size_t Transmit(void *context, std::uint8_t *out, std::size_t capacity) {
        ChangingReader *c = static_cast<ChangingReader *>(context);
        return c->inner.transmit(c->inner.context, out, capacity);
    }
    static void Purge(void *context) {
        ChangingReader *c = static_cast<ChangingReader *>(context);
        c->inner.purge(c->inner.context);
    }
    FakeSerialDevice Device() { return FakeSerialDevice{this, Receive, Transmit, Purge}; }
};

// The card wait polls the reader itself at the polling period until the card is laid or taken
// away, or the time-out passes (ZUK_OK with the state at the end).
TEST_F(HostDriven, WaitForCardEndsOnTheChangeOrTheTimeOut) {
    Open();
    int present = -1;
    EXPECT_RESULT(ZUKWaitForCard(1, 1, 0, &present), ZUK_OK);
    EXPECT_EQ(present, 1) << "already there";

    struct Case {
        const char *name;
        bool lay;
        int timeoutMs;
        int frames;  // frames until the change (0: none)
        int expectPresent;
    };
    const Case cases[] = {
        {"laid", true, -1, 4, 1},
        {"taken away", false, 10000, 4, 0},
        {"time-out", true, 1000, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.lay) RemoveCard();
        else PlaceCard();
        ChangingReader changing{this, SimReaderFakeDevice(&sim), c.frames > 0 ? c.frames : -1,
                                c.lay};
        FakeSerialConnect(kSimPort, changing.Device());
        const std::uint64_t before = FakeSleptMilliseconds();
        EXPECT_RESULT(ZUKWaitForCard(1, c.lay ? 1 : 0, c.timeoutMs, &present), ZUK_OK);
        EXPECT_EQ(present, c.expectPresent);
        const std::uint64_t waited = FakeSleptMilliseconds() - before;
        if (c.frames == 0) {
            EXPECT_GE(waited, 1000u);
        } else {
            EXPECT_LT(waited, 10000u);
        }
        FakeSerialConnect(kSimPort, SimReaderFakeDevice(&sim));
    }
    EXPECT_RESULT(ZUKWaitForCard(1, 2, 0, &present), ZUK_ERR_PARAM);
    EXPECT_RESULT(ZUKWaitForCard(1, 1, -2, &present), ZUK_ERR_PARAM);
    EXPECT_RESULT(ZUKWaitForCard(1, 1, 0, nullptr), ZUK_ERR_PARAM);
    EXPECT_RESULT(ZUKWaitForCard(0, 1, 0, &present), ZUK_ERR_HANDLE);
    ExpectNoWindow("card wait");
}

// Runs call on a second thread and cancels it from this one once `waiting` says it waits (a
// cancel that came before the wait began would end the call too, and prove nothing of the wait).
template <typename Call, typename Waiting>
int CancelledFromAnotherThread(Call call, Waiting waiting) {
    std::atomic<int> result{12345};
    std::atomic<bool> done{false};
    std::thread caller([&] {
        result = call();
        done = true;
    });
    while (!waiting() && !done) std::this_thread::yield();
    EXPECT_FALSE(done) << "the call ended before it was cancelled";
    EXPECT_RESULT(ZUKCancel(), ZUK_OK);
    caller.join();
    return result;
}

// ZUKCancel ends each kind of wait with ZUK_CANCELLED; the call releases what it holds and the
// next call works.
TEST_F(HostDriven, CancelEndsEachKindOfWait) {
    Open();
    RemoveCard();
    // The card wait of the host-driven export.
    int present = -1;
    std::atomic<int> polls{0};
    struct Counting {
        std::atomic<int> *polls;
        FakeSerialDevice inner;
        static bool Receive(void *c, const std::uint8_t *d, std::size_t n, std::uint32_t b) {
            Counting *k = static_cast<Counting *>(c);
            ++*k->polls;
            return k->inner.receive(k->inner.context, d, n, b);
        }
        static std::size_t Transmit(void *c, std::uint8_t *o, std::size_t n) {
            Counting *k = static_cast<Counting *>(c);
            return k->inner.transmit(k->inner.context, o, n);
        }
        static void Purge(void *c) {
            static_cast<Counting *>(c)->inner.purge(static_cast<Counting *>(c)->inner.context);
        }
    } counting{&polls, SimReaderFakeDevice(&sim)};
    FakeSerialConnect(kSimPort, FakeSerialDevice{&counting, Counting::Receive, Counting::Transmit,
                                                 Counting::Purge});
    EXPECT_RESULT(CancelledFromAnotherThread([&] { return ZUKWaitForCard(1, 1, -1, &present); },
                                             [&] { return polls > 20; }),
                  ZUK_CANCELLED);
    EXPECT_EQ(present, 0);
    EXPECT_FALSE(ApiIsBusy());
    FakeSerialConnect(kSimPort, SimReaderFakeDevice(&sim));

    // The wait of a host-driven call for the call in progress (here: the frame held by the test),
    // on the wall clock so that its bound does not pass before the cancel.
    FakeEventRealWaits(true);
    ASSERT_EQ(EnterApi(), 0);
    int left = 0, limit = 0;
    const std::uint64_t before = FakeSleptMilliseconds();
    EXPECT_RESULT(
        CancelledFromAnotherThread([&] { return ZUKGetPinTries(1, &left, &limit); },
                                   [&] { return FakeSleptMilliseconds() >= before + 40; }),
        ZUK_CANCELLED);
    EXPECT_TRUE(ApiIsBusy()) << "the frame stays the holder's";
    LeaveApi();
    FakeEventRealWaits(false);

    // The card wait dialog of ZUKGetUserAccount.
    FakeDialogHoldUntilCancelled(true);
    AccountRequest r{
        ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    EXPECT_RESULT(CancelledFromAnotherThread([&] { return ZUKGetUserAccount(1, &r, 0, nullptr); },
                                             [] { return FakeDialogHeldNow(); }),
                  ZUK_CANCELLED);
    EXPECT_EQ(r.AccountLength, 0);
    EXPECT_EQ(r.PasswordLength, 0);
    FakeDialogHoldUntilCancelled(false);
    EXPECT_FALSE(ApiIsBusy());

    // The next calls work, and the cancels leaked into none of them.
    PlaceCard();
    EXPECT_RESULT(ZUKWaitForCard(1, 1, 1000, &present), ZUK_OK);
    EXPECT_EQ(present, 1);
    EXPECT_RESULT(WithPin("1234"), ZUK_OK);
    EXPECT_TRUE(FakeMessageBoxesShown().empty());
}

// ZUKOpen waiting for the reader another thread (or process) holds ends with ZUK_CANCELLED: it
// holds nothing afterwards, and opens once the reader is free.
TEST_F(HostDriven, CancelEndsTheOpenWaitForTheReader) {
    std::atomic<bool> holding{false}, release{false};
    std::thread other([&] {
        PlatHandle m = PlatMutexCreate(ZUK_PORT_MUTEX_NAME);
        PlatMutexWait(m, PLAT_WAIT_FOREVER);
        holding = true;
        while (!release) std::this_thread::yield();
        PlatMutexRelease(m);
        PlatHandleClose(m);
    });
    while (!holding) std::this_thread::yield();
    int handle = 7;
    std::atomic<bool> started{false};
    EXPECT_RESULT(CancelledFromAnotherThread(
                      [&] {
                          started = true;
                          return ZUKOpen(&handle);
                      },
                      [&] {
                          if (!started) return false;
                          // Let the open reach its wait (a cancel before it ends the call as well).
                          std::this_thread::sleep_for(std::chrono::milliseconds(100));
                          return true;
                      }),
                  ZUK_CANCELLED);
    EXPECT_EQ(handle, 0);
    EXPECT_FALSE(PortMutexHeld());
    EXPECT_FALSE(ApiIsBusy());
    release = true;
    other.join();
    Open();
}

// The frame's retry loop: a cancel while the retry prompt is up ends the call with ZUK_CANCELLED
// instead of another attempt, and shows no further prompt.
TEST_F(HostDriven, CancelEndsTheRetryLoop) {
    Open();
    sim.faults.closed = true;
    FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDRETRY});
    FakeMessageBoxSetHook([](const FakeMessageBox &, void *) { ZUKCancel(); }, nullptr);
    int present = 0;
    EXPECT_RESULT(ZUKSenseCard(1, &present), ZUK_CANCELLED);
    EXPECT_EQ(FakeMessageBoxesShown().size(), 1u);
    FakeMessageBoxSetHook(nullptr, nullptr);
    sim.faults.closed = false;
    EXPECT_FALSE(ApiIsBusy());
}

// A cancel with no call waiting does nothing: the next wait still times out or finds the card,
// the next account call runs, and a busy host-driven call gives up after its bound.
TEST_F(HostDriven, ACancelWithNothingWaitingLeaksIntoNoLaterCall) {
    Open();
    EXPECT_RESULT(ZUKCancel(), ZUK_OK);
    EXPECT_RESULT(ZUKCancel(), ZUK_OK);
    RemoveCard();
    int present = -1;
    EXPECT_RESULT(ZUKWaitForCard(1, 1, 500, &present), ZUK_OK);
    EXPECT_EQ(present, 0);
    PlaceCard();
    EXPECT_RESULT(WithPin("1234"), ZUK_OK);

    ASSERT_EQ(EnterApi(), 0);
    int left = 0, limit = 0;
    const std::uint64_t before = FakeSleptMilliseconds();
    EXPECT_RESULT(ZUKGetPinTries(1, &left, &limit), ZUK_ERR_BUSY);
    EXPECT_GE(FakeSleptMilliseconds() - before, kHostWaitForCallMs);
    LeaveApi();
    ExpectNoWindow("after cancel");
}

}  // namespace
