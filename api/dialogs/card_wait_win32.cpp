// The card wait prompt: polls the reader until a card answers or the user cancels.
#include "api/dialogs/dialog_common_win32.h"
#include "api/dialogs/dialogs.h"
#include "resources/dialog_ids.h"

namespace {

const std::uint32_t kMsgCaption = 0x10001;
const std::uint32_t kMsgText = 0x10002;
const std::uint32_t kMsgCancel = 0x10003;

INT_PTR CALLBACK CardWaitProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        BeginDialog(dialog, lParam);
        SetCaptionText(dialog, kMsgCaption);
        SetControlText(dialog, ZUK_IDC_WAIT_TEXT, kMsgText);
        SetControlText(dialog, ZUK_IDC_WAIT_CANCEL, kMsgCancel);
        CentreOnDesktop(dialog);
        StartPollTimer(dialog);
        return TRUE;
    case WM_TIMER:
        if (wParam == kPollTimerId && PollCard(dialog)) EndByLibrary(dialog, kDialogCard);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ZUK_IDC_WAIT_CANCEL:
            StopPollTimer(dialog);
            EndByLibrary(dialog, kDialogCancel);
            return TRUE;
        case IDCANCEL:  // Esc and the close command act as the Cancel button
            PostCommand(dialog, ZUK_IDC_WAIT_CANCEL);
            return TRUE;
        default: return FALSE;
        }
    case WM_DESTROY: EndProcessUnlessLibraryEnded(dialog, true); return FALSE;
    default: return FALSE;
    }
}

}  // namespace

int CardWaitDialog(void *parent) {
    DialogRun run{};
    return RunModalDialog(ZUK_DLG_CARD_WAIT, static_cast<HWND>(parent), CardWaitProc, &run);
}
