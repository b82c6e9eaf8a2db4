// The watcher looks every 50 ms for the windows the library shows that would wait for a person:
// its message boxes (dialog-class windows with the message box's text control), its notices (no
// card, wrong PIN) and its prompts (card wait, user ID and password, and the PIN prompt).  While
// --pin answers the PIN exchange, the PIN prompt and the wrong-PIN notice are left to it.  It
// presses the button a user would: Cancel where there is one, else OK.  A library dialog must
// never be closed from outside (that ends the process), so it is only ever answered through its
// own buttons.  The short card-access window closes by itself and is left alone.
#include "tools/zukcli/prompts.h"

#include <windows.h>

#include "resources/dialog_ids.h"
#include "tools/dialogs/find_dialog.h"
#include "tools/zukcli/pin_answerer.h"

namespace {

CRITICAL_SECTION g_lock;
bool g_started = false;
volatile LONG g_stop = 0;
HANDLE g_thread = nullptr;
std::vector<std::string> g_answered;

// What a window is and the button that answers it.
struct Answerable {
    int control;      // a control only this kind of window holds
    int button;       // the button a user would press
    int textControl;  // the text recorded (0: none)
    bool leftToPin;   // part of the PIN exchange: left alone while --pin answers it
};

const Answerable kAnswerable[] = {
    {kMessageBoxTextId, IDCANCEL, kMessageBoxTextId, false},  // IDOK when it has no Cancel
    {ZUK_IDC_NOCARD_OK, ZUK_IDC_NOCARD_OK, ZUK_IDC_NOCARD_TEXT1, false},
    {ZUK_IDC_PINERR_OK, ZUK_IDC_PINERR_OK, ZUK_IDC_PINERR_TEXT, true},
    {ZUK_IDC_WAIT_CANCEL, ZUK_IDC_WAIT_CANCEL, ZUK_IDC_WAIT_TEXT, false},
    {ZUK_IDC_CRED_CANCEL, ZUK_IDC_CRED_CANCEL, ZUK_IDC_CRED_TEXT1, false},
    {ZUK_IDC_PIN_CANCEL, ZUK_IDC_PIN_CANCEL, ZUK_IDC_PIN_TEXT, true},
};

// The first library window that waits for an answer, with the kind it is.
HWND FindAnswerable(const Answerable **kind) {
    for (const Answerable &a : kAnswerable) {
        if (a.leftToPin && PinAnswererRunning()) continue;
        DialogQuery query;
        query.anyOfControls = {a.control};
        const HWND found = FindDialog(query);
        if (found != nullptr) {
            *kind = &a;
            return found;
        }
    }
    return nullptr;
}

DWORD WINAPI Watch(LPVOID) {
    HWND last = nullptr;
    DWORD answeredAt = 0;
    while (!g_stop) {
        const Answerable *kind = nullptr;
        const HWND found = FindAnswerable(&kind);
        // A window still there a second after its answer gets the answer again.
        if (found && found == last && GetTickCount() - answeredAt > 1000) last = nullptr;
        if (found && found != last) {
            Sleep(50);  // let the window finish setting its texts
            std::string line = WindowText(found);
            if (kind->textControl != 0) line += ": " + ControlText(found, kind->textControl);
            EnterCriticalSection(&g_lock);
            g_answered.push_back(line);
            LeaveCriticalSection(&g_lock);
            int button = kind->button;
            if (kind->control == kMessageBoxTextId && !GetDlgItem(found, IDCANCEL)) button = IDOK;
            PressButton(found, button);
            last = found;
            answeredAt = GetTickCount();
        } else if (!found) {
            last = nullptr;
        }
        Sleep(50);
    }
    return 0;
}

}  // namespace

void StartPromptCanceller() {
    if (g_started) return;
    InitializeCriticalSection(&g_lock);
    g_started = true;
    g_thread = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
}

void StopPromptCanceller() {
    if (!g_thread) return;
    InterlockedExchange(&g_stop, 1);
    WaitForSingleObject(g_thread, 2000);
    CloseHandle(g_thread);
    g_thread = nullptr;
}

std::vector<std::string> TakeAnsweredPrompts() {
    std::vector<std::string> out;
    if (!g_started) return out;
    EnterCriticalSection(&g_lock);
    out.swap(g_answered);
    LeaveCriticalSection(&g_lock);
    return out;
}
