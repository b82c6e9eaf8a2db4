// ZUKGetUserAccount: its own result loop around the account worker, with the no-account prompt,
// the card-locked and card-revoked notices and the locked-now rule.
#include <cstring>

#include "api/frame.h"
#include "api/cancel.h"
#include "api/workers.h"
#include "card/sensing.h"
#include "card/last_status.h"
#include "platform/messagebox.h"
#include "platform/system.h"
#include "platform/window.h"
#include "settings/config.h"
#include "status/status_table.h"

namespace {
const std::uint32_t kPauseMs = 100;

// Whether the card the last card operation addressed still answers on the reader (a card taken
// away, or another one laid in its place, does not).
bool SameCardAnswers() {
    std::uint8_t idm[8];
    std::uint8_t pmm[8];
    int idmLength = sizeof idm;
    int pmmLength = sizeof pmm;
    return CardGetIdm(idm, &idmLength, pmm, &pmmLength) == SESSION_OK;
}
}  // namespace

extern "C" int ZUKAPI ZUKGetUserAccount(int handle, AccountRequest *request, int mode,
                                        void *window) {
    AccountRequest asked{};
    if (request != nullptr) asked = *request;
    // Message boxes belong to the host's window when it is one.
    void *parent = PlatIsWindow(window) ? window : nullptr;
    CallScope scope;
    const int free = WaitUntilFree("ZUKGetUserAccount", parent);
    if (free != ZUK_OK) return free;

    bool lockedNow = false;
    int result;
    for (;;) {
        result = AccountWorker(handle, request, mode, window);
        if (IsReaderError(result)) {
            if (AskFramePrompt(kMsgRetryCaption, kMsgRetryText, kStyleRetryCancel, parent) ==
                PLAT_IDCANCEL)
                break;
        } else if (result == ZUK_OK || result == ZUK_ERR_PIN_WRONG) {
            break;
        } else if (result == ZUK_CANCELLED) {
            // A cancel after the wrong PIN that locked the card reports the wrong PIN.
            if (lockedNow) result = ZUK_ERR_PIN_WRONG;
            break;
        } else if (result == ZUK_ERR_NO_DATA) {
            if (AskFramePrompt(kMsgNoAccountCaption, kMsgNoAccountText, kStyleRetryCancel,
                               parent) == PLAT_IDCANCEL)
                break;
            *request = asked;  // start again with the sizes the host gave
        } else if (result == ZUK_ERR_CARD_LOCKED) {
            // Unattended, the lock is returned at once.  Attended, the notice tells the user; the
            // call then returns the lock while that card still lies on the reader (showing the
            // notice again could never end), and starts again, with the card prompt, when it was
            // taken away or another card laid meanwhile.
            if (GetUnattended()) break;
            // A revoked card has its own notice: no PIN was ever involved.
            const bool revoked = GetLastCardStatus() == SESSION_ERR_REVOKED;
            AskFramePrompt(revoked ? kMsgRevokedCaption : kMsgLockedCaption,
                           revoked ? kMsgRevokedText : kMsgLockedText, kStyleNotice, parent);
            if (SameCardAnswers()) break;
        } else if (result == ZUK_ERR_PIN_LOCKED_NOW) {
            lockedNow = true;
        } else if (!RetryCanHelp(result)) {
            break;
        } else {
            if (AskFramePrompt(kMsgRetryCaption, kMsgRetryText, kStyleRetryCancel, parent) ==
                PLAT_IDCANCEL)
                break;
        }
        if (CallCancelled() || WaitOrCancel(kPauseMs)) break;
    }
    // A cancel ends the call as the Cancel of a prompt does (unless it came too late to stop it):
    // ZUK_CANCELLED and empty texts.
    if (result != ZUK_OK && result != ZUK_CANCELLED && CallCancelled()) {
        result = TraceCancelled("ZUKGetUserAccount");
        if (request != nullptr && request->AccountBuffer != nullptr && asked.AccountLength > 0 &&
            request->PasswordBuffer != nullptr && asked.PasswordLength > 0) {
            request->AccountBuffer[0] = '\0';
            request->PasswordBuffer[0] = '\0';
            request->AccountLength = 0;
            request->PasswordLength = 0;
        }
    }
    LeaveApi();
    return result;
}
