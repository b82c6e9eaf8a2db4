// zuk_native_bench: every export of the library's core (the native build over the in-memory
// platform), called as a host calls it, against the in-process simulated reader paced to real
// line time: 11 bit times a byte each way at the line speed, plus the reader's and the card's
// processing time.  Per call: wall time (min, median, max), the wire bound from the simulator's
// frame log, the library's own CPU time (the thread's CPU minus what the simulator spent) and
// the heap allocations the library made.  One JSON object a line; tools/bench/report.py turns
// them into the report.
//   zuk_native_bench [CALLS]
#include <execinfo.h>
#include <malloc.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "api/frame.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "api/api_state.h"
#include "card/reader_mutex.h"
#include "platform/mutex.h"
#include "card/felica.h"
#include "card/sensing.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "settings/config.h"
#include "settings/messages.h"
#include "settings/revocation.h"
#include "sim/line_pace.h"
#include "sim/sim_card.h"
#include "sim/sim_reader.h"
#include "zuk_build_constants.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void __libc_free(void *);

namespace {

// ZUK_BENCH_TRACE: frame times and the origin of every counted allocation on stderr.
bool g_trace = std::getenv("ZUK_BENCH_TRACE") != nullptr;
// Allocations are counted while a call runs, outside the simulator.
bool g_counting = false;
bool g_inSim = false;
long g_allocations = 0;

void CountOne() {
    if (!g_counting || g_inSim) return;
    ++g_allocations;
    if (g_trace) {  // where each counted allocation comes from
        g_counting = false;
        void *frames[12];
        backtrace_symbols_fd(frames, backtrace(frames, 12), 2);
        std::fputs("--\n", stderr);
        g_counting = true;
    }
}

std::int64_t ThreadCpuNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

}  // namespace

// The in-memory platform keeps books of its own (its named-mutex table, the dialogs it was
// shown): the Win32 build has none of them, so what they allocate is not counted as the
// library's.  The linker routes the library's calls of these through the wrappers below.
#include "api/dialogs/dialogs.h"
#include "platform/mutex.h"
extern "C" PlatHandle __real__Z15PlatMutexCreatePKc(const char *name);
extern "C" PlatHandle __wrap__Z15PlatMutexCreatePKc(const char *name) {
    const bool was = g_inSim;
    g_inSim = true;
    const PlatHandle h = __real__Z15PlatMutexCreatePKc(name);
    g_inSim = was;
    return h;
}
extern "C" int __real__Z9PinDialogPv(void *parent);
extern "C" int __wrap__Z9PinDialogPv(void *parent) {
    const bool was = g_inSim;
    g_inSim = true;
    const int r = __real__Z9PinDialogPv(parent);
    g_inSim = was;
    return r;
}

extern "C" void *malloc(size_t n) {
    CountOne();
    return __libc_malloc(n);
}
extern "C" void *calloc(size_t n, size_t s) {
    CountOne();
    return __libc_calloc(n, s);
}
extern "C" void *realloc(void *p, size_t n) {
    CountOne();
    return __libc_realloc(p, n);
}
extern "C" void free(void *p) { __libc_free(p); }

