// ZUKcntrl.dll in a console host (this program imports no window system: its own imports are
// checked by the test that runs it): an unattended identification and the host-driven account
// flow never load user32.dll into the process, and the first prompt the library shows still
// appears (it loads the window system then).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ZUKcntrl.h"
#include "api/workers.h"
#include "resources/dialog_ids.h"
#include "settings/events.h"
#include "tests/wine/support/sim_control.h"
#include "tests/wine/support/wine_support.h"
#include "tools/zuk_exports.h"

namespace {

bool WindowSystemLoaded() { return GetModuleHandleA("user32.dll") != nullptr; }

// A visible dialog of the library in this process, found through the window system the library
// loaded (this program does not import it).
struct DialogSearch {
    DWORD process;
    int controlId;
    decltype(&::GetWindowThreadProcessId) threadProcess;
    decltype(&::IsWindowVisible) visible;
    decltype(&::GetDlgItem) item;
    bool found;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM param) {
    DialogSearch *s = reinterpret_cast<DialogSearch *>(param);
    DWORD process = 0;
    s->threadProcess(window, &process);
    if (process == s->process && s->visible(window) && s->item(window, s->controlId) != nullptr) {
        s->found = true;
        return FALSE;
    }
    return TRUE;
}

bool DialogShown(int controlId) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr) return false;
    auto resolve = [user32](const char *name) {
        return reinterpret_cast<void (*)()>(GetProcAddress(user32, name));
    };
    DialogSearch s{GetCurrentProcessId(),
                   controlId,
                   reinterpret_cast<decltype(&::GetWindowThreadProcessId)>(
                       resolve("GetWindowThreadProcessId")),
                   reinterpret_cast<decltype(&::IsWindowVisible)>(resolve("IsWindowVisible")),
                   reinterpret_cast<decltype(&::GetDlgItem)>(resolve("GetDlgItem")),
                   false};
    auto enumWindows = reinterpret_cast<decltype(&::EnumWindows)>(resolve("EnumWindows"));
    if (enumWindows == nullptr || s.threadProcess == nullptr || s.visible == nullptr ||
        s.item == nullptr)
        return false;
    enumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct Call {
    const LoadedLibrary *lib;
    AccountRequest *request;
    int result;
};

DWORD WINAPI RunInteractive(LPVOID param) {
    Call *call = static_cast<Call *>(param);
    call->result = call->lib->Get<UserAccountFn>("ZUKGetUserAccount")(
        kReaderHandle, call->request, ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr);
    return 0;
}

class ConsoleHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Connected());
        const char *com = std::getenv("ZUK_SIM_COM");
        ASSERT_NE(com, nullptr);
        WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairTyped);
        WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + com +
                 "\r\nDeviceName=PR300\r\n[FeliCa]\r\nSystemCode=88B4\r\n[Card]\r\n"
                 "PollingInterval=100\r\n[Prompt]\r\nUnattended=1\r\n");
    }
    void Fresh() {
        request = AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    }
    SimControl sim;
    char account[128];
    char password[256];
    AccountRequest request{};
};

// The host has no window system of its own, and the calls that show nothing leave it so: the
// load, an unattended identification with a card that needs no PIN, the host-driven flow with
// the host's PIN (right and wrong), the PIN tries, the card wait and the close.
TEST_F(ConsoleHost, CallsThatShowNothingNeverLoadTheWindowSystem) {
    ASSERT_FALSE(WindowSystemLoaded()) << "this host must not import user32 itself";
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    EXPECT_FALSE(WindowSystemLoaded()) << "loaded with the library";
    int handle = -1;
    ASSERT_EQ(lib.Get<OpenFn>("ZUKOpen")(&handle), 0);

    ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_NOPIN_CARD_FILE), "OK");
    Fresh();
    EXPECT_EQ(lib.Get<UserAccountFn>("ZUKGetUserAccount")(kReaderHandle, &request,
                                                          ZUK_ACCOUNT_MODE_INTERACTIVE, nullptr),
              ZUK_OK);
    EXPECT_EQ(std::string(account, static_cast<std::size_t>(request.AccountLength)), "alice");

    ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
    auto withPin = lib.Get<UserAccountWithPinFn>("ZUKGetUserAccountWithPin");
    int tries = 0;
    Fresh();
    EXPECT_EQ(withPin(kReaderHandle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, "1234", 4, &tries),
              ZUK_OK);
    Fresh();
    EXPECT_EQ(withPin(kReaderHandle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, "0000", 4, &tries),
              ZUK_ERR_PIN_WRONG);
    int left = 0, limit = 0;
    EXPECT_EQ(lib.Get<PinTriesFn>("ZUKGetPinTries")(kReaderHandle, &left, &limit), 0);
    int present = -1;
    EXPECT_EQ(lib.Get<WaitForCardFn>("ZUKWaitForCard")(kReaderHandle, 1, 300, &present), 0);
    EXPECT_EQ(present, 1);
    lib.Get<CloseFn>("ZUKClose")(kReaderHandle);
    EXPECT_FALSE(WindowSystemLoaded());
}

// The first prompt the library shows in such a host (the card wait, no card on the reader)
// appears, with the window system loaded for it; ZUKCancel ends it.
TEST_F(ConsoleHost, TheFirstPromptStillAppears) {
    ASSERT_FALSE(WindowSystemLoaded());
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    int handle = -1;
    ASSERT_EQ(lib.Get<OpenFn>("ZUKOpen")(&handle), 0);
    ASSERT_EQ(sim.Command("remove"), "OK");
    Fresh();
    Call call{&lib, &request, 99};
    HANDLE thread = CreateThread(nullptr, 0, RunInteractive, &call, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    bool shown = false;
    for (int i = 0; i < 200 && !shown; ++i) {
        Sleep(50);
        shown = DialogShown(ZUK_IDC_WAIT_CANCEL);
    }
    EXPECT_TRUE(shown) << "the card wait prompt did not appear";
    EXPECT_TRUE(WindowSystemLoaded());
    EXPECT_EQ(lib.Get<CancelFn>("ZUKCancel")(), 0);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(call.result, ZUK_CANCELLED);
    ASSERT_EQ(sim.Command("place"), "OK");
    lib.Get<CloseFn>("ZUKClose")(kReaderHandle);
}

// The library's message table (compiled from resources/events.mc) has every event's text in
// English and in Japanese, with its strings' inserts, as the Event Viewer reads them.
TEST(BuiltMessageTable, EveryEventHasItsTexts) {
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    struct Event {
        DWORD id;
        int strings;
    };
#define ZUK_EVENT_ID(name, id, type, strings, symbol) {id, strings},
    const Event events[] = {ZUK_EVENTS(ZUK_EVENT_ID)};
#undef ZUK_EVENT_ID
    for (const Event &e : events) {
        for (WORD language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                              MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)}) {
            SCOPED_TRACE(std::to_string(e.id) + " in language " + std::to_string(language));
            char text[2048] = {0};
            const DWORD length =
                FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                               lib.module, e.id, language, text, sizeof text, nullptr);
            EXPECT_GT(length, 10u) << "error " << GetLastError();
            EXPECT_NE(std::strstr(text, ("%" + std::to_string(e.strings)).c_str()), nullptr)
                << text;
        }
    }
    char text[64];
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, lib.module, 999,
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr),
        0u)
        << "an id the table does not have";
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
