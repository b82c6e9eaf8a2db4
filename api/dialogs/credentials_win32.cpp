// The two credentials prompts: "card or typed ID and password" (which also polls the reader) and
// "typed ID and password".  Both use the same template, with the user ID masked when the
// configuration asks for it.
#include <cstring>

#include "api/dialogs/dialog_common_win32.h"
#include "api/dialogs/dialogs.h"
#include "resources/dialog_ids.h"
#include "settings/config.h"
#include "settings/credentials.h"

namespace {

const int kCardOrId = 1;
const int kIdPassword = 2;


// Catalogue ids of one prompt's texts; 0 leaves the line empty.
struct PromptTexts {
    std::uint32_t caption;
    std::uint32_t line1;
    std::uint32_t line2;
    std::uint32_t ok;
    std::uint32_t cancel;
};
const PromptTexts kCardOrIdTexts = {0x20001, 0x20002, 0x20003, 0x20006, 0x20007};
const PromptTexts kIdPasswordTexts = {0xC0001, 0xC0003, 0, 0xC0004, 0xC0005};
const std::uint32_t kMsgIdLabel = 0x20004;
const std::uint32_t kMsgPasswordLabel = 0x20005;

// Puts the remembered user ID (and, when passwords are remembered too, the password) into the
// fields.
void FillRemembered(HWND dialog) {
    const std::uint32_t remember = GetRememberItems();
    if (remember != kRememberId && remember != kRememberIdAndPassword) return;
    char id[kStoredTextSize] = {0};
    char stored[kStoredTextSize] = {0};
    std::int32_t idLength = kStoredTextSize - 1;
    std::int32_t storedLength = kStoredTextSize - 1;
    if (ReadCredentials(id, &idLength, stored, &storedLength, Remembered) != kStoreOk) return;
    id[idLength > 0 ? idLength : 0] = '\0';
    Win().SetDlgItemTextA(dialog, ZUK_IDC_CRED_ID, id);
    if (remember == kRememberIdAndPassword) {
        stored[storedLength > 0 ? storedLength : 0] = '\0';
        std::uint8_t password[kStoredTextSize] = {0};
        std::int32_t length = UnscramblePassword(stored, storedLength, password);
        if (length < 0 || length >= kStoredTextSize) length = 0;
        password[length] = '\0';
        Win().SetDlgItemTextA(dialog, ZUK_IDC_CRED_PASSWORD, reinterpret_cast<char *>(password));
        SecureZeroMemory(password, sizeof password);
    }
    SecureZeroMemory(stored, sizeof stored);
}

void Initialise(HWND dialog, const PromptTexts &texts, const DialogEntry &entry) {
    SetCaptionText(dialog, texts.caption);
    SetControlText(dialog, ZUK_IDC_CRED_TEXT1, texts.line1);
    if (texts.line2 != 0) {
        SetControlText(dialog, ZUK_IDC_CRED_TEXT2, texts.line2);
    } else {
        Win().SetDlgItemTextA(dialog, ZUK_IDC_CRED_TEXT2, "");
    }
    SetLabelText(dialog, ZUK_IDC_CRED_ID_LABEL, kMsgIdLabel, "(&I)");
    SetLabelText(dialog, ZUK_IDC_CRED_PASSWORD_LABEL, kMsgPasswordLabel, "(&P)");
    SetControlText(dialog, ZUK_IDC_CRED_OK, texts.ok);
    SetControlText(dialog, ZUK_IDC_CRED_CANCEL, texts.cancel);
    SetEditLimit(dialog, ZUK_IDC_CRED_ID, entry.idLimit);
    SetEditLimit(dialog, ZUK_IDC_CRED_PASSWORD, entry.passwordLimit);
    if (GetInputItems() == kInputIdOnly) {
        Win().EnableWindow(Win().GetDlgItem(dialog, ZUK_IDC_CRED_PASSWORD_LABEL), FALSE);
        Win().EnableWindow(Win().GetDlgItem(dialog, ZUK_IDC_CRED_PASSWORD), FALSE);
    }
    FillRemembered(dialog);
    CentreOnDesktop(dialog);
}

// OK: the typed user ID and password into the entry's areas; false (the prompt stays open) when
// no user ID was typed.  An empty password is accepted.
bool ReadTyped(HWND dialog, const DialogEntry &entry) {
    std::memset(entry.id, 0, kDialogTextSize);
    std::memset(entry.password, 0, kDialogTextSize);
    Win().GetDlgItemTextA(dialog, ZUK_IDC_CRED_ID, entry.id, static_cast<int>(kDialogTextSize));
    if (entry.id[0] == '\0') return false;
    Win().GetDlgItemTextA(dialog, ZUK_IDC_CRED_PASSWORD, entry.password,
                          static_cast<int>(kDialogTextSize));
    return true;
}

INT_PTR CALLBACK CredentialsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        DialogRun *run = BeginDialog(dialog, lParam);
        Initialise(dialog, run->variant == kCardOrId ? kCardOrIdTexts : kIdPasswordTexts,
                   *run->entry);
        if (run->variant == kCardOrId) StartPollTimer(dialog);
        return TRUE;
    }
    case WM_TIMER: {
        DialogRun *run = RunOf(dialog);
        if (run != nullptr && run->variant == kCardOrId && wParam == kPollTimerId &&
            PollCard(dialog)) {
            EndByLibrary(dialog, kDialogCard);
        }
        return TRUE;
    }
    case WM_COMMAND: {
        DialogRun *run = RunOf(dialog);
        if (run == nullptr) return FALSE;
        const bool polls = run->variant == kCardOrId;
        switch (LOWORD(wParam)) {
        case ZUK_IDC_CRED_OK:
            if (ReadTyped(dialog, *run->entry)) {  // no user ID: stays open, the poll goes on
                if (polls) StopPollTimer(dialog);
                EndByLibrary(dialog, kDialogOk);
            }
            return TRUE;
        case ZUK_IDC_CRED_CANCEL:
            if (polls) StopPollTimer(dialog);
            EndByLibrary(dialog, kDialogCancel);
            return TRUE;
        case IDCANCEL:  // Esc and the close command act as the Cancel button
            PostCommand(dialog, ZUK_IDC_CRED_CANCEL);
            return TRUE;
        default: return FALSE;
        }
    }
    case WM_DESTROY: {
        const DialogRun *run = RunOf(dialog);
        EndProcessUnlessLibraryEnded(dialog, run != nullptr && run->variant == kCardOrId);
        return FALSE;
    }
    default: return FALSE;
    }
}

int ShowCredentials(int variant, void *parent, const DialogEntry &entry) {
    DialogRun run{};
    run.variant = variant;
    run.entry = &entry;
    const int templateId = GetDialogVariant() == kDialogVariantMaskedId ? ZUK_DLG_CREDENTIALS_MASKED
                                                                        : ZUK_DLG_CREDENTIALS;
    return RunModalDialog(templateId, static_cast<HWND>(parent), CredentialsProc, &run);
}

}  // namespace

int ShowCardOrIdDialog(void *parent, const DialogEntry &entry) {
    return ShowCredentials(kCardOrId, parent, entry);
}
int ShowIdPasswordDialog(void *parent, const DialogEntry &entry) {
    return ShowCredentials(kIdPassword, parent, entry);
}
