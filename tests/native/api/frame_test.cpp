// The call frame: the message boxes, the retry loop, the busy prompt and the
// reader mutex rules, driven through the two query exports and through the frame itself.
#include <algorithm>
#include <atomic>
#include <thread>

#include <cstdio>
#include <cstring>

#include "api/frame.h"
#include "platform/mutex.h"
#include "platform/messagebox.h"
#include "settings/config.h"
#include "settings/messages.h"
#include "tests/native/support.h"
#include "tests/result_expect.h"

namespace {

class Frame : public LibraryTest {};

TEST_F(Frame, MessageBoxStyleLanguageAndTexts) {
    FakeSetSystemLcid(0x0411);
    ShowMessageBox(kMsgRetryCaption, kMsgRetryText, kStyleRetryCancel, nullptr);
    int parent = 0;
    ShowMessageBox(kMsgLockedCaption, kMsgLockedText, kStyleNotice, &parent);
    ShowMessageBox(0x12345678, 0x87654321, kStyleNotice, &parent);  // ids without a text
    const auto &shown = FakeMessageBoxesShown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].style,
              PLAT_MB_RETRYCANCEL | PLAT_MB_ICONEXCLAMATION | PLAT_MB_TOPMOST | PLAT_MB_TASKMODAL);
    EXPECT_EQ(shown[0].parent, nullptr);
    EXPECT_EQ(shown[0].language, 0x0411);
    EXPECT_EQ(shown[1].style, PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION)
        << "with a parent only the given style";
    EXPECT_EQ(shown[2].caption, "");
    EXPECT_EQ(shown[2].text, "");
}

TEST_F(Frame, VersionAndModeWorkers) {
    int version = 0;
    EXPECT_RESULT(ZUKGetLibVersion(&version), ZUK_OK);
    EXPECT_EQ(version, ZUK_LIB_VERSION);
    const struct {
        std::uint32_t registryMode;
        int reported;
    } modes[] = {{256, 256}, {768, 768}, {512, 0}, {0, 0}, {1, 0}};
    for (const auto &m : modes) {
        MutableSettings()->Mode = m.registryMode;
        int mode = -5;
        EXPECT_RESULT(ZUKGetLibMode(&mode, 12345), ZUK_OK) << m.registryMode;
        EXPECT_EQ(mode, m.reported) << m.registryMode;
    }
    MutableSettings()->Mode = 0;
    version = 7;
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKGetLibVersion(&version), ZUK_ERR_DISABLED);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(FakeMessageBoxUnexpected(), 0);
}

TEST_F(Frame, EachRetryCallsTheWorkerAgainUntilCancel) {
    FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDRETRY, PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKGetLibVersion(nullptr), ZUK_ERR_PARAM);
    const auto &shown = FakeMessageBoxesShown();
    ASSERT_EQ(shown.size(), 3u);
    for (const auto &box : shown) {
        EXPECT_EQ(box.style & 0xFF, PLAT_MB_RETRYCANCEL | PLAT_MB_ICONEXCLAMATION);
        EXPECT_EQ(box.parent, nullptr);
    }
    EXPECT_EQ(FakeSleptMilliseconds(), 200u) << "100 ms before each new attempt";
    EXPECT_FALSE(ApiIsBusy());
}

int CountingWorker(void *context) {
    int *calls = static_cast<int *>(context);
    ++*calls;
    return *calls < 3 ? ZUK_ERR_NO_CARD : ZUK_OK;
}

TEST_F(Frame, RetryEndsWhenTheWorkerSucceeds) {
    int calls = 0;
    FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDRETRY});
    const ExportFrame frame = {"ZUKSenseCard", kMsgRetryCaption, kMsgRetryText, false, false};
    EXPECT_EQ(RunExport(frame, CountingWorker, &calls), 0);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(FakeMessageBoxUnexpected(), 0);
}

// A call made while a prompt of another call is open (from a window procedure, or another
// thread) meets the busy prompt; Cancel gives 1792 and leaves the running call alone.
struct ReentryProbe {
    int nestedResult = 0;
    bool busyDuringNested = false;
    bool done = false;
};

void CallWhileOpen(const FakeMessageBox &box, void *context) {
    ReentryProbe *probe = static_cast<ReentryProbe *>(context);
    if (probe->done) return;
    probe->done = true;
    int mode = 0;
    probe->nestedResult = ZUKGetLibMode(&mode, 0);
    probe->busyDuringNested = ApiIsBusy();
    (void)box;
}

