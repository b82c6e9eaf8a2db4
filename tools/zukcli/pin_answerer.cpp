// The PIN dialog is the library's dialog holding the PIN edit field.  The watcher looks for it
// every 50 ms, waits for it to be painted, and answers it through the same messages a user's typing
// and click produce.
#include "tools/zukcli/pin_answerer.h"

#include <windows.h>

#include "resources/dialog_ids.h"
#include "tools/dialogs/find_dialog.h"
#include "tools/picture/window_picture.h"

namespace {

std::string g_pin;
std::string g_picturePath;
volatile LONG g_stop = 0;
volatile LONG g_pictured = 0;
volatile LONG g_running = 0;
HANDLE g_thread = nullptr;

DWORD WINAPI Watch(LPVOID) {
    DialogQuery pinDialog;
    pinDialog.anyOfControls = {ZUK_IDC_PIN_EDIT};
    HWND answered = nullptr;
    while (!g_stop) {
        const HWND dialog = FindDialog(pinDialog);
        if (dialog != nullptr && dialog != answered) {
            Sleep(300);  // the dialog sets its texts and paints after it shows
            if (!g_picturePath.empty() && g_pictured == 0 &&
                SaveWindowPicture(dialog, g_picturePath))
                InterlockedExchange(&g_pictured, 1);
            AnswerPinDialog(dialog, g_pin.c_str());
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
    InterlockedExchange(&g_running, 1);
    g_thread = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
}

bool PinAnswererRunning() { return g_running != 0; }

bool StopPinAnswerer() {
    if (g_thread == nullptr) return false;
    InterlockedExchange(&g_stop, 1);
    WaitForSingleObject(g_thread, 2000);
    CloseHandle(g_thread);
    g_thread = nullptr;
    InterlockedExchange(&g_running, 0);
    SecureZeroMemory(&g_pin[0], g_pin.size());
    g_pin.clear();
    return g_pictured != 0;
}
