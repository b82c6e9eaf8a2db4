// A host's session through ZUKcntrl.dll against zuk-reader-sim: open, sense, the card texts, PIN
// verification counted on the card, the account through the real PIN dialog, close; with the
// trace the library wrote.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "api/workers.h"
#include "resources/dialog_ids.h"
#include "tests/wine/support/sim_control.h"
#include "tests/wine/support/ui_watcher.h"
#include "tests/wine/support/wine_support.h"
#include "tools/zuk_exports.h"
#include "tests/result_expect.h"

namespace {

// The trace's lines without their time stamps.
std::vector<std::string> TraceLines() {
    std::vector<std::string> lines;
    const std::string text = ReadWholeFile(InstallDir() + "ZUKcntrl.log");
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end - start > 20) lines.push_back(text.substr(start + 20, end - start - 20));
        start = end + 2;
    }
    return lines;
}

std::string Text(ReadTextFn read) {
    char buffer[128];
    int length = sizeof buffer;
    if (read(kReaderHandle, buffer, &length) != 0) return "<failed>";
    return std::string(buffer, static_cast<std::size_t>(length));
}

// The failure count byte of the card's PIN control block, from the simulator's dump.
std::string ControlBlock(SimControl *sim) {
    const std::vector<std::string> blocks = sim->Dump(1);
    return blocks.empty() ? "<no dump>" : blocks[0];
}

TEST(HostSession, OpenSenseReadVerifyAccountClose) {
    SimControl sim;
    ASSERT_TRUE(sim.Connected());
    ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
    const char *com = std::getenv("ZUK_SIM_COM");
    ASSERT_NE(com, nullptr);
    WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairRememberedNoReuse);
    WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + com +
             "\r\nDeviceName=PR300\r\n[Log]\r\nMode=3\r\n[FeliCa]\r\nSystemCode=88B4\r\n"
             "[Card]\r\nVerifyRetry=3\r\n");
    DeleteFileA((InstallDir() + "ZUKcntrl.log").c_str());
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    auto open = lib.Get<OpenFn>("ZUKOpen");
    auto close = lib.Get<CloseFn>("ZUKClose");
    auto sense = lib.Get<SenseFn>("ZUKSenseCard");
    auto verify = lib.Get<VerifyPinFn>("ZUKVerifyPIN");
    auto account = lib.Get<UserAccountFn>("ZUKGetUserAccount");

    int handle = -1;
    ASSERT_RESULT(open(&handle), ZUK_OK);
    ASSERT_EQ(handle, 1);
    int present = -1;
    ASSERT_RESULT(sense(kReaderHandle, &present), ZUK_OK);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(Text(lib.Get<ReadTextFn>("ZUKGetUserName")), "Alice Example");
    EXPECT_EQ(Text(lib.Get<ReadTextFn>("ZUKGetUserOption")), "opt-user");
    EXPECT_EQ(Text(lib.Get<ReadTextFn>("ZUKGetAdminOption")), "opt-admin");

    // A wrong PIN: the retry prompt comes up, Cancel returns 3, and the card counts the failure.
    CallThread wrong;
    StartCall(&wrong, [&] { return verify(kReaderHandle, 4, "0000"); });
    SeenWindow box;
    ASSERT_TRUE(WaitForWindow(&box, 10000, wrong.id));
    PressButton(box.hwnd, IDCANCEL);
    ASSERT_TRUE(FinishCall(&wrong, 10000));
    EXPECT_RESULT(wrong.result, ZUK_ERR_PIN_WRONG);
    EXPECT_EQ(ControlBlock(&sim).substr(0, 5), "03 01");
    EXPECT_RESULT(verify(kReaderHandle, 4, "1234"), ZUK_OK);
    EXPECT_EQ(ControlBlock(&sim).substr(0, 5), "03 00");

    // The account through the PIN dialog: the user types the PIN and presses OK.
    char accountText[128];
    char passwordText[256];
    AccountRequest request = {ZUK_ACCOUNT_REQUEST_VERSION,
                              accountText,
                              sizeof accountText,
                              passwordText,
                              sizeof passwordText,
                              0,
                              0};
    CallThread acquire;
    StartCall(&acquire, [&] {
        return account(kReaderHandle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
    });
    SeenWindow pin;
    ASSERT_TRUE(WaitForDialogWith(ZUK_IDC_PIN_EDIT, &pin, acquire.id, 10000));
    // Another thread's call while the dialog is up meets the busy prompt; Cancel gives 1792.
    CallThread other;
    int otherPresence = 0;
    StartCall(&other, [&] { return sense(kReaderHandle, &otherPresence); });
    SeenWindow busy;
    ASSERT_TRUE(WaitForWindow(&busy, 10000, other.id));
    PressButton(busy.hwnd, IDCANCEL);
    ASSERT_TRUE(FinishCall(&other, 10000));
    EXPECT_RESULT(other.result, ZUK_ERR_BUSY);
    AnswerPinDialog(pin.hwnd, "1234");
    ASSERT_TRUE(FinishCall(&acquire, 15000));
    EXPECT_RESULT(acquire.result, ZUK_OK);
    EXPECT_EQ(std::string(accountText, static_cast<std::size_t>(request.AccountLength)), "alice");
    EXPECT_EQ(std::string(passwordText, static_cast<std::size_t>(request.PasswordLength)),
              "s3cret-pass");

    EXPECT_RESULT(close(kReaderHandle), ZUK_OK);
    const std::vector<std::string> expected = {
        "ZUKOpen,NormalEnd",           "ZUKSenseCard,NormalEnd",
        "ZUKGetUserName,NormalEnd",    "ZUKGetUserOption,NormalEnd",
        "ZUKGetAdminOption,NormalEnd", "ZUKVerifyPIN,LOW,0x00000003,0x10000003",
        "ZUKVerifyPIN,NormalEnd",
        "ZUKSenseCard,ZUK,0x00000700",  // the busy prompt, and its cancel
        "ZUKSenseCard,ZUK,0x00000700",
        "ZUKVerifyPIN,NormalEnd",  // the PIN typed into the dialog, traced under its own name
        "ZUKGetUserAccount,NormalEnd", "ZUKClose,NormalEnd",
    };
    EXPECT_EQ(TraceLines(), expected);
}