TEST_F(Frame, NestedCallMeetsTheBusyPrompt) {
    ReentryProbe probe;
    FakeMessageBoxSetHook(CallWhileOpen, &probe);
    // Outer retry prompt -> nested busy prompt (Retry once, then Cancel) -> outer Cancel.
    FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDCANCEL, PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKGetLibVersion(nullptr), ZUK_ERR_PARAM);
    EXPECT_RESULT(probe.nestedResult, ZUK_ERR_BUSY);
    EXPECT_TRUE(probe.busyDuringNested) << "the busy flag still belongs to the outer call";
    const auto &shown = FakeMessageBoxesShown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(FakeMessageBoxUnexpected(), 0);
    EXPECT_FALSE(ApiIsBusy());
}

TEST_F(Frame, BusyTracesEachPromptAndOnceMoreAtTheEnd) {
    MutableSettings()->LogMode = 1;
    std::string log = TestInstallDir() + "busy.log";
    std::remove(log.c_str());
    std::strcpy(MutableSettings()->LogFileName, log.c_str());
    ASSERT_EQ(EnterApi(), 0);
    FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDCANCEL});
    int version = 0;
    EXPECT_RESULT(ZUKGetLibVersion(&version), ZUK_ERR_BUSY);
    EXPECT_TRUE(ApiIsBusy()) << "Cancel on the busy prompt leaves the flag to its owner";
    LeaveApi();
    std::string text = ReadFile(log);
    size_t lines = 0;
    for (size_t p = text.find("ZUKGetLibVersion,ZUK,0x00000700"); p != std::string::npos;
         p = text.find("ZUKGetLibVersion,ZUK,0x00000700", p + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 3u) << text;
}

// Unattended hosts: the frame's prompts are not shown and answer Cancel at once, so the code and
// the trace are those of a person pressing Cancel on the first prompt.
class Unattended : public LibraryTest {
protected:
    std::string RunFailingCallsAndReadTrace(bool unattended);
};

std::string Unattended::RunFailingCallsAndReadTrace(bool unattended) {
    std::string log = TestInstallDir() + (unattended ? "unattended.log" : "attended.log");
    std::remove(log.c_str());
    FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                       std::string("[Log]\nMode=3\nFileName=") + log +
                           (unattended ? "\n[Prompt]\nUnattended=1\n" : "\n"));
    EXPECT_TRUE(Reattach());
    if (!unattended) FakeMessageBoxScript({PLAT_IDCANCEL, PLAT_IDCANCEL, PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKGetLibVersion(nullptr), ZUK_ERR_PARAM);
    int mode = 0;
    EXPECT_RESULT(ZUKGetLibMode(&mode, 0), ZUK_OK);
    EXPECT_RESULT(ZUKGetUserAccount(1, nullptr, 0, nullptr), ZUK_ERR_PARAM);
    EXPECT_EQ(EnterApi(), 0);
    EXPECT_RESULT(ZUKGetMaxLength(nullptr, nullptr), ZUK_ERR_BUSY);
    LeaveApi();
    EXPECT_EQ(FakeMessageBoxUnexpected(), 0);
    EXPECT_FALSE(ApiIsBusy());
    std::string text = ReadFile(log);
    // Time stamps differ between the runs: keep what follows them.
    std::string kept;
    for (std::size_t p = 0; p < text.size();) {
        std::size_t end = text.find('\n', p);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(p, end - p);
        kept += (line.size() > 20 ? line.substr(20) : line) + "\n";
        p = end + 1;
    }
    return kept;
}

TEST_F(Unattended, AnswersEveryFramePromptWithCancel) {
    const std::string attended = RunFailingCallsAndReadTrace(false);
    const std::size_t shown = FakeMessageBoxesShown().size();
    EXPECT_EQ(shown, 3u) << "two retry prompts and one busy prompt";
    const std::string unattended = RunFailingCallsAndReadTrace(true);
    EXPECT_EQ(FakeMessageBoxesShown().size(), shown) << "no box at all";
    EXPECT_EQ(unattended, attended);
    EXPECT_NE(attended.find("ZUKGetMaxLength,ZUK,0x00000700"), std::string::npos) << attended;
}

TEST_F(Unattended, OnlyTheValueOneSwitchesThePromptsOff) {
    for (const char *value : {"0", "2", "yes", "-1"}) {
        FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                           std::string("[Prompt]\nUnattended=") + value + "\n");
        ASSERT_TRUE(Reattach());
        EXPECT_FALSE(GetUnattended()) << value;
    }
    FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini", "[Prompt]\nUnattended=1\n");
    ASSERT_TRUE(Reattach());
    EXPECT_TRUE(GetUnattended());
}

