// Entry point of the dialog test program.  "--end-from-outside <dialog>" plays the child process
// of DialogProcessEnd: it enters the call frame, takes the reader's mutex, opens the dialog and
// has it ended from outside; the process is expected to end with exit code 0 inside the dialog,
// having left the frame and released the mutex (reported through kChildCleanEvent).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "api/dialogs/dialogs.h"
#include "api/frame.h"
#include "tests/wine/dialogs/dialog_fixture.h"
#include "tests/wine/dialogs/process_end.h"
#include "tests/wine/support/wine_support.h"

namespace {

const int kChildWentOn = 7;
const int kChildNoWindow = 5;

// The process's end, watched: the library's code in this program calls ExitProcess through the
// program's import slot, which the child points at WatchedExit.  It reports whether the library
// had left the call frame and released the reader's mutex by then (the parent cannot see that
// once the child is gone), and ends the process with the code given.
// (32-bit import symbols carry the stdcall decoration and a leading underscore; 64-bit ones
// neither.)
#ifdef _WIN64
extern "C" void *g_exitProcessSlot asm("__imp_ExitProcess");
#else
extern "C" void *g_exitProcessSlot asm("__imp__ExitProcess@4");
#endif
void *g_realExit = nullptr;

void WINAPI WatchedExit(UINT code) {
    if (!ApiIsBusy() && !PortMutexHeld()) {
        HANDLE clean = OpenEventA(EVENT_MODIFY_STATE, FALSE, kChildCleanEvent);
        if (clean != nullptr) SetEvent(clean);
    }
    void(WINAPI * realExit)(UINT) = nullptr;
    std::memcpy(&realExit, &g_realExit, sizeof realExit);
    realExit(code);
}

void WatchExit() {
    DWORD old = 0;
    VirtualProtect(&g_exitProcessSlot, sizeof g_exitProcessSlot, PAGE_READWRITE, &old);
    g_realExit = g_exitProcessSlot;
    void(WINAPI * watched)(UINT) = WatchedExit;
    std::memcpy(&g_exitProcessSlot, &watched, sizeof g_exitProcessSlot);
    VirtualProtect(&g_exitProcessSlot, sizeof g_exitProcessSlot, old, &old);
}

struct Target {
    HWND owner;
    bool accessing;
};

// Waits for the dialog, then destroys its owner (a posted WM_CLOSE, handled by the owner's thread
// inside the dialog's message loop) or, for the card access window, closes the window itself.
DWORD WINAPI EndFromOutside(LPVOID param) {
    const Target *target = static_cast<const Target *>(param);
    SeenWindow seen;
    if (!WaitForWindow(&seen, 10000)) ExitProcess(kChildNoWindow);
    PostMessageA(target->accessing ? seen.hwnd : target->owner, WM_CLOSE, 0, 0);
    return 0;
}

int EndFromOutsideChild(const std::string &dialog) {
    AttachWithTemplates(kConfigPairTyped);
    EnterApi();
    AcquirePortMutex();
    WatchExit();
    Target target{CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                  200, 100, nullptr, nullptr, nullptr, nullptr),
                  dialog == "accessing"};
    CreateThread(nullptr, 0, EndFromOutside, &target, 0, nullptr);
    struct Entry {
        const char *name;
        int (*show)(void *);
    };
    const Entry entries[] = {{"card_wait", CardWaitDialog},     {"card_or_id", CardOrIdDialog},
                             {"id_password", IdPasswordDialog}, {"pin", PinDialog},
                             {"no_card", NoCardDialog},         {"pin_error", PinErrorDialog}};
    for (const Entry &e : entries) {
        if (dialog == e.name) e.show(target.owner);
    }
    if (target.accessing && OpenAccessingWindow(target.owner)) {
        MSG msg;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 10000) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(10);
        }
    }
    return kChildWentOn;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--end-from-outside") == 0) {
        return EndFromOutsideChild(argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
