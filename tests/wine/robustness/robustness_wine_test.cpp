// Robustness through ZUKcntrl.dll against zuk-reader-sim: a close whose link sequence fails, one
// row of each fault family with its code and time, no PIN or password left in the DLL's writable
// sections, the reader mutex held by a thread, and two processes sharing one reader.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/dialog_ids.h"
#include "tests/wine/robustness/robustness_common.h"
#include "tests/wine/support/sim_control.h"
#include "tests/result_expect.h"

namespace {

// The simulator with the sample card, a working configuration with extra INI lines, the library
// loaded.
class WithReader : public ::testing::Test {
protected:
    void Load(const std::string &extraIni = "", DWORD config = kConfigIdRememberedPair,
              const std::string &card = ZUK_SIM_CARD_FILE) {
        ASSERT_TRUE(sim.Connected());
        ASSERT_EQ(sim.Command("card " + card), "OK");
        WriteMachineConfig(kLibraryModeCard, kDeviceReader, config);
        WriteIni(SimIni(extraIni));
        loaded.reset(new LoadedLibrary);
        ASSERT_NE(loaded->module, nullptr);
    }
    void TearDown() override {
        loaded.reset();
        ForgetSettings();
    }
    SimControl sim;
    std::unique_ptr<LoadedLibrary> loaded;
};

using FailedClose = WithReader;
using FaultRows = WithReader;
using Secrets = WithReader;
using ThreadMutex = WithReader;

TEST_F(FailedClose, SessionEndsWithItsPort) {
    Load();
    const LoadedLibrary &lib = *loaded;
    auto open = lib.Get<OpenFn>("ZUKOpen");
    auto close = lib.Get<CloseFn>("ZUKClose");
    int handle = 0;
    ASSERT_RESULT(open(&handle), ZUK_OK);
    // The reader refuses the speed reset of the close sequence.
    ASSERT_EQ(sim.Command("sw 07 6F00 1"), "OK");
    EXPECT_RESULT(Cancelling([&] { return close(kReaderHandle); }), ZUK_ERR_LINK_CLOSE);
    EXPECT_RESULT(Cancelling([&] { return close(kReaderHandle); }), ZUK_ERR_NOT_OPEN);
    ASSERT_RESULT(open(&handle), ZUK_OK);
    int present = 0;
    EXPECT_RESULT(lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &present), ZUK_OK);
    EXPECT_EQ(Text(lib.Get<ReadTextFn>("ZUKGetUserName")), "Alice Example");
    EXPECT_RESULT(close(kReaderHandle), ZUK_OK);
}

enum RowExport { ROW_OPEN, ROW_SENSE, ROW_NAME };
const int kAnyDocumented = 0x7DDDDDDD;

struct FaultRow {
    const char *family;
    const char *command;
    RowExport target;
    int expected;
    DWORD maxMs;
    const char *undo;
};