namespace {

// ---- The paced reader at the other end of the fake port ----
struct PacedReader {
    SimReader reader;
    SimLinePace pace;
    std::int64_t readyNs = 0;         // when the queued answer starts to leave
    std::uint32_t answerBaud = 9600;  // the reader's speed when it answered (before a change)
    std::int64_t simCpuNs = 0;        // CPU spent inside the simulator
    std::int64_t processingUs = 0;    // processing time charged
} g_sim;

struct SimScope {
    std::int64_t cpu0;
    SimScope() : cpu0(ThreadCpuNs()) { g_inSim = true; }
    ~SimScope() {
        g_inSim = false;
        g_sim.simCpuNs += ThreadCpuNs() - cpu0;
    }
};

bool Receive(void *, const std::uint8_t *data, std::size_t length, std::uint32_t hostBaud) {
    std::int64_t arrived;
    bool ok;
    {
        SimScope scope;
        const std::size_t logBefore = g_sim.reader.log.size();
        const int cardBefore = g_sim.reader.cardCommands;
        arrived = SimPaceReceive(&g_sim.pace, SimNowNs(), length,
                                 hostBaud != 0 ? hostBaud : g_sim.reader.speed);
        ok = SimReaderReceive(&g_sim.reader, data, length, hostBaud);
        if (g_trace) {
            std::fprintf(stderr, "> %zu bytes at %u bit/s, written %lld us, arrived %lld us\n",
                         length, hostBaud, static_cast<long long>(SimNowNs() / 1000),
                         static_cast<long long>(arrived / 1000));
        }
        std::int64_t answered = 0;
        for (std::size_t i = logBefore; i < g_sim.reader.log.size(); ++i) {
            if (g_sim.reader.log[i].fromHost) continue;
            ++answered;
            g_sim.answerBaud = g_sim.reader.log[i].baud;
        }
        const std::int64_t us =
            answered * g_sim.pace.readerUs +
            (g_sim.reader.cardCommands - cardBefore) * std::int64_t(g_sim.pace.cardUs);
        g_sim.processingUs += us;
        if (answered > 0) {
            const std::int64_t ready = arrived + us * 1000;
            g_sim.readyNs =
                ready > g_sim.pace.readerLineFreeNs ? ready : g_sim.pace.readerLineFreeNs;
        }
    }
    return ok;
}

// The answer's bytes are handed over only once the line would have delivered them.
std::size_t Transmit(void *, std::uint8_t *out, std::size_t capacity) {
    std::size_t n;
    {
        SimScope scope;
        n = SimReaderTransmit(&g_sim.reader, out, capacity);
    }
    if (n == 0) return 0;
    const std::int64_t start =
        g_sim.readyNs > g_sim.pace.readerLineFreeNs ? g_sim.readyNs : g_sim.pace.readerLineFreeNs;
    g_sim.pace.readerLineFreeNs = start + SimLineNs(n, g_sim.answerBaud);
    g_sim.readyNs = g_sim.pace.readerLineFreeNs;
    if (g_trace) {
        std::fprintf(stderr, "< %zu bytes at %u bit/s, asked %lld us, leaving %lld-%lld us\n", n,
                     g_sim.answerBaud, static_cast<long long>(SimNowNs() / 1000),
                     static_cast<long long>(start / 1000),
                     static_cast<long long>(g_sim.pace.readerLineFreeNs / 1000));
    }
    SimSleepUntilNs(g_sim.pace.readerLineFreeNs);
    return n;
}

void Purge(void *) {
    SimScope scope;
    SimReaderPurge(&g_sim.reader);
}

struct LineCounts {
    std::uint64_t bytesIn = 0, bytesOut = 0, lineUs = 0, frames = 0;
    int reads = 0, writes = 0, settings = 0;  // serial port calls: each is a system call on Win32
};

LineCounts Counts() {
    LineCounts c;
    std::uint64_t ns = 0;
    for (const SimLogEntry &e : g_sim.reader.log) {
        (e.fromHost ? c.bytesIn : c.bytesOut) += e.bytes.size();
        if (e.fromHost) ++c.frames;
        ns += static_cast<std::uint64_t>(SimLineNs(e.bytes.size(), e.baud));
    }
    c.lineUs = ns / 1000;
    c.reads = FakeCallCount(FAKE_CALL_SERIAL_READ);
    c.writes = FakeCallCount(FAKE_CALL_SERIAL_WRITE);
    c.settings =
        FakeCallCount(FAKE_CALL_SERIAL_GET_STATE) + FakeCallCount(FAKE_CALL_SERIAL_SET_STATE) +
        FakeCallCount(FAKE_CALL_SERIAL_SET_TIMEOUTS) + FakeCallCount(FAKE_CALL_SERIAL_PURGE) +
        FakeCallCount(FAKE_CALL_SERIAL_OPEN) + FakeCallCount(FAKE_CALL_SERIAL_CLOSE);
    return c;
}

// ---- The library as a host sees it ----
SimCard g_card;
SimCardDescription g_description;
std::string g_installDir;
int g_handle = 0;

void UseCard(const std::string &password, const std::string &pin) {
    SimCardDescription d = g_description;
    d.password = password;
    d.pin = pin;
    SimCardInit(&g_card, d);
    SimCardPlace(&g_card, &g_sim.reader);
}

bool Attach(const char *systemCodes) {
    FakePlatformReset();
    LibraryStateReset();
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", g_installDir);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode", 256);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", 1);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", 0x003);
    // What a deployment's INI says: failures are traced.
    FakeProfileSetFile(
        g_installDir + "ZUKcntrl.ini",
        std::string("[Card]\nVerifyRetry=3\n[Device]\nPortName=COM3\nDeviceName=PR300\n"
                    "[Log]\nMode=1\n[FeliCa]\nSystemCode=") +
            systemCodes + "\n");
    FakeSerialDevice device = {nullptr, Receive, Transmit, Purge};
    FakeSerialConnect("", device);
    return LibraryAttach(nullptr);
}

