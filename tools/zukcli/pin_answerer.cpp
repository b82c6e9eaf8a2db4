// The PIN dialog is the library's dialog holding the PIN edit field, the wrong-PIN notice the one
// holding its OK button.  The watcher looks for both every 50 ms and answers through the same
// messages a user's typing and clicks produce.  A PIN dialog other than the one given the PIN, or
// the same one shown again after it had closed, is the library asking again after a wrong PIN:
// it is cancelled, never given the same PIN a second time.
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

bool Showing(HWND window) {
    return window != nullptr && IsWindow(window) && IsWindowVisible(window);
}

DWORD WINAPI Watch(LPVOID) {
    DialogQuery pinDialog;
    pinDialog.anyOfControls = {ZUK_IDC_PIN_EDIT};
    DialogQuery wrongPinNotice;
    wrongPinNotice.anyOfControls = {ZUK_IDC_PINERR_OK};
    HWND given = nullptr;      // the PIN dialog that got the PIN
    bool givenClosed = false;  // and has closed since
    HWND cancelled = nullptr;  // the last PIN dialog cancelled
    HWND dismissed = nullptr;  // the last wrong-PIN notice dismissed
    while (!g_stop) {
        if (given != nullptr && !Showing(given)) givenClosed = true;
        const HWND dialog = FindDialog(pinDialog);
        if (dialog != nullptr && given == nullptr) {
            Sleep(300);  // the dialog sets its texts and paints after it shows
            if (!g_picturePath.empty() && g_pictured == 0 &&
                SaveWindowPicture(dialog, g_picturePath))
                InterlockedExchange(&g_pictured, 1);
            AnswerPinDialog(dialog, g_pin.c_str());
            given = dialog;
        } else if (dialog != nullptr && (dialog != given || givenClosed) && dialog != cancelled) {
            Sleep(50);
            PressButton(dialog, ZUK_IDC_PIN_CANCEL);
            cancelled = dialog;
        }
        const HWND notice = FindDialog(wrongPinNotice);
        if (notice != nullptr && notice != dismissed) {
            Sleep(50);
            PressButton(notice, ZUK_IDC_PINERR_OK);
            dismissed = notice;
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