TEST_F(FaultRows, OneRowPerFamily) {
    Load();
    const LoadedLibrary &lib = *loaded;
    auto open = lib.Get<OpenFn>("ZUKOpen");
    auto close = lib.Get<CloseFn>("ZUKClose");
    auto sense = lib.Get<SenseFn>("ZUKSenseCard");
    auto name = lib.Get<ReadTextFn>("ZUKGetUserName");
    const FaultRow rows[] = {
        {"busy once", "busy", ROW_OPEN, ZUK_OK, 5000, nullptr},
        {"answer class", "class 81 1", ROW_NAME, ZUK_ERR_READER_STATUS, 5000, nullptr},
        {"answers in pieces", "split 8 5", ROW_NAME, kAnyDocumented, 10000, "split 0 0"},
        {"wrong sequence", "wrong-seq", ROW_NAME, ZUK_ERR_CARD_IO, 5000, nullptr},
        {"bad authentication", "bad-auth", ROW_OPEN, ZUK_ERR_UNEXPECTED, 5000, nullptr},
        {"empty secured answer", "empty", ROW_NAME, ZUK_ERR_CARD_IO, 5000, nullptr},
        {"status word", "sw 13 6A82 1", ROW_OPEN, ZUK_ERR_PORT_OPEN, 5000, nullptr},
        {"card status flags", "card-fault read 01A8 1", ROW_NAME, ZUK_ERR_READER_STATUS, 5000,
         nullptr},
        {"silent reader", "silent on", ROW_SENSE, ZUK_ERR_PORT_IO, 15000, "silent off"},
        // The open gives up on the silent reader; once it answers again the next open works
        // without restarting the simulator.
        {"silent reader at open", "silent on", ROW_OPEN, ZUK_ERR_PORT_IO, 15000, "silent off"},
        {"silent card", "card-fault silent-after 0", ROW_NAME, ZUK_ERR_NO_CARD, 10000, nullptr},
        {"card removed", "remove", ROW_NAME, kAnyDocumented, 10000, nullptr},
        {"line checksum", "bad-checksum", ROW_NAME, ZUK_OK, 5000, nullptr},
    };
    std::string table;
    for (const FaultRow &row : rows) {
        SCOPED_TRACE(row.family);
        int handle = 0;
        if (row.target != ROW_OPEN) {
            ASSERT_RESULT(open(&handle), ZUK_OK);
            int present = 0;
            ASSERT_RESULT(sense(kReaderHandle, &present), ZUK_OK);
        }
        ASSERT_EQ(sim.Command(row.command), "OK");
        const DWORD start = GetTickCount();
        int present = 0;
        const int result = Cancelling([&] {
            switch (row.target) {
            case ROW_OPEN: return open(&handle);
            case ROW_SENSE: return sense(kReaderHandle, &present);
            case ROW_NAME: {
                char text[64];
                int length = sizeof text;
                return name(kReaderHandle, text, &length);
            }
            }
            return ZUK_ERR_UNEXPECTED;
        });
        const DWORD ms = GetTickCount() - start;
        if (row.expected != kAnyDocumented) {
            EXPECT_EQ(result, row.expected);
        }
        EXPECT_NE(result, 0x7EEEEEEE) << "the call did not end";
        EXPECT_LT(ms, row.maxMs);
        char line[160];
        std::snprintf(line, sizeof line, "| %s | `%s` | 0x%X | %lu |\n", row.family, row.command,
                      static_cast<unsigned>(result), static_cast<unsigned long>(ms));
        table += line;
        // The fault clears: the session closes (whatever that answers) and the next one works.
        if (row.undo != nullptr) {
            ASSERT_EQ(sim.Command(row.undo), "OK");
        }
        if (std::strcmp(row.command, "remove") == 0 || std::strncmp(row.command, "card", 4) == 0) {
            ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
        }
        (void)Cancelling([&] { return close(kReaderHandle); });
        ASSERT_RESULT(open(&handle), ZUK_OK);
        ASSERT_RESULT(sense(kReaderHandle, &present), ZUK_OK);
        EXPECT_EQ(Text(name), "Alice Example");
        ASSERT_RESULT(close(kReaderHandle), ZUK_OK);
    }
    std::printf("%s", table.c_str());
}

// A secured answer cut on the line after the reader acted on its command, whether the reader
// counted that command or not: the call ends within one read time-out and the short attempts
// after it, and the session goes on without a new open.
TEST_F(FaultRows, ALostAnswerDoesNotBreakTheSession) {
    for (const char *mode : {"counted", "uncounted"}) {
        SCOPED_TRACE(mode);
        Load();
        const LoadedLibrary &lib = *loaded;
        auto sense = lib.Get<SenseFn>("ZUKSenseCard");
        auto name = lib.Get<ReadTextFn>("ZUKGetUserName");
        int handle = 0;
        ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK);
        int present = 0;
        ASSERT_RESULT(sense(kReaderHandle, &present), ZUK_OK);
        ASSERT_EQ(sim.Command(std::string("lost ") + mode), "OK");
        ASSERT_EQ(sim.Command("cut"), "OK");
        const DWORD start = GetTickCount();
        EXPECT_RESULT(Cancelling([&] {
                          char text[64];
                          int length = sizeof text;
                          return name(kReaderHandle, text, &length);
                      }),
                      ZUK_ERR_INCOMPLETE);
        const DWORD ms = GetTickCount() - start;
        EXPECT_LT(ms, 6000u);
        std::printf("| answer cut (%s) | `lost %s`, `cut` | name | 0x1 | %lu |\n", mode, mode,
                    static_cast<unsigned long>(ms));
        EXPECT_EQ(Text(name), "Alice Example");
        EXPECT_EQ(Text(name), "Alice Example");
        EXPECT_RESULT(sense(kReaderHandle, &present), ZUK_OK);
        EXPECT_EQ(present, 1);
        EXPECT_RESULT(lib.Get<CloseFn>("ZUKClose")(kReaderHandle), ZUK_OK);
        ASSERT_EQ(sim.Command("lost counted"), "OK");
        loaded.reset();
    }
}