bool RunCancellingPrompts(CallThread *t, std::function<int()> calls, int *prompts);

// One user action in a prompt: find the library's window that holds `control` (0: a message box),
// optionally give the simulator a command first, type `text` into `control`, press `button`.
struct UiStep {
    int control;
    const char *simCommand;
    const char *text;
    int button;
};

struct AccountCase {
    const char *name;
    DWORD device;
    const char *ini;         // extra INI lines
    const char *cardFaults;  // a simulator command run before the call, or null
    std::vector<UiStep> steps;
    int expected;
    std::string account;
};

TEST(AccountPrompts, RealDialogsDriveTheFlow) {
    SimControl sim;
    ASSERT_TRUE(sim.Connected());
    const char *com = std::getenv("ZUK_SIM_COM");
    ASSERT_NE(com, nullptr);
    const AccountCase cases[] = {
        {"cancel on the first PIN prompt",
         1,
         "",
         nullptr,
         {{ZUK_IDC_PIN_EDIT, nullptr, nullptr, ZUK_IDC_PIN_CANCEL}},
         ZUK_CANCELLED,
         ""},
        {"VerifyRetry 2: two wrong PINs end it",
         1,
         "[Card]\r\nVerifyRetry=2\r\n",
         nullptr,
         {{ZUK_IDC_PIN_EDIT, nullptr, "0000", ZUK_IDC_PIN_OK},
          {ZUK_IDC_PINERR_OK, nullptr, nullptr, ZUK_IDC_PINERR_OK},
          {ZUK_IDC_PIN_EDIT, nullptr, "1111", ZUK_IDC_PIN_OK},
          {ZUK_IDC_PINERR_OK, nullptr, nullptr, ZUK_IDC_PINERR_OK}},
         ZUK_ERR_PIN_WRONG,
         ""},
        {"no reader: the typed prompt",
         0,
         "",
         nullptr,
         {{ZUK_IDC_CRED_ID, nullptr, "carol", 0},
          {ZUK_IDC_CRED_PASSWORD, nullptr, "pw", ZUK_IDC_CRED_OK}},
         0,
         "carol"},
        {"locked card: the notice, then the card is taken away",
         1,
         "",
         "locked",
         {{0, nullptr, nullptr, IDOK},
          {ZUK_IDC_WAIT_CANCEL, nullptr, nullptr, ZUK_IDC_WAIT_CANCEL}},
         ZUK_CANCELLED,
         ""},
    };
    for (const AccountCase &c : cases) {
        ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
        WriteMachineConfig(kLibraryModeCard, c.device, kConfigPairRememberedNoReuse);
        WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + com +
                 "\r\nDeviceName=PR300\r\n[FeliCa]\r\nSystemCode=88B4\r\n" + c.ini);
        LoadedLibrary lib;
        ASSERT_NE(lib.module, nullptr);
        int handle = -1;
        ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK) << c.name;
        if (c.cardFaults != nullptr) {
            // A card whose PIN is locked: three failures against a limit of 3.
            for (int i = 0; i < 3; ++i) {
                int present = 0;
                lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &present);
            }
            CallThread lock;
            int dummy = 0;
            ASSERT_TRUE(RunCancellingPrompts(
                &lock,
                [&] {
                    for (int i = 0; i < 3; ++i)
                        lib.Get<VerifyPinFn>("ZUKVerifyPIN")(kReaderHandle, 1, "x");
                    return 0;
                },
                &dummy));
        }
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
            return lib.Get<UserAccountFn>("ZUKGetUserAccount")(
                handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
        });
        for (const UiStep &step : c.steps) {
            SeenWindow w;
            if (step.control == 0) {  // a message box
                ASSERT_TRUE(WaitForDialogWith(kMessageBoxTextId, &w, call.id, 10000)) << c.name;
                if (c.cardFaults != nullptr) sim.Command("remove");
            } else {
                ASSERT_TRUE(WaitForDialogWith(step.control, &w, call.id, 10000))
                    << c.name << ": no window with control " << step.control;
            }
            if (step.text != nullptr) SetDlgItemTextA(w.hwnd, step.control, step.text);
            if (step.button != 0) {
                PressButton(w.hwnd, step.button);
                WaitGone(w.hwnd, 10000);
            }
        }
        ASSERT_TRUE(FinishCall(&call, 15000)) << c.name;
        EXPECT_EQ(call.result, c.expected) << c.name;
        if (c.expected == ZUK_OK || c.expected == ZUK_CANCELLED) {
            EXPECT_EQ(std::string(accountText, static_cast<std::size_t>(request.AccountLength)),
                      c.account)
                << c.name;
        }
        if (c.expected == ZUK_CANCELLED) {
            EXPECT_EQ(request.PasswordLength, 0) << c.name;
        }
        lib.Get<CloseFn>("ZUKClose")(handle);
    }
}

