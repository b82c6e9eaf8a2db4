// Shared parts of the Win32 prompt dialogs.
#include "api/dialogs/dialog_common_win32.h"

#include <atomic>
#include <cstdio>

#include "api/cancel.h"
#include "api/dialogs/dialogs.h"
#include "api/frame.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "card/session.h"
#include "settings/messages.h"

DialogState g_dialogs{};

namespace {

// What a cancel does to a dialog: the command of Esc, which the waiting dialogs and the prompts
// take as their Cancel button (the notices, which wait for nothing, keep it from closing them).
void PostCancel(HWND dialog) {
    Win().PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// A label's catalogue text and its suffix together.
const std::size_t kLabelBufferSize = 2048;

const char *CatalogueText(std::uint32_t messageId) {
    const char *text = GetMessageText(messageId);
    return text != nullptr ? text : "";
}

HINSTANCE LibraryInstance() { return static_cast<HINSTANCE>(GetModuleHandleOfLibrary()); }

}  // namespace

HWND DialogParent() { return g_dialogs.parent; }
void SetDialogParent(HWND parent) { g_dialogs.parent = parent; }

void DialogStateReset() {
    g_dialogs.parent = nullptr;
    g_dialogs.openDialog = nullptr;
    g_dialogs.accessWindow = nullptr;
    g_dialogs.accessPreviouslyActive = nullptr;
    g_dialogs.accessRun = DialogRun{};
}

int RunModalDialog(int templateId, HWND parent, DLGPROC proc, DialogRun *run) {
    SetDialogParent(parent);
    run->endFlag = 0;
    run->result = kDialogFailed;
    run->initialised = false;
    // The first window the library shows starts the window system (see window_system_win32.h).
    if (PlatWindowSystem() == nullptr) return kDialogFailed;
    Win().DialogBoxParamA(LibraryInstance(), MAKEINTRESOURCEA(templateId), parent, proc,
                          reinterpret_cast<LPARAM>(run));
    g_dialogs.openDialog = nullptr;
    // DialogBoxParam's own -1 (not created) would read as Cancel: the record says what happened.
    return run->initialised ? run->result : kDialogFailed;
}

DialogRun *BeginDialog(HWND dialog, LPARAM param) {
    DialogRun *run = reinterpret_cast<DialogRun *>(param);
    Win().SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(run));
    run->endFlag = 0;
    run->initialised = true;
    // Known to a cancel from now on; a cancel that came before (after the flow last looked) ends
    // it at once.
    g_dialogs.openDialog = dialog;
    if (CallCancelled()) PostCancel(dialog);
    return run;
}

void CancelWaitingDialogs() {
    const HWND dialog = g_dialogs.openDialog.load();
    if (dialog != nullptr) PostCancel(dialog);
}

DialogRun *RunOf(HWND dialog) {
    return reinterpret_cast<DialogRun *>(Win().GetWindowLongPtrA(dialog, DWLP_USER));
}

void SetCaptionText(HWND dialog, std::uint32_t messageId) {
    Win().SetWindowTextA(dialog, CatalogueText(messageId));
}

void SetControlText(HWND dialog, int controlId, std::uint32_t messageId) {
    Win().SetDlgItemTextA(dialog, controlId, CatalogueText(messageId));
}

void SetLabelText(HWND dialog, int controlId, std::uint32_t messageId, const char *suffix) {
    char label[kLabelBufferSize];
    std::snprintf(label, sizeof label, "%s%s", CatalogueText(messageId), suffix);
    Win().SetDlgItemTextA(dialog, controlId, label);
}

void SetEditLimit(HWND dialog, int controlId, int limit) {
    // OK reads at most kDialogTextSize - 1 bytes: a larger limit (or 0, which means no limit to
    // an edit field) would let the user type text that is then cut.
    const int largest = static_cast<int>(kDialogTextSize) - 1;
    const int bytes = (limit <= 0 || limit > largest) ? largest : limit;
    Win().SendDlgItemMessageA(dialog, controlId, EM_LIMITTEXT, static_cast<WPARAM>(bytes), 0);
}

void SetExclamationIcon(HWND dialog, int controlId) {
    Win().SendDlgItemMessageA(dialog, controlId, STM_SETICON,
                              reinterpret_cast<WPARAM>(Win().LoadIconA(nullptr, IDI_EXCLAMATION)),
                              0);
}

void CentreOnDesktop(HWND window) {
    RECT desktop{};
    RECT own{};
    Win().GetWindowRect(Win().GetDesktopWindow(), &desktop);
    Win().GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = (desktop.right - width) / 2;
    const int y = (desktop.bottom - height) / 2;
    Win().SetWindowPos(window, DialogParent() != nullptr ? HWND_TOP : HWND_TOPMOST, x, y, 0, 0,
                       SWP_NOSIZE | SWP_SHOWWINDOW);
}

void StartPollTimer(HWND dialog) {
    Win().SetTimer(dialog, kPollTimerId, PollingPeriodMs(), nullptr);
}

void StopPollTimer(HWND dialog) { Win().KillTimer(dialog, kPollTimerId); }

bool PollCard(HWND dialog) {
    StopPollTimer(dialog);
    int present = 0;
    SenseCardWorker(kReaderHandle, &present);
    if (present == 1) return true;
    StartPollTimer(dialog);
    return false;
}

void PostCommand(HWND dialog, int controlId) {
    Win().PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Win().GetDlgItem(dialog, controlId)));
}

void EndByLibrary(HWND dialog, int result) {
    DialogRun *run = RunOf(dialog);
    if (run != nullptr) {
        run->endFlag = 1;
        run->result = result;
    }
    Win().EndDialog(dialog, 1);
}

void EndProcessUnlessLibraryEnded(HWND dialog, bool stopTimer) {
    const DialogRun *run = RunOf(dialog);
    if (run == nullptr || run->endFlag != 0) return;
    CardCloseSession();
    if (stopTimer) StopPollTimer(dialog);
    LeaveApi();
    ReleasePortMutex();
    ExitProcess(0);
}