TEST_F(FaultRows, StrictLinkTurnsLineDamageIntoAMalformedAnswer) {
    Load("StrictLink=1\r\n");
    const LoadedLibrary &lib = *loaded;
    int handle = 0;
    ASSERT_RESULT(Cancelling([&] { return lib.Get<OpenFn>("ZUKOpen")(&handle); }), ZUK_OK);
    int present = 0;
    ASSERT_RESULT(
        Cancelling([&] { return lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &present); }),
        ZUK_OK);
    for (const char *damage : {"flip", "bad-checksum"}) {
        ASSERT_EQ(sim.Command(damage), "OK");
        char text[64];
        int length = sizeof text;
        EXPECT_RESULT(Cancelling([&] {
                          return lib.Get<ReadTextFn>("ZUKGetUserName")(kReaderHandle, text,
                                                                       &length);
                      }),
                      ZUK_ERR_CARD_IO)
            << damage;
    }
    EXPECT_EQ(Text(lib.Get<ReadTextFn>("ZUKGetUserName")), "Alice Example");
    EXPECT_RESULT(lib.Get<CloseFn>("ZUKClose")(1), ZUK_OK);
}

// Whether any writable section of the module holds the text.
bool WritableSectionsHold(HMODULE module, const char *needle) {
    const BYTE *base = reinterpret_cast<const BYTE *>(module);
    const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const IMAGE_NT_HEADERS *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    const std::size_t n = std::strlen(needle);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
        const BYTE *from = base + section->VirtualAddress;
        const std::size_t size = section->Misc.VirtualSize;
        for (std::size_t at = 0; at + n <= size; ++at) {
            if (std::memcmp(from + at, needle, n) == 0) return true;
        }
    }
    return false;
}

TEST_F(Secrets, WritableSectionsHoldNoPinOrPassword) {
    const char kPin[] = "739514";
    const char kPassword[] = "pw-Secret-8842";
    FILE *card = std::fopen("Z:\\tmp\\zuk-robustness-secret.card", "w");
    ASSERT_NE(card, nullptr);
    std::fprintf(card,
                 "account = alice\npassword = %s\npin = %s\nretry_limit = 3\n"
                 "user_name = Alice Example\nsystem_code = 88 B4\n",
                 kPassword, kPin);
    std::fclose(card);
    Load("", kConfigPairRememberedNoReuse, "/tmp/zuk-robustness-secret.card");
    const LoadedLibrary &lib = *loaded;
    int handle = 0;
    ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK);
    int present = 0;
    ASSERT_RESULT(lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &present), ZUK_OK);
    EXPECT_RESULT(lib.Get<VerifyPinFn>("ZUKVerifyPIN")(kReaderHandle, 6, kPin), ZUK_OK);

    char accountText[128];
    char passwordText[256];
    AccountRequest request = {ZUK_ACCOUNT_REQUEST_VERSION,
                              accountText,
                              sizeof accountText,
                              passwordText,
                              sizeof passwordText,
                              0,
                              0};
    CallThread call;
    StartCall(&call, [&] {
        return lib.Get<UserAccountFn>("ZUKGetUserAccount")(kReaderHandle, &request,
                                                           ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
    });
    SeenWindow pin;
    ASSERT_TRUE(WaitForDialogWith(ZUK_IDC_PIN_EDIT, &pin, call.id, 10000));
    AnswerPinDialog(pin.hwnd, kPin);
    ASSERT_TRUE(FinishCall(&call, 15000));
    ASSERT_RESULT(call.result, ZUK_OK);
    EXPECT_EQ(std::string(passwordText, static_cast<std::size_t>(request.PasswordLength)),
              kPassword);
    SecureZeroMemory(passwordText, sizeof passwordText);

    EXPECT_FALSE(WritableSectionsHold(lib.module, kPin)) << "the PIN";
    EXPECT_FALSE(WritableSectionsHold(lib.module, kPassword)) << "the password";
    EXPECT_RESULT(lib.Get<CloseFn>("ZUKClose")(1), ZUK_OK);
    DeleteFileA("Z:\\tmp\\zuk-robustness-secret.card");
}

