// The PIN dialog is the library's dialog-class window (#32770) holding the PIN edit (1042) and its
// OK button (1043).  The watcher looks for it every 50 ms, waits for it to be painted, and answers
// it through the same messages a user's typing and click produce.
#include "tools/zukcli/pin_answerer.h"

#include <windows.h>

#include "tools/picture/window_picture.h"

namespace {

const int kPinEdit = 1042;
const int kPinOk = 1043;

std::string g_pin;
std::string g_picturePath;
volatile LONG g_stop = 0;
volatile LONG g_pictured = 0;
HANDLE g_thread = nullptr;

BOOL CALLBACK FindPinDialog(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char cls[32] = {0};
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || GetDlgItem(window, kPinEdit) == nullptr) return TRUE;
    *reinterpret_cast<HWND *>(param) = window;
    return FALSE;
}

DWORD WINAPI Watch(LPVOID) {
    HWND answered = nullptr;
    while (!g_stop) {
        HWND dialog = nullptr;
        EnumWindows(FindPinDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog != nullptr && dialog != answered) {
            Sleep(300);  // the dialog sets its texts and paints after it shows
            if (!g_picturePath.empty() && g_pictured == 0 &&
                SaveWindowPicture(dialog, g_picturePath))
                InterlockedExchange(&g_pictured, 1);
            SetDlgItemTextA(dialog, kPinEdit, g_pin.c_str());
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kPinOk, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, kPinOk)));
            answered = dialog;
        }
        Sleep(50);
    }
    return 0;
}

}  // namespace

void StartPinAnswerer(const std::string &pin, const std::string &screenshotPath) {
    if (g_thread != nullptr) return;
    g_pin = pin;
    g_picturePath = screenshotPath;
    InterlockedExchange(&g_stop, 0);
    g_thread = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
}

bool StopPinAnswerer() {
    if (g_thread == nullptr) return false;
    InterlockedExchange(&g_stop, 1);
    WaitForSingleObject(g_thread, 2000);
    CloseHandle(g_thread);
    g_thread = nullptr;
    SecureZeroMemory(&g_pin[0], g_pin.size());
    g_pin.clear();
    return g_pictured != 0;
}