// The process's environment wins over the INI, in both directions; anything but a plain number
// leaves the INI's value standing.
TEST_F(Unattended, TheProcessEnvironmentWinsOverTheIni) {
    struct Case {
        const char *ini;
        const char *unattended;  // nullptr: not set
        const char *openWait;
        bool expectUnattended;
        std::int32_t expectWait;
    };
    const Case cases[] = {
        {"", nullptr, nullptr, false, -1},
        {"[Prompt]\nUnattended=1\n[Device]\nOpenWait=2500\n", nullptr, nullptr, true, 2500},
        {"", "1", "0", true, 0},
        {"[Prompt]\nUnattended=1\n[Device]\nOpenWait=2500\n", "0", "100", false, 100},
        {"[Prompt]\nUnattended=1\n[Device]\nOpenWait=-5\n", "yes", "-1", true, -1},
        {"[Device]\nOpenWait=2500\n", "", "1e3", false, 2500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " / " + (c.unattended ? c.unattended : "-") + " / " +
                     (c.openWait ? c.openWait : "-"));
        FakePlatformReset();
        WriteValidMachineConfig();
        FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini", c.ini);
        if (c.unattended) FakeSetEnvironment(kEnvUnattended, c.unattended);
        if (c.openWait) FakeSetEnvironment(kEnvOpenWait, c.openWait);
        ASSERT_TRUE(Reattach());
        EXPECT_EQ(GetUnattended(), c.expectUnattended);
        EXPECT_EQ(GetOpenWaitMs(), c.expectWait);
    }
}

// A ZUK_OPEN_WAIT the library cannot use is said once in the trace at load, with what the open
// does instead: the INI's OpenWait, or no bound without one.
TEST_F(Unattended, AnUnusableOpenWaitOfTheProcessIsTracedWithWhatIsUsedInstead) {
    struct Case {
        const char *ini;
        const char *openWait;
        std::int32_t expectWait;
        const char *note;  // the trace line after the time stamp, or "" for none
    };
    const Case cases[] = {
        {"[Log]\nMode=1\n[Device]\nOpenWait=2500\n", "1500ms", 2500,
         "DllLoad,NOTE,ZUK_OPEN_WAIT \"1500ms\" is no number of milliseconds (0 to 999999999): "
         "ZUKOpen "
         "waits 2500 ms ([Device] OpenWait)"},
        {"[Log]\nMode=3\n", "abc", -1,
         "DllLoad,NOTE,ZUK_OPEN_WAIT \"abc\" is no number of milliseconds (0 to 999999999): "
         "ZUKOpen waits "
         "without bound for a reader another process holds (no [Device] OpenWait)"},
        {"[Log]\nMode=1\n", "4294967297", -1, "without bound"},
        {"[Log]\nMode=1\n", "1,5", -1, "ZUK_OPEN_WAIT \"1?5\""},  // the line keeps its fields
        {"[Log]\nMode=1\n", "1500", 1500, ""},
        {"[Log]\nMode=1\n", "", -1, ""},     // set empty: as not set
        {"[Log]\nMode=0\n", "abc", -1, ""},  // no trace at all
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " / " + c.openWait);
        FakePlatformReset();
        WriteValidMachineConfig();
        FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini", c.ini);
        FakeSetEnvironment(kEnvOpenWait, c.openWait);
        const std::string log = TestInstallDir() + "ZUKcntrl.log";
        std::remove(log.c_str());
        ASSERT_TRUE(Reattach());
        EXPECT_EQ(GetOpenWaitMs(), c.expectWait);
        const std::string trace = ReadFile(log);
        if (c.note[0] == '\0') {
            EXPECT_EQ(trace, "");
        } else {
            EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 1) << trace;
            EXPECT_NE(trace.find(c.note), std::string::npos) << trace;
        }
    }
}

// With a bounded open wait, a reader another thread (or process) holds makes ZUKOpen's frame give
// up with ZUK_ERR_BUSY: no prompt, no worker, nothing released that it did not take.
TEST_F(Frame, ABoundedOpenWaitEndsBusyWhileTheReaderIsHeldElsewhere) {
    FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini", "[Device]\nOpenWait=50\n");
    ASSERT_TRUE(Reattach());
    std::atomic<bool> holding{false}, done{false};
    std::thread other([&] {
        PlatHandle m = PlatMutexCreate(ZUK_PORT_MUTEX_NAME);
        PlatMutexWait(m, PLAT_WAIT_FOREVER);
        holding = true;
        while (!done) std::this_thread::yield();
        PlatMutexRelease(m);
        PlatHandleClose(m);
    });
    while (!holding) std::this_thread::yield();
    const ExportFrame open = {"ZUKOpen", kMsgRetryCaption, kMsgRetryText, true, false};
    static int calls;
    calls = 0;
    EXPECT_RESULT(RunExport(
                      open, [](void *) { return ++calls, 0; }, nullptr),
                  ZUK_ERR_BUSY);
    EXPECT_EQ(calls, 0);
    // ZUKOpen itself: the handle is 0 after this failure too, whatever the host left in it.
    int handle = 7;
    EXPECT_RESULT(ZUKOpen(&handle), ZUK_ERR_BUSY);
    EXPECT_EQ(handle, 0);
    EXPECT_TRUE(FakeMessageBoxesShown().empty());
    EXPECT_FALSE(PortMutexHeld());
    EXPECT_FALSE(ApiIsBusy());
    EXPECT_TRUE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME)) << "the other holder keeps it";
    done = true;
    other.join();
    // Once it is free the same open takes it.
    EXPECT_EQ(RunExport(
                  open, [](void *) { return ++calls, 0; }, nullptr),
              0);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(PortMutexHeld());
    ReleasePortMutex();
}

