// The soak: N identifications (open, sense, name, the account with the PIN answered, close) in one
// process against zuk-reader-sim, with a fault drawn from a seeded generator injected every few
// cycles: an answer cut on the line, answers in pieces, a reader silent for a while, a busy
// answer, a changed byte (strict link checking on), the card taken away, the card revoked on the
// machine (which writes an event to the Application log, on by default).  The cycle after each
// fault must identify the user; the process's private bytes, handles and GDI and USER objects
// must stay flat; every trace line must be whole.
//   zuk_soak.exe CYCLES [SEED] [EVERY] [SECONDS]   (run_with_sim.sh gives the simulator's port;
//   SECONDS > 0 ends the run after that time, with the cycles done so far)
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "api/workers.h"
#include "resources/dialog_ids.h"
#include "tests/wine/support/sim_control.h"
#include "tests/wine/support/wine_support.h"
#include "tools/dialogs/find_dialog.h"
#include "tools/zuk_exports.h"

namespace {

// The PIN prompt is answered as a user would, from a thread of its own.
volatile LONG g_stop = 0;
volatile LONG g_pinsAnswered = 0;

DWORD WINAPI AnswerPins(LPVOID) {
    DialogQuery pin;
    pin.anyOfControls = {ZUK_IDC_PIN_EDIT};
    HWND last = nullptr;
    DWORD answeredAt = 0;
    while (!g_stop) {
        const HWND dialog = FindDialog(pin);
        if (dialog != nullptr && (dialog != last || GetTickCount() - answeredAt > 2000)) {
            Sleep(30);
            AnswerPinDialog(dialog, "1234");
            InterlockedIncrement(&g_pinsAnswered);
            last = dialog;
            answeredAt = GetTickCount();
        }
        Sleep(20);
    }
    return 0;
}

struct Fault {
    const char *name;
    const char *apply;  // simulator command before the cycle (nullptr: none)
    const char *undo;   // after it (nullptr: the fault is used up by itself)
    bool revoke;        // the card's IDm (alice.card) is on the machine's revocation list
};

const Fault kFaults[] = {
    {"cut", "cut", nullptr},
    {"split", "split 3 1", "split 0 0"},
    {"silent", "silent on", "silent off"},
    {"busy", "busy", nullptr},
    {"flip", "flip", nullptr},
    {"removed", "remove", "place"},
    {"revoked", nullptr, nullptr, true},
};

const int kFaultCount = sizeof kFaults / sizeof kFaults[0];

struct Exports {
    OpenFn open;
    CloseFn close;
    SenseFn sense;
    ReadTextFn name;
    UserAccountFn account;
};

// One identification; the first failing step and its code in *failure (empty when all worked).
bool Identify(const Exports &x, std::string *failure) {
    char text[256];
    int handle = 0;
    int rc = x.open(&handle);
    if (rc != ZUK_OK) {
        *failure = "open " + std::to_string(rc);
        return false;
    }
    int present = 0;
    bool ok = true;
    rc = x.sense(kReaderHandle, &present);
    if (rc != ZUK_OK || present != 1) {
        *failure = "sense " + std::to_string(rc) + " present " + std::to_string(present);
        ok = false;
    }
    int length = sizeof text;
    if (ok && ((rc = x.name(kReaderHandle, text, &length)) != ZUK_OK ||
               std::string(text, static_cast<std::size_t>(length)) != "Alice Example")) {
        *failure = "name " + std::to_string(rc);
        ok = false;
    }
    char account[128];
    char password[256];
    AccountRequest request{
        ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    if (ok && ((rc = x.account(kReaderHandle, &request, 0, nullptr)) != ZUK_OK ||
               std::string(account, static_cast<std::size_t>(request.AccountLength)) != "alice")) {
        *failure = "account " + std::to_string(rc);
        ok = false;
    }
    SecureZeroMemory(password, sizeof password);
    rc = x.close(kReaderHandle);
    if (rc != ZUK_OK && ok) {
        *failure = "close " + std::to_string(rc);
        ok = false;
    }
    return ok;
}

struct Sample {
    int cycle;
    SIZE_T privateBytes;  // PrivateUsage, or the page-file usage where that is not reported
    SIZE_T heapBytes;     // bytes in use in the process's heaps (HeapWalk)
    DWORD handles;
    DWORD gdi;
    DWORD user;
};

// Bytes of the blocks in use in every heap of the process: what leaks first when memory leaks,
// and what Wine reports exactly.
SIZE_T HeapBytesInUse() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

Sample Measure(int cycle) {
    Sample s{cycle, 0, 0, 0, 0, 0};
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory), sizeof memory)) {
        s.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    }
    s.heapBytes = HeapBytesInUse();
    GetProcessHandleCount(GetCurrentProcess(), &s.handles);
    s.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    s.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return s;
}