// Runs the calls on a thread of their own and cancels every prompt they show, as a user who
// gives up at once; false when the thread does not end.
bool RunCancellingPrompts(CallThread *t, std::function<int()> calls, int *prompts) {
    StartCall(t, std::move(calls));
    *prompts = 0;
    const DWORD end = GetTickCount() + 60000;
    while (WaitForSingleObject(t->handle, 0) == WAIT_TIMEOUT && GetTickCount() < end) {
        SeenWindow box;
        if (WaitForWindow(&box, 200, t->id)) {
            PressButton(box.hwnd, IDCANCEL);
            WaitGone(box.hwnd, 5000);
            ++*prompts;
        }
    }
    return FinishCall(t, 1000);
}

TEST(BadArguments, EveryExportReturnsItsCodeAfterTheRetryPrompt) {
    WriteMachineConfig();
    WriteIni("[Log]\r\nMode=0\r\n");
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    std::vector<std::pair<const char *, int>> results;
    CallThread t;
    int prompts = 0;
    ASSERT_TRUE(RunCancellingPrompts(
        &t,
        [&] {
            char buffer[8];
            int zero = 0;
            int length = sizeof buffer;
            AccountRequest request = {ZUK_ACCOUNT_REQUEST_VERSION, buffer, 8, buffer, 8, 0, 0};
            AccountRequest badVersion = request;
            badVersion.Version = 0x20000;
            auto text = lib.Get<ReadTextFn>("ZUKGetUserName");
            auto account = lib.Get<UserAccountFn>("ZUKGetUserAccount");
            results = {
                {"ZUKOpen(null)", lib.Get<OpenFn>("ZUKOpen")(nullptr)},
                {"ZUKClose(7)", lib.Get<CloseFn>("ZUKClose")(7)},
                {"ZUKSenseCard(1, null)", lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, nullptr)},
                {"ZUKVerifyPIN(1, -1, pin)",
                 lib.Get<VerifyPinFn>("ZUKVerifyPIN")(kReaderHandle, -1, "1")},
                {"ZUKGetUserName(1, buffer, 0)", text(kReaderHandle, buffer, &zero)},
                {"ZUKGetUserName(0, buffer, 8)", text(0, buffer, &length)},
                {"ZUKGetUserOption(1, null, 8)",
                 lib.Get<ReadTextFn>("ZUKGetUserOption")(kReaderHandle, nullptr, &length)},
                {"ZUKGetAdminOption(1, buffer, null)",
                 lib.Get<ReadTextFn>("ZUKGetAdminOption")(kReaderHandle, buffer, nullptr)},
                {"ZUKGetMaxLength(null, null)",
                 lib.Get<int(ZUKAPI *)(int *, int *)>("ZUKGetMaxLength")(nullptr, nullptr)},
                {"ZUKGetLibVersion(null)",
                 lib.Get<int(ZUKAPI *)(int *)>("ZUKGetLibVersion")(nullptr)},
                {"ZUKGetLibMode(null)",
                 lib.Get<int(ZUKAPI *)(int *, int)>("ZUKGetLibMode")(nullptr, 5)},
                {"ZUKGetUserAccount(null request)",
                 account(kReaderHandle, nullptr, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr)},
                {"ZUKGetUserAccount(mode 0x2000)",
                 account(kReaderHandle, &request, 0x2000, nullptr)},
                {"ZUKGetUserAccount(invalid window)",
                 account(kReaderHandle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE,
                         reinterpret_cast<void *>(0x4321))},
                {"ZUKGetUserAccount(version 0x20000)",
                 account(kReaderHandle, &badVersion, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr)},
                {"ZUKGetUserAccount(handle 3)",
                 account(3, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr)},
            };
            return 0;
        },
        &prompts));
    const int expected[] = {ZUK_ERR_PARAM, ZUK_ERR_HANDLE, ZUK_ERR_PARAM,   ZUK_ERR_PARAM,
                            ZUK_ERR_PARAM, ZUK_ERR_HANDLE, ZUK_ERR_PARAM,   ZUK_ERR_PARAM,
                            ZUK_ERR_PARAM, ZUK_ERR_PARAM,  ZUK_ERR_PARAM,   ZUK_ERR_PARAM,
                            ZUK_ERR_PARAM, ZUK_ERR_PARAM,  ZUK_ERR_VERSION, ZUK_ERR_HANDLE};
    ASSERT_EQ(results.size(), sizeof expected / sizeof expected[0]);
    for (std::size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i].second, expected[i]) << results[i].first;
    EXPECT_EQ(prompts, static_cast<int>(results.size())) << "one retry prompt per call";
}

