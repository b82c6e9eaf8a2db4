// The two notices: no card on the reader, and a PIN that did not verify.  Each closes only with
// its button (Esc and the close command do nothing).
#include "api/dialogs/dialog_common_win32.h"
#include "api/dialogs/dialogs.h"
#include "resources/dialog_ids.h"

namespace {

struct NoticeLayout {
    std::uint32_t caption;
    int okId;
    std::uint32_t okText;
    int textIds[2];
    std::uint32_t texts[2];  // 0: no such line
    int iconId;
};

const NoticeLayout kNoCard = {0x40001,
                              ZUK_IDC_NOCARD_OK,
                              0x40004,
                              {ZUK_IDC_NOCARD_TEXT1, ZUK_IDC_NOCARD_TEXT2},
                              {0x40002, 0x40003},
                              ZUK_IDC_NOCARD_ICON};
const NoticeLayout kPinError = {0x50001,      ZUK_IDC_PINERR_OK,  0x50003, {ZUK_IDC_PINERR_TEXT, 0},
                                {0x50002, 0}, ZUK_IDC_PINERR_ICON};

INT_PTR CALLBACK NoticeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        DialogRun *run = BeginDialog(dialog, lParam);
        const NoticeLayout &layout = run->variant == ZUK_DLG_NO_CARD ? kNoCard : kPinError;
        SetCaptionText(dialog, layout.caption);
        SetControlText(dialog, layout.okId, layout.okText);
        for (int i = 0; i < 2; ++i) {
            if (layout.texts[i] != 0) SetControlText(dialog, layout.textIds[i], layout.texts[i]);
        }
        SetExclamationIcon(dialog, layout.iconId);
        CentreOnDesktop(dialog);
        return TRUE;
    }
    case WM_COMMAND: {
        DialogRun *run = RunOf(dialog);
        if (run == nullptr) return FALSE;
        const NoticeLayout &layout = run->variant == ZUK_DLG_NO_CARD ? kNoCard : kPinError;
        if (LOWORD(wParam) == layout.okId) {
            EndByLibrary(dialog, kDialogOk);
            return TRUE;
        }
        return LOWORD(wParam) == IDCANCEL ? TRUE : FALSE;  // Esc: nothing happens
    }
    case WM_DESTROY: EndProcessUnlessLibraryEnded(dialog, true); return FALSE;
    default: return FALSE;
    }
}

int ShowNotice(int templateId, void *parent) {
    DialogRun run{};
    run.variant = templateId;
    return RunModalDialog(templateId, static_cast<HWND>(parent), NoticeProc, &run);
}

}  // namespace

int NoCardDialog(void *parent) { return ShowNotice(ZUK_DLG_NO_CARD, parent); }
int PinErrorDialog(void *parent) { return ShowNotice(ZUK_DLG_PIN_ERROR, parent); }