std::string Figure(unsigned long value, const char *unit = "") {
    return value == 0 ? std::string("(not reported)") : std::to_string(value) + unit;
}

void PrintSample(const char *what, const Sample &s) {
    std::printf("%s (cycle %d): private bytes %s, heap in use %s, handles %s, GDI objects %s, "
                "USER objects %s\n",
                what, s.cycle,
                Figure(static_cast<unsigned long>(s.privateBytes / 1024), " KiB").c_str(),
                Figure(static_cast<unsigned long>(s.heapBytes / 1024), " KiB").c_str(),
                Figure(s.handles).c_str(), Figure(s.gdi).c_str(), Figure(s.user).c_str());
}

// Every line of the trace (and of its rotated predecessor) is whole.
int BrokenTraceLines(int *lines) {
    const std::regex whole("\\d{4}/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,ZUK[A-Za-z]+,"
                           "(NormalEnd|(ZUK|LOW),0x[0-9a-f]{8}(,0x[0-9a-f]{8})?)");
    int broken = 0;
    *lines = 0;
    for (const char *name : {"ZUKcntrl.log.old", "ZUKcntrl.log"}) {
        std::ifstream in(InstallDir() + name, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            ++*lines;
            if (!std::regex_match(line, whole)) {
                if (broken < 5) std::printf("broken trace line: %s\n", line.c_str());
                ++broken;
            }
        }
    }
    return broken;
}

}  // namespace