TEST(TwoProcesses, SecondOpenWaitsForTheFirstClose) {
    WriteMachineConfig(kLibraryModeCard,
                       kDeviceNone);  // no reader: ZUKOpen holds the mutex all the same
    WriteIni("[Log]\r\nMode=0\r\n");
    for (const char *how : {"close", "end"}) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "zuk-api-child-opened");
        ResetEvent(event);
        HANDLE child = StartChild(std::string("--open-child zuk-api-child-opened 1500 ") + how);
        ASSERT_NE(child, nullptr);
        ASSERT_EQ(WaitForSingleObject(event, 20000), static_cast<DWORD>(WAIT_OBJECT_0)) << how;
        LoadedLibrary lib;
        int handle = -1;
        const DWORD start = GetTickCount();
        EXPECT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK) << how;
        EXPECT_GE(GetTickCount() - start, 1000u) << how << ": the second open did not wait";
        EXPECT_RESULT(lib.Get<CloseFn>("ZUKClose")(handle), ZUK_OK) << how;
        EXPECT_EQ(WaitForSingleObject(child, 20000), static_cast<DWORD>(WAIT_OBJECT_0)) << how;
        CloseHandle(child);
        CloseHandle(event);
    }
}

// Second process of the two-process test: opens the reader through the DLL, signals, holds it for
// holdMs, then closes it or ends without closing.
int OpenChild(const char *event, int holdMs, bool close) {
    LoadedLibrary lib;
    int handle = -1;
    const int opened = lib.Get<OpenFn>("ZUKOpen")(&handle);
    HANDLE signal = OpenEventA(EVENT_MODIFY_STATE, FALSE, event);
    if (signal) SetEvent(signal);
    Sleep(static_cast<DWORD>(holdMs));
    if (!close) ExitProcess(opened == 0 ? 0 : 3);
    return lib.Get<CloseFn>("ZUKClose")(handle) == 0 && opened == 0 ? 0 : 3;
}