int Nothing() { return 0; }
int OpenCall() { return ZUKOpen(&g_handle); }
int CloseCall() { return ZUKClose(g_handle); }
int Unprovision() {
    std::memset(g_sim.reader.keyState, 0, 3);
    return 0;
}
int SenseCall() {
    int present = -1;
    const int r = ZUKSenseCard(g_handle, &present);
    return r != 0 ? r : (present == 1 ? 0 : 100 + present);
}
int SenseAbsentCall() {
    int present = -1;
    const int r = ZUKSenseCard(g_handle, &present);
    return r != 0 ? r : (present == 0 ? 0 : 100 + present);
}
int RemoveCard() {
    g_sim.reader.cardPresent = false;
    return 0;
}
int PlaceCard() {
    SimCardPlace(&g_card, &g_sim.reader);
    return 0;
}
char g_text[1024];
int NameCall() {
    int n = sizeof g_text;
    return ZUKGetUserName(g_handle, g_text, &n);
}
int UserOptionCall() {
    int n = sizeof g_text;
    return ZUKGetUserOption(g_handle, g_text, &n);
}
int AdminOptionCall() {
    int n = sizeof g_text;
    return ZUKGetAdminOption(g_handle, g_text, &n);
}
int VerifyCall() { return ZUKVerifyPIN(g_handle, 4, "1234"); }
char g_account[128], g_password[256];
int AccountCall() {
    AccountRequest r = {ZUK_ACCOUNT_REQUEST_VERSION,
                        g_account,
                        sizeof g_account,
                        g_password,
                        sizeof g_password,
                        0,
                        0};
    return ZUKGetUserAccount(g_handle, &r, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
}
int ScriptPin() {
    FakeDialogScript({{FAKE_DIALOG_PIN, 2, "", "", "1234", nullptr, nullptr}});
    return 0;
}

struct Step {
    int (*before)();
    int (*call)();
    int (*after)();
};

void Row(const char *name, const char *group, Step s, int calls) {
    // The first call does what a library does once; the second is counted on the line.
    s.before();
    int result = s.call();
    s.after();
    s.before();
    const LineCounts c0 = Counts();
    const std::int64_t p0 = g_sim.processingUs;
    const int second = s.call();
    const LineCounts c1 = Counts();
    const std::int64_t p1 = g_sim.processingUs;
    s.after();
    if (result == 0) result = second;
    std::vector<double> us;
    std::int64_t cpu = 0, baseline = 0;
    long allocations = 0;
    for (int i = 0; i < calls; ++i) {
        s.before();
        const std::int64_t sim0 = g_sim.simCpuNs;
        const std::int64_t cpu0 = ThreadCpuNs();
        const std::int64_t a = SimNowNs();
        g_allocations = 0;
        g_counting = true;
        const int r = s.call();
        g_counting = false;
        allocations += g_allocations;
        const std::int64_t b = SimNowNs();
        cpu += ThreadCpuNs() - cpu0 - (g_sim.simCpuNs - sim0);
        if (r != 0 && result == 0) result = r;
        us.push_back(static_cast<double>(b - a) / 1000.0);
        s.after();
        // The same measurement around nothing: what the measuring itself costs.
        const std::int64_t base0 = ThreadCpuNs();
        g_counting = true;
        Nothing();
        g_counting = false;
        (void)SimNowNs();
        baseline += ThreadCpuNs() - base0;
    }
    std::sort(us.begin(), us.end());
    std::printf(
        "{\"name\": \"%s\", \"group\": \"%s\", \"calls\": %d, \"result\": %d, "
        "\"min_us\": %.1f, \"median_us\": %.1f, \"max_us\": %.1f, "
        "\"bytes_in\": %llu, \"bytes_out\": %llu, \"frames_in\": %llu, "
        "\"line_us\": %llu, \"processing_us\": %lld, \"pause_us\": 0, \"pauses\": \"none\", "
        "\"cpu_us\": %.1f, \"allocs_per_call\": %.2f, \"serial_reads\": %d, "
        "\"serial_writes\": %d, \"serial_settings\": %d}\n",
        name, group, calls, result, us.front(), us[us.size() / 2], us.back(),
        static_cast<unsigned long long>(c1.bytesIn - c0.bytesIn),
        static_cast<unsigned long long>(c1.bytesOut - c0.bytesOut),
        static_cast<unsigned long long>(c1.frames - c0.frames),
        static_cast<unsigned long long>(c1.lineUs - c0.lineUs), static_cast<long long>(p1 - p0),
        static_cast<double>(cpu - baseline) / calls / 1000.0,
        static_cast<double>(allocations) / calls, c1.reads - c0.reads, c1.writes - c0.writes,
        c1.settings - c0.settings);
    std::fflush(stdout);
}

// How long ZUKCancel takes to end a call that waits: the call runs on a second thread, is given
// 20 ms to reach its wait, and the time from the cancel to the end of that thread is measured.
// The bound of the row is the target, 100 ms, so its ratio says how much of it a cancel uses.
void CancelRow(const char *name, int (*before)(), int (*waiting)(), int (*after)(), int calls) {
    std::vector<double> us;
    int result = ZUK_CANCELLED;
    for (int i = 0; i < calls; ++i) {
        before();
        std::atomic<int> r{12345};
        std::thread caller([&] { r = waiting(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::int64_t a = SimNowNs();
        ZUKCancel();
        caller.join();
        us.push_back(static_cast<double>(SimNowNs() - a) / 1000.0);
        if (r != ZUK_CANCELLED) result = r;
        after();
    }
    std::sort(us.begin(), us.end());
    std::printf("{\"name\": \"%s\", \"group\": \"cancel\", \"calls\": %d, \"result\": %d, "
                "\"min_us\": %.1f, \"median_us\": %.1f, \"max_us\": %.1f, "
                "\"bytes_in\": 0, \"bytes_out\": 0, \"frames_in\": 0, \"line_us\": 0, "
                "\"processing_us\": 0, \"pause_us\": 100000, \"pauses\": \"cancel target\", "
                "\"cpu_us\": 0, \"allocs_per_call\": 0, \"serial_reads\": 0, "
                "\"serial_writes\": 0, \"serial_settings\": 0}\n",
                name, calls, result, us.front(), us[us.size() / 2], us.back());
    std::fflush(stdout);
}

int WaitForCardCall() {
    int present = 0;
    return ZUKWaitForCard(g_handle, 1, -1, &present);
}
int HoldFrame() { return EnterApi(); }
int FreeFrame() {
    LeaveApi();
    return 0;
}
int PinTriesCall() {
    int left = 0, limit = 0;
    return ZUKGetPinTries(g_handle, &left, &limit);
}
PlatHandle g_heldMutex = 0;
int HoldReader() {
    g_heldMutex = PlatMutexCreate(ZUK_PORT_MUTEX_NAME);
    return static_cast<int>(PlatMutexWait(g_heldMutex, PLAT_WAIT_FOREVER));
}
int FreeReader() {
    PlatMutexRelease(g_heldMutex);
    PlatHandleClose(g_heldMutex);
    return 0;
}
int OpenWaitCall() {
    int handle = 0;
    return ZUKOpen(&handle);
}
int HoldCardPrompt() {
    RemoveCard();
    FakeDialogHoldUntilCancelled(true);
    return 0;
}
int EndCardPrompt() {
    FakeDialogHoldUntilCancelled(false);
    return 0;
}

void CancelRows(int calls) {
    // The waits wait on the wall clock here, as on Windows.
    FakeEventRealWaits(true);
    OpenCall();
    RemoveCard();
    CancelRow("ZUKCancel ends ZUKWaitForCard", Nothing, WaitForCardCall, Nothing, calls);
    CancelRow("ZUKCancel ends the wait for another call", HoldFrame, PinTriesCall, FreeFrame,
              calls);
    CancelRow("ZUKCancel ends ZUKGetUserAccount's card prompt", HoldCardPrompt, AccountCall,
              EndCardPrompt, calls);
    PlaceCard();
    CloseCall();
    CancelRow("ZUKCancel ends ZUKOpen's wait for the reader", HoldReader, OpenWaitCall, FreeReader,
              calls);
    FakeEventRealWaits(false);
}

}  // namespace

int main(int argc, char **argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 30;
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // the paced line wakes to the microsecond
    if (calls < 1) {
        std::fprintf(stderr, "usage: zuk_native_bench [CALLS]\n");
        return 2;
    }
    char pattern[] = "/tmp/zuk-bench-XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (dir == nullptr) return 1;
    g_installDir = std::string(dir) + "/";
    const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
    const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
    SimReaderInit(&g_sim.reader, initial, operational, false);
    g_sim.pace.on = true;
    // The simulator's sample card file (the card the API tests and the Wine tests use).
    std::string error;
    if (!SimCardReadDescriptionFile(ZUK_ALICE_CARD, &g_description, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    UseCard("s3cret-pass", "1234");
    if (!Attach("88B4")) {
        std::fprintf(stderr, "the library did not attach\n");
        return 1;
    }

    Row("ZUKOpen (provisioning)", "open", {Unprovision, OpenCall, CloseCall}, calls);
    Row("ZUKOpen", "export", {Nothing, OpenCall, CloseCall}, calls);
    Row("ZUKClose", "export", {OpenCall, CloseCall, Nothing}, calls);
    OpenCall();
    Row("ZUKSenseCard (present)", "export", {Nothing, SenseCall, Nothing}, calls);
    Row("ZUKSenseCard (absent)", "export", {RemoveCard, SenseAbsentCall, PlaceCard}, calls);
    SenseCall();  // a host senses the card before it reads from it
    Row("ZUKGetUserName", "export", {Nothing, NameCall, Nothing}, calls);
    Row("ZUKGetUserOption", "export", {Nothing, UserOptionCall, Nothing}, calls);
    Row("ZUKGetAdminOption", "export", {Nothing, AdminOptionCall, Nothing}, calls);
    Row("ZUKVerifyPIN", "export", {Nothing, VerifyCall, Nothing}, calls);
    Row("ZUKGetUserAccount (PIN answered)", "export", {ScriptPin, AccountCall, Nothing}, calls);
    UseCard("s3cret-pass", "");
    Row("ZUKGetUserAccount (no PIN)", "export", {Nothing, AccountCall, Nothing}, calls);
    const int growthCalls = calls < 10 ? calls : 10;
    for (int length : {8, 64, 192, 193, 256}) {
        UseCard(std::string(static_cast<std::size_t>(length), 'p'), "");
        char name[64];
        std::snprintf(name, sizeof name, "account, password of %d bytes", length);
        Row(name, "password", {Nothing, AccountCall, Nothing}, growthCalls);
    }
    CloseCall();
    UseCard("s3cret-pass", "1234");
    static const char *kCodes[] = {"88B4", "1111,88B4", "1111,2222,88B4", "1111,2222,3333,88B4",
                                   "1111,2222,3333,4444,88B4"};
    for (int k = 0; k < 5; ++k) {
        LibraryDetach();
        if (!Attach(kCodes[k])) return 1;
        char name[64];
        std::snprintf(name, sizeof name, "ZUKSenseCard, %d system code%s", k + 1, k ? "s" : "");
        OpenCall();
        Row(name, "codes", {Nothing, SenseCall, Nothing}, growthCalls);
        CloseCall();
    }
    // A machine with 10,000 revoked cards (not this one): the look-up costs the reads nothing a
    // line can show.
    LibraryDetach();
    if (!Attach("88B4")) return 1;
    for (int i = 0; i < 10000; ++i) {  // read at the first card operation, as a library does
        char entry[17];
        std::snprintf(entry, sizeof entry, "01%014X", static_cast<unsigned>(i) * 7919u);
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, std::to_string(i), entry);
    }
    OpenCall();
    SenseCall();
    Row("ZUKGetUserName, 10,000 revoked cards", "revoked", {Nothing, NameCall, Nothing},
        growthCalls);
    Row("ZUKVerifyPIN, 10,000 revoked cards", "revoked", {Nothing, VerifyCall, Nothing},
        growthCalls);
    CloseCall();
    LibraryDetach();
    if (!Attach("88B4")) return 1;
    CancelRows(growthCalls);
    LibraryDetach();
    return 0;
}