int main(int argc, char **argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 100;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
    const int every = argc > 3 ? std::atoi(argv[3]) : 3;
    const DWORD limitMs =
        argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) * 1000 : 0;
    if (cycles <= 0 || every < 2) {
        std::fprintf(stderr, "usage: zuk_soak CYCLES [SEED] [EVERY>=2] [SECONDS]\n");
        return 2;
    }
    SimControl sim;
    if (!sim.Connected()) {
        std::fprintf(stderr, "zuk_soak: no simulator control port (ZUK_SIM_CONTROL_PORT)\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // A host without a person at the screen: no retry prompt waits; only the PIN prompt, which the
    // answerer thread takes.  Strict link checking makes a changed byte an error.
    SetEnvironmentVariableA("ZUK_UNATTENDED", "1");
    RevokeSampleCard(false);  // no revocation left behind by an earlier run
    const char *com = std::getenv("ZUK_SIM_COM");
    WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairTyped);
    DeleteFileA((InstallDir() + "ZUKcntrl.log").c_str());
    DeleteFileA((InstallDir() + "ZUKcntrl.log.old").c_str());
    WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + (com ? com : "COM1") +
             "\r\nDeviceName=PR300\r\nStrictLink=1\r\n[Card]\r\nVerifyRetry=3\r\n[FeliCa]\r\n"
             "SystemCode=88B4\r\n[Log]\r\nMode=3\r\n");
    if (sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE) != "OK") {
        std::fprintf(stderr, "zuk_soak: the simulator does not take the sample card\n");
        return 2;
    }

    int failures = 0;
    {
        LoadedLibrary lib;
        if (lib.module == nullptr) {
            std::fprintf(stderr, "zuk_soak: ZUKcntrl.dll does not load (%lu)\n", GetLastError());
            return 2;
        }
        const Exports x{lib.Get<OpenFn>("ZUKOpen"), lib.Get<CloseFn>("ZUKClose"),
                        lib.Get<SenseFn>("ZUKSenseCard"), lib.Get<ReadTextFn>("ZUKGetUserName"),
                        lib.Get<UserAccountFn>("ZUKGetUserAccount")};
        const HANDLE answerer = CreateThread(nullptr, 0, AnswerPins, nullptr, 0, nullptr);

        std::mt19937 random(seed);
        int order[kFaultCount];
        for (int k = 0; k < kFaultCount; ++k) order[k] = k;
        int next = kFaultCount;
        const int sampleEvery = cycles >= 4000 ? 1000 : (cycles >= 4 ? cycles / 4 : 1);
        std::vector<Sample> samples;
        int injected[kFaultCount] = {};
        int faultCycleOk[kFaultCount] = {};
        const DWORD started = GetTickCount();
        int done = 0;
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            if (limitMs != 0 && GetTickCount() - started > limitMs) break;
            done = cycle;
            const Fault *fault = nullptr;
            if (cycle % every == 0) {
                // The faults in a shuffled order, round after round: every kind comes up.
                if (next == kFaultCount) {
                    std::shuffle(order, order + kFaultCount, random);
                    next = 0;
                }
                const int kind = order[next++];
                fault = &kFaults[kind];
                ++injected[kind];
                if (fault->apply != nullptr && sim.Command(fault->apply) != "OK") {
                    std::printf("cycle %d: the simulator refused '%s'\n", cycle, fault->apply);
                    ++failures;
                }
                if (fault->revoke && !RevokeSampleCard(true)) {
                    std::printf("cycle %d: the card cannot be revoked\n", cycle);
                    ++failures;
                }
            }
            std::string failure;
            const bool ok = Identify(x, &failure);
            if (fault != nullptr) {
                if (ok) ++faultCycleOk[fault - kFaults];
                if (fault->undo != nullptr) sim.Command(fault->undo);
                if (fault->revoke && !RevokeSampleCard(false)) {
                    std::printf("cycle %d: the revocation cannot be taken back\n", cycle);
                    ++failures;
                }
                // Whatever the fault left unused ends here, so that it cannot hit the next cycle.
                sim.Command("split 0 0");
                sim.Command("cut 0");
                sim.Command("class 80 0");
            } else if (!ok) {
                std::printf("cycle %d failed at %s (the cycle before: %s)\n", cycle,
                            failure.c_str(),
                            (cycle - 1) % every == 0 && cycle > 1 ? "a fault" : "clean");
                ++failures;
            }
            if (cycle % sampleEvery == 0) samples.push_back(Measure(cycle));
            if (limitMs != 0 && cycle % 1000 == 0) {
                PrintSample("sample", samples.empty() ? Measure(cycle) : samples.back());
            }
        }
        const DWORD ms = GetTickCount() - started;
        InterlockedExchange(&g_stop, 1);
        WaitForSingleObject(answerer, 5000);
        CloseHandle(answerer);

        std::printf("soak: %d cycles of %d, seed %u, a fault every %d cycles, %lu s\n", done,
                    cycles, seed, every, static_cast<unsigned long>(ms / 1000));
        for (int k = 0; k < kFaultCount; ++k) {
            std::printf("  %-8s injected %4d, its own cycle still identified the user %4d times\n",
                        kFaults[k].name, injected[k], faultCycleOk[k]);
        }
        std::printf("  PIN prompts answered: %ld\n", static_cast<long>(g_pinsAnswered));
        if (samples.size() >= 2) {
            const Sample &first = samples.front();
            const Sample &last = samples.back();
            PrintSample("first sample", first);
            PrintSample("last sample", last);
            const bool flat = last.privateBytes <= first.privateBytes + 2 * 1024 * 1024 &&
                              last.heapBytes <= first.heapBytes + 256 * 1024 &&
                              last.handles <= first.handles + 16 && last.gdi <= first.gdi + 16 &&
                              last.user <= first.user + 16;
            if (!flat) {
                std::printf("resources grew between the first and the last sample\n");
                ++failures;
            }
        }
    }
    int lines = 0;
    const int broken = BrokenTraceLines(&lines);
    std::printf("  trace lines: %d, broken: %d\n", lines, broken);
    if (broken != 0 || lines == 0) ++failures;
    WriteIni("");
    RevokeSampleCard(false);
    for (const char *name : {"InstallPath", "Mode", "Device", "Config", "FeliCa"})
        DeleteMachineValue(name);
    std::printf("%s\n", failures == 0 ? "soak: clean" : "soak: FAILED");
    return failures == 0 ? 0 : 1;
}
