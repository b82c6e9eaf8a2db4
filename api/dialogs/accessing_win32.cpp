// The card access window: modeless, shown while the card is read, and closed by the library.
#include "api/dialogs/dialog_common_win32.h"
#include "api/dialogs/dialogs.h"
#include "api/frame.h"
#include "resources/dialog_ids.h"

namespace {

const std::uint32_t kMsgCaption = 0x60001;
const std::uint32_t kMsgText = 0x60002;

INT_PTR CALLBACK AccessingProc(HWND dialog, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        BeginDialog(dialog, lParam);
        SetCaptionText(dialog, kMsgCaption);
        CentreOnDesktop(dialog);
        SetControlText(dialog, ZUK_IDC_ACCESS_TEXT, kMsgText);
        return FALSE;  // nothing in it takes the focus
    case WM_CLOSE:
        // Only the library closes this window; a close from anywhere else ends the process.
        EndProcessUnlessLibraryEnded(dialog, false);
        Win().DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        // Destroyed with its owner: forget the handle, so that a later close cannot reach a
        // window that reuses it.
        if (dialog == g_dialogs.accessWindow) g_dialogs.accessWindow = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

bool OpenAccessingWindow(void *parent) {
    // One window at a time: a window still open is closed rather than left behind.
    if (g_dialogs.accessWindow != nullptr) CloseAccessingWindow();
    if (PlatWindowSystem() == nullptr) return false;
    HWND owner = static_cast<HWND>(parent);
    SetDialogParent(owner);
    g_dialogs.accessPreviouslyActive = Win().GetActiveWindow();
    g_dialogs.accessRun = DialogRun{};
    g_dialogs.accessWindow = Win().CreateDialogParamA(
        static_cast<HINSTANCE>(GetModuleHandleOfLibrary()), MAKEINTRESOURCEA(ZUK_DLG_ACCESSING),
        owner, AccessingProc, reinterpret_cast<LPARAM>(&g_dialogs.accessRun));
    return g_dialogs.accessWindow != nullptr;
}

void CloseAccessingWindow() {
    g_dialogs.accessRun.endFlag = 1;
    if (g_dialogs.accessWindow != nullptr) {
        HWND previous = g_dialogs.accessPreviouslyActive;
        if (previous != nullptr && previous != Win().GetActiveWindow() &&
            Win().IsWindow(previous)) {
            Win().SetActiveWindow(previous);
        }
        Win().SendMessageA(g_dialogs.accessWindow, WM_CLOSE, 0, 0);
    }
    g_dialogs.accessWindow = nullptr;
}