// The reader mutex belongs to the thread that opened: another thread's open waits until that
// thread closes.
TEST_F(ThreadMutex, SecondThreadsOpenWaitsForTheFirstThreadsClose) {
    Load();
    const LoadedLibrary &lib = *loaded;
    auto open = lib.Get<OpenFn>("ZUKOpen");
    auto close = lib.Get<CloseFn>("ZUKClose");
    int handle = 0;
    ASSERT_RESULT(open(&handle), ZUK_OK);
    CallThread second;
    StartCall(&second, [&] {
        int h = 0;
        const int opened = open(&h);
        const int closed = opened == 0 ? close(kReaderHandle) : -100;
        return opened * 1000 + closed;
    });
    EXPECT_EQ(WaitForSingleObject(second.handle, 1500), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the second thread's open did not wait";
    EXPECT_RESULT(close(kReaderHandle), ZUK_OK);
    ASSERT_TRUE(FinishCall(&second, 15000));
    EXPECT_EQ(second.result, 0);
}

TEST(TwoProcesses, TwoHundredCyclesEachOnOneReader) {
    SimControl sim;
    ASSERT_TRUE(sim.Connected());
    ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
    WriteMachineConfig();
    WriteIni(SimIni("[Log]\r\nMode=3\r\n"));
    const std::string log = InstallDir() + "ZUKcntrl.log";
    DeleteFileA(log.c_str());
    HANDLE a = StartChild("--cycles-child 200");
    HANDLE b = StartChild("--cycles-child 200");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    HANDLE both[2] = {a, b};
    ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 360000), static_cast<DWORD>(WAIT_OBJECT_0));
    for (HANDLE child : both) {
        DWORD code = 99;
        GetExitCodeProcess(child, &code);
        EXPECT_EQ(code, 0u) << "calls that failed in a child";
        CloseHandle(child);
    }
    // Every trace line whole: a time stamp, an export name, a result.
    const std::string text = ReadWholeFile(log);
    std::size_t start = 0, lines = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without its end";
        const std::string line = text.substr(start, end - start);
        EXPECT_TRUE(line.size() > 20 && line[4] == '/' && line[13] == ':' &&
                    line.compare(20, 3, "ZUK") == 0 &&
                    (line.find(",NormalEnd") != std::string::npos ||
                     line.find(",ZUK,") != std::string::npos ||
                     line.find(",LOW,") != std::string::npos))
            << line;
        ++lines;
        start = end + 2;
    }
    EXPECT_GE(lines, 2u * 200u * 3u);  // open, name and close of every cycle (sense only changes)
    DeleteFileA(log.c_str());
    ForgetSettings();
}

}  // namespace

// The child of TwoProcesses: `cycles` rounds of open / sense / name / close; the number of calls
// that did not succeed.
int CyclesChild(int cycles) {
    LoadedLibrary lib;
    if (lib.module == nullptr) return 100;
    auto open = lib.Get<OpenFn>("ZUKOpen");
    auto close = lib.Get<CloseFn>("ZUKClose");
    auto sense = lib.Get<SenseFn>("ZUKSenseCard");
    auto name = lib.Get<ReadTextFn>("ZUKGetUserName");
    int failures = 0;
    for (int i = 0; i < cycles; ++i) {
        int handle = 0;
        int present = 0;
        if (open(&handle) != 0) {
            ++failures;
            continue;
        }
        if (sense(kReaderHandle, &present) != 0 || present != 1) ++failures;
        if (Text(name) != "Alice Example") ++failures;
        if (close(kReaderHandle) != 0) ++failures;
    }
    return failures > 99 ? 99 : failures;
}
