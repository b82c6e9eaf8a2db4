// The watcher looks for visible message boxes of this process every 50 ms: dialog-class windows
// (#32770) with the message box's text control (id 0xFFFF).  The library's own dialogs (card wait,
// PIN, user ID and password, the card-access window) have no such control and are left alone:
// closing one from outside would end the process.
#include "tools/zukcli/prompts.h"

#include <windows.h>

namespace {

CRITICAL_SECTION g_lock;
bool g_started = false;
volatile LONG g_stop = 0;
HANDLE g_thread = nullptr;
std::vector<std::string> g_answered;

struct Search {
    HWND found;
};

BOOL CALLBACK FindPrompt(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char cls[32] = {0};
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0) return TRUE;
    if (!GetDlgItem(window, 0xFFFF)) return TRUE;
    reinterpret_cast<Search *>(param)->found = window;
    return FALSE;
}

DWORD WINAPI Watch(LPVOID) {
    HWND last = nullptr;
    DWORD answeredAt = 0;
    while (!g_stop) {
        Search s{nullptr};
        EnumWindows(FindPrompt, reinterpret_cast<LPARAM>(&s));
        // A prompt still there a second after its answer gets the answer again.
        if (s.found && s.found == last && GetTickCount() - answeredAt > 1000) last = nullptr;
        if (s.found && s.found != last) {
            Sleep(50);  // let the prompt finish setting its texts
            char caption[512] = {0}, text[1024] = {0};
            GetWindowTextA(s.found, caption, sizeof caption);
            GetDlgItemTextA(s.found, 0xFFFF, text, sizeof text);  // a message box's text
            EnterCriticalSection(&g_lock);
            g_answered.push_back(std::string(caption) + ": " + text);
            LeaveCriticalSection(&g_lock);
            const int button = GetDlgItem(s.found, IDCANCEL) ? IDCANCEL : IDOK;
            PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(s.found, button)));
            last = s.found;
            answeredAt = GetTickCount();
        } else if (!s.found) {
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