// A free reader is taken whatever the bound of the wait, 0 ms (ZUK_OPEN_WAIT=0, zukcli
// --no-wait) included: the wait tries the mutex before it counts the time.
TEST_F(Frame, AFreeReaderIsTakenWhateverTheOpenWait) {
    const ExportFrame open = {"ZUKOpen", kMsgRetryCaption, kMsgRetryText, true, false};
    for (const char *wait : {"0", "1", "50", "-1"}) {
        SCOPED_TRACE(wait);
        FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                           std::string("[Device]\nOpenWait=") + wait + "\n");
        ASSERT_TRUE(Reattach());
        EXPECT_EQ(RunExport(
                      open, [](void *) { return 0; }, nullptr),
                  0);
        EXPECT_TRUE(PortMutexHeld());
        ReleasePortMutex();
    }
}

TEST_F(Frame, TwoThreadsNeverRunAWorkerTogether) {
    std::atomic<int> inside{0};
    std::atomic<int> overlap{0};
    struct Ctx {
        std::atomic<int> *inside;
        std::atomic<int> *overlap;
    } ctx{&inside, &overlap};
    auto worker = [](void *c) -> int {
        Ctx *x = static_cast<Ctx *>(c);
        if (x->inside->fetch_add(1) != 0) ++*x->overlap;
        std::this_thread::yield();
        x->inside->fetch_sub(1);
        return 0;
    };
    // Busy prompts are answered with Retry for as long as the test runs.
    std::vector<int> retries(100000, PLAT_IDRETRY);
    FakeMessageBoxScript(retries);
    const ExportFrame frame = {"ZUKGetLibMode", kMsgBusyCaption, kMsgBusyText, false, false};
    auto run = [&] {
        for (int i = 0; i < 2000; ++i) RunExport(frame, worker, &ctx);
    };
    std::thread a(run), b(run);
    a.join();
    b.join();
    EXPECT_EQ(overlap.load(), 0);
}

int Fails(void *) { return ZUK_ERR_PORT_OPEN; }
int Succeeds(void *) { return ZUK_OK; }

TEST_F(Frame, PortMutexRules) {
    const ExportFrame open = {"ZUKOpen", kMsgRetryCaption, kMsgRetryText, true, false};
    const ExportFrame close = {"ZUKClose", kMsgRetryCaption, kMsgRetryText, false, true};

    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(RunExport(open, Fails, nullptr), ZUK_ERR_PORT_OPEN);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME)) << "a failed open releases the mutex";

    EXPECT_EQ(RunExport(open, Succeeds, nullptr), 0);
    EXPECT_TRUE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME)) << "held from open until close";

    // A second, failing open in the same process keeps the first open's hold.
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(RunExport(open, Fails, nullptr), ZUK_ERR_PORT_OPEN);
    EXPECT_TRUE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));

    // Close releases it whatever its result.
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(RunExport(close, Fails, nullptr), ZUK_ERR_PORT_OPEN);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));

    // An open that ends at the busy prompt releases it; a close that does keeps it.
    EXPECT_EQ(RunExport(open, Succeeds, nullptr), 0);
    ASSERT_EQ(EnterApi(), 0);
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(RunExport(close, Succeeds, nullptr), ZUK_ERR_BUSY);
    EXPECT_TRUE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    LeaveApi();
    EXPECT_EQ(RunExport(close, Succeeds, nullptr), 0);
    ASSERT_EQ(EnterApi(), 0);
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(RunExport(open, Succeeds, nullptr), ZUK_ERR_BUSY);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    LeaveApi();
}

TEST_F(Frame, SecondThreadWaitsForTheReaderMutex) {
    ASSERT_TRUE(AcquirePortMutex());
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        PlatHandle m = PlatMutexCreate(ZUK_PORT_MUTEX_NAME);
        PlatMutexWait(m, PLAT_WAIT_FOREVER);
        acquired = true;
        PlatMutexRelease(m);
        PlatHandleClose(m);
    });
    for (int i = 0; i < 50; ++i) std::this_thread::yield();
    EXPECT_FALSE(acquired.load());
    ReleasePortMutex();
    other.join();
    EXPECT_TRUE(acquired.load());
}

}  // namespace