TEST(OwnerWindow, DestroyedUnderThePinDialogEndsTheProcessAfterClosingTheReader) {
    SimControl sim;
    ASSERT_TRUE(sim.Connected());
    ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
    const char *com = std::getenv("ZUK_SIM_COM");
    ASSERT_NE(com, nullptr);
    WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairRememberedNoReuse);
    WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + com +
             "\r\nDeviceName=PR300\r\n[FeliCa]\r\nSystemCode=88B4\r\n");
    HANDLE child = StartChild("--owner-child");
    ASSERT_NE(child, nullptr);
    // The child's reader runs at 115200 bit/s while its PIN dialog is up.
    bool opened = false;
    for (int i = 0; i < 200 && !opened; ++i) {
        opened = sim.Command("status").find("speed 115200") != std::string::npos;
        if (!opened) Sleep(20);
    }
    EXPECT_TRUE(opened);
    ASSERT_EQ(WaitForSingleObject(child, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 99;
    GetExitCodeProcess(child, &exitCode);
    CloseHandle(child);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_NE(sim.Command("status").find("speed 9600"), std::string::npos)
        << "the reader was not closed before the process ended";
}

void CALLBACK DestroyOnTimer(HWND window, UINT, UINT_PTR, DWORD) { DestroyWindow(window); }

// Second process of the owner test: a host window owns the PIN dialog and is destroyed under it
// by a timer, as a host that closes its window tree would.
int OwnerChild() {
    LoadedLibrary lib;
    int handle = -1;
    if (lib.Get<OpenFn>("ZUKOpen")(&handle) != 0) return 4;
    HWND owner = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    if (owner == nullptr) return 5;
    SetTimer(owner, 1, 1500, DestroyOnTimer);
    char accountText[128];
    char passwordText[256];
    AccountRequest request = {ZUK_ACCOUNT_REQUEST_VERSION,
                              accountText,
                              sizeof accountText,
                              passwordText,
                              sizeof passwordText,
                              0,
                              0};
    lib.Get<UserAccountFn>("ZUKGetUserAccount")(handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE,
                                                owner);
    return 6;  // the library should have ended the process
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--open-child") == 0)
        return OpenChild(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "close") == 0);
    if (argc == 2 && std::strcmp(argv[1], "--owner-child") == 0) return OwnerChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
