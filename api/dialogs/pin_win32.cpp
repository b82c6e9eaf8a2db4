// The PIN prompt: the PIN typed in a masked field, into the entry's PIN area on OK.
#include <cstring>

#include "api/dialogs/dialog_common_win32.h"
#include "api/dialogs/dialogs.h"
#include "resources/dialog_ids.h"

namespace {

const std::uint32_t kMsgCaption = 0x30001;
const std::uint32_t kMsgLabel = 0x30002;
const std::uint32_t kMsgOk = 0x30003;
const std::uint32_t kMsgCancel = 0x30004;

INT_PTR CALLBACK PinProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const DialogEntry *entry = BeginDialog(dialog, lParam)->entry;
        SetCaptionText(dialog, kMsgCaption);
        SetLabelText(dialog, ZUK_IDC_PIN_TEXT, kMsgLabel, "(&P)");
        SetControlText(dialog, ZUK_IDC_PIN_OK, kMsgOk);
        SetControlText(dialog, ZUK_IDC_PIN_CANCEL, kMsgCancel);
        SetEditLimit(dialog, ZUK_IDC_PIN_EDIT, entry->pinLimit);
        CentreOnDesktop(dialog);
        return TRUE;
    }
    case WM_COMMAND: {
        const DialogRun *run = RunOf(dialog);
        if (run == nullptr) return FALSE;
        switch (LOWORD(wParam)) {
        case ZUK_IDC_PIN_OK: {
            char *pin = run->entry->pin;
            std::memset(pin, 0, kDialogTextSize);
            Win().GetDlgItemTextA(dialog, ZUK_IDC_PIN_EDIT, pin, static_cast<int>(kDialogTextSize));
            if (pin[0] != '\0') EndByLibrary(dialog, kDialogOk);  // empty: stays open
            return TRUE;
        }
        case ZUK_IDC_PIN_CANCEL: EndByLibrary(dialog, kDialogCancel); return TRUE;
        case IDCANCEL: PostCommand(dialog, ZUK_IDC_PIN_CANCEL); return TRUE;
        default: return FALSE;
        }
    }
    case WM_DESTROY: EndProcessUnlessLibraryEnded(dialog, true); return FALSE;
    default: return FALSE;
    }
}

}  // namespace

int ShowPinDialog(void *parent, const DialogEntry &entry) {
    DialogRun run{};
    run.entry = &entry;
    return RunModalDialog(ZUK_DLG_PIN, static_cast<HWND>(parent), PinProc, &run);
}
