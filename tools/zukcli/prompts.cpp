// The watcher looks for visible message boxes of this process every 50 ms: dialog-class windows
// with the message box's text control.  The library's own dialogs (card wait,
// PIN, user ID and password, the card-access window) have no such control and are left alone:
// closing one from outside would end the process.
#include "tools/zukcli/prompts.h"

#include <windows.h>

#include "tools/dialogs/find_dialog.h"

namespace {

CRITICAL_SECTION g_lock;
bool g_started = false;
volatile LONG g_stop = 0;
HANDLE g_thread = nullptr;
std::vector<std::string> g_answered;

DWORD WINAPI Watch(LPVOID) {
    DialogQuery messageBox;
    messageBox.anyOfControls = {kMessageBoxTextId};
    HWND last = nullptr;
    DWORD answeredAt = 0;
    while (!g_stop) {
        const HWND found = FindDialog(messageBox);
        // A prompt still there a second after its answer gets the answer again.
        if (found && found == last && GetTickCount() - answeredAt > 1000) last = nullptr;
        if (found && found != last) {
            Sleep(50);  // let the prompt finish setting its texts
            const std::string line = WindowText(found) + ": " + ControlText(found, kMessageBoxTextId);
            EnterCriticalSection(&g_lock);
            g_answered.push_back(line);
            LeaveCriticalSection(&g_lock);
            PressButton(found, GetDlgItem(found, IDCANCEL) ? IDCANCEL : IDOK);
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
