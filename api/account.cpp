// The user-account workers: silent reuse of the remembered pair, pick-up of the entered pair, and
// the interactive sources (card with or without PIN, the card's IDm, typed credentials); and the
// same flow with the PIN the host collected, which shows no window and returns each outcome.
#include "api/account.h"

#include <cstdio>
#include <cstring>

#include "api/cancel.h"
#include "api/dialogs/dialogs.h"
#include "api/frame.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "card/last_status.h"
#include "card/layout.h"
#include "card/pin.h"
#include "card/sensing.h"
#include "platform/system.h"
#include "platform/window.h"
#include "card/card_state.h"
#include "settings/config.h"
#include "settings/revocation.h"
#include "settings/trace.h"

namespace {

const char kName[] = "ZUKGetUserAccount";
const char kHostName[] = "ZUKGetUserAccountWithPin";
const std::uint32_t kPinErrorPauseMs = 2000;

// The export the running flow traces under (one account call runs at a time in the process).
const char *g_flowName = kName;

int Traced(int code) {
    Trace(g_flowName, "ZUK", static_cast<std::uint32_t>(code));
    return code;
}

int TracedLow(int code) {
    Trace(g_flowName, "LOW", static_cast<std::uint32_t>(code), GetLastCardStatus());
    return code;
}

// The PIN the host collected, and the tries the card has left after the call (-1: unknown or no
// limit).  A flow given one shows no window: no PIN prompt, notice or card-access window.
struct HostPin {
    const char *pin;
    int length;
    int triesLeft;
};

// The card-access window around a card operation, unless the host drives the flow.
// The card-access window only informs: neither the host-driven flow nor an unattended host (no
// person at the screen, often a service that has no window system running) shows it.
bool ShowsAccess(const HostPin *host) { return host == nullptr && !GetUnattended(); }
bool OpenAccess(void *window, const HostPin *host) {
    return !ShowsAccess(host) || OpenAccessingWindow(window);
}
void CloseAccess(const HostPin *host) {
    if (ShowsAccess(host)) CloseAccessingWindow();
}

// Cancel: the host gets empty texts.
int Cancelled(AccountRequest *request) {
    request->AccountBuffer[0] = '\0';
    request->PasswordBuffer[0] = '\0';
    request->AccountLength = 0;
    request->PasswordLength = 0;
    return Traced(ZUK_CANCELLED);
}

// Puts a typed or generated text into a host's buffer (size bytes, checked by the caller) and
// terminates it when the buffer has a byte to spare.
void PutHostText(char *buffer, std::int32_t size, const char *text, std::int32_t length) {
    std::memcpy(buffer, text, static_cast<std::size_t>(length));
    if (length < size) buffer[length] = '\0';
}

bool SameId(const AccountRequest &a, const AccountRequest &b) {
    return a.AccountLength == b.AccountLength &&
           std::memcmp(a.AccountBuffer, b.AccountBuffer,
                       static_cast<std::size_t>(a.AccountLength)) == 0;
}

// The outcome of a load in the pick-up and reuse steps: 0 only with a user ID.
int PairResult(int code, const AccountRequest &request) {
    return code == ZUK_OK && request.AccountLength > 0 ? ZUK_OK : code;
}

// Pick-up mode: the entered pair an earlier hand-over call left, deleted whatever the outcome.
int PickUp(AccountRequest *request) {
    const std::uint32_t remember = GetRememberItems();
    int code;
    if (remember == kRememberNothing) {
        code = PairResult(LoadStoredPair(request, Entered), *request);
        if (code == ZUK_OK) DeleteCredentials();
    } else if (remember == kRememberId || remember == kRememberIdAndPassword) {
        if (RememberedPairComplete()) {
            code = LoadStoredPair(request, Remembered);
        } else {
            // The entered pair counts only when it belongs to the remembered user.
            char id[CARD_MAX_ACCOUNT_LENGTH];
            char password[CARD_MAX_PASSWORD_LENGTH];
            AccountRequest remembered = {
                ZUK_ACCOUNT_REQUEST_VERSION, id, sizeof id, password, sizeof password, 0, 0};
            const AccountRequest asked = *request;
            code = LoadStoredPair(&remembered, Remembered);
            if (code == ZUK_OK) code = LoadStoredPair(request, Entered);
            if (code == ZUK_OK && !SameId(*request, remembered)) {
                // Another user's pair never reaches the host's buffers.
                std::memset(request->AccountBuffer, 0,
                            static_cast<std::size_t>(request->AccountLength));
                std::memset(request->PasswordBuffer, 0,
                            static_cast<std::size_t>(request->PasswordLength));
                request->AccountLength = asked.AccountLength;
                request->PasswordLength = asked.PasswordLength;
                code = ZUK_ERR_ACCOUNT_STORE;
            }
            PlatSecureWipe(password, sizeof password);
        }
        DeleteCredentials();
        code = PairResult(code, *request);
    } else {
        return Traced(ZUK_ERR_ACCOUNT_STORE);
    }
    if (code == ZUK_OK || code == ZUK_ERR_BUFFER) return Traced(code);
    return Traced(ZUK_ERR_ACCOUNT_STORE);
}

// Keeps the pair obtained: as the remembered pair when the configuration remembers, and as the
// entered pair in hand-over mode.  cardIdm: the card it was read from (null when typed), kept
// beside it so that a revocation of the card reaches the pair.
int StorePair(const AccountRequest *request, int mode, const std::uint8_t *cardIdm) {
    char scrambled[kStoredTextSize];
    const std::int32_t length =
        ScramblePassword(reinterpret_cast<const std::uint8_t *>(request->PasswordBuffer),
                         request->PasswordLength, scrambled);
    const std::uint32_t remember = GetRememberItems();
    int code = ZUK_OK;
    if (remember == kRememberId || remember == kRememberIdAndPassword)
        code = WriteCredentials(request->AccountBuffer, request->AccountLength, scrambled, length,
                                Remembered, cardIdm);
    if (code == ZUK_OK && mode == ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER)
        code = WriteCredentials(request->AccountBuffer, request->AccountLength, scrambled, length,
                                Entered, cardIdm);
    PlatSecureWipe(scrambled, sizeof scrambled);
    return Traced(code);
}

int TypedPath(AccountRequest *request, int mode) {
    const std::int32_t idLength = static_cast<std::int32_t>(std::strlen(EnteredId()));
    const std::int32_t passwordLength = static_cast<std::int32_t>(std::strlen(EnteredPassword()));
    if (idLength > request->AccountLength || passwordLength > request->PasswordLength) {
        WipeEnteredCredentials();
        return Traced(ZUK_ERR_BUFFER);
    }
    PutHostText(request->AccountBuffer, request->AccountLength, EnteredId(), idLength);
    PutHostText(request->PasswordBuffer, request->PasswordLength, EnteredPassword(),
                passwordLength);
    WipeEnteredCredentials();
    request->AccountLength = idLength;
    request->PasswordLength = passwordLength;
    return StorePair(request, mode, nullptr);
}

// The card's IDm as the account: lower-case hexadecimal, no password, no PIN.
int IdmPath(AccountRequest *request, int mode, void *window, const HostPin *host) {
    if (!OpenAccess(window, host)) return Traced(ZUK_ERR_SYSTEM);
    std::uint8_t idm[8];
    std::uint8_t pmm[8];
    int idmLength = sizeof idm;
    int pmmLength = sizeof pmm;
    const int code = CardStatusResult(CardGetIdm(idm, &idmLength, pmm, &pmmLength));
    if (code != ZUK_OK) {
        const int traced = TracedLow(code);
        CloseAccess(host);
        return traced;
    }
    if (request->AccountLength < 2 * idmLength) {
        CloseAccess(host);
        return Traced(ZUK_ERR_BUFFER);
    }
    char text[2 * sizeof idm + 1];
    for (int i = 0; i < idmLength; ++i) std::snprintf(text + 2 * i, 3, "%02x", idm[i]);
    PutHostText(request->AccountBuffer, request->AccountLength, text, 2 * idmLength);
    request->AccountLength = 2 * idmLength;
    request->PasswordLength = 0;
    CloseAccess(host);
    return StorePair(request, mode, g_card.idm);
}

// The card's PIN state: whether it has a PIN and whether that is locked already.
int ReadPinState(bool *hasPin, bool *locked, PinTries *tries) {
    const int code = ReadPinTries(hasPin, tries);
    if (code != ZUK_OK) return code;
    *locked = *hasPin && tries->limit != 0 && tries->left == 0;
    return ZUK_OK;
}

// The host's PIN against the card (its state read just before): 0 when verified; a wrong PIN, or
// the one that locked the card, returns at once with the tries left in host->triesLeft.
int VerifyHostPin(int handle, const PinTries &before, HostPin *host) {
    const int verified = VerifyPinWorker(handle, host->length, host->pin);
    if (verified == ZUK_OK) {
        host->triesLeft = before.limit != 0 ? before.limit : -1;
        return ZUK_OK;
    }
    if (verified == ZUK_ERR_PIN_WRONG)
        host->triesLeft = before.limit != 0 && before.left > 0 ? before.left - 1 : -1;
    if (verified == ZUK_ERR_PIN_LOCKED_NOW) host->triesLeft = 0;
    return Traced(verified);
}

// A notice only tells and has nothing but OK: without a person at the screen (unattended) it is
// taken as answered at once instead of waiting for a click nobody makes.
int Notice(int (*show)(void *parent), void *window) {
    return GetUnattended() ? kDialogOk : show(window);
}

// Asks for the PIN until the card accepts it, the attempts are used up or the user cancels.
// 0 when verified; any other value is the worker's result.
int PinLoop(AccountRequest *request, int handle, void *window) {
    const std::int32_t limit = GetVerifyRetry();
    std::int32_t attempts = 0;
    bool wrongPin = false;
    for (;;) {
        if (limit != 0 && attempts == limit) return ZUK_ERR_PIN_WRONG;
        const int answer = PinDialog(window);
        if (answer == kDialogFailed) return Traced(ZUK_ERR_INCOMPLETE);
        if (answer == kDialogCancel) {
            if (wrongPin) return Traced(ZUK_ERR_PIN_WRONG);
            return Cancelled(request);
        }
        if (answer != kDialogOk) return Traced(ZUK_ERR_UNEXPECTED);

        (void)OpenAccessingWindow(window);
        const int verified =
            VerifyPinWorker(handle, static_cast<int>(std::strlen(EnteredPin())), EnteredPin());
        WipeEnteredPin();
        CloseAccessingWindow();

        int shown;
        if (verified == ZUK_OK) {
            return ZUK_OK;
        } else if (verified == ZUK_ERR_PIN_WRONG) {
            wrongPin = true;
            shown = Notice(PinErrorDialog, window);
        } else if (verified == ZUK_ERR_NO_CARD || verified == ZUK_ERR_CARD_IO) {
            shown = Notice(NoCardDialog, window);
        } else if (verified == ZUK_ERR_PIN_LOCKED_NOW) {
            if (Notice(PinErrorDialog, window) != kDialogFailed) return ZUK_ERR_PIN_LOCKED_NOW;
            return Traced(ZUK_ERR_INCOMPLETE);
        } else {
            return verified;
        }
        if (shown == kDialogFailed) return Traced(ZUK_ERR_INCOMPLETE);
        if (WaitOrCancel(kPinErrorPauseMs)) return Cancelled(request);
        if (limit != 0) ++attempts;
    }
}

int ReadAccountFromCard(AccountRequest *request, int mode, void *window, const HostPin *host) {
    if (!OpenAccess(window, host)) return Traced(ZUK_ERR_SYSTEM);
    const int code = CardStatusResult(CardReadAccount(
        reinterpret_cast<std::uint8_t *>(request->AccountBuffer), &request->AccountLength,
        reinterpret_cast<std::uint8_t *>(request->PasswordBuffer), &request->PasswordLength));
    CloseAccess(host);
    if (code != ZUK_OK) return TracedLow(code);
    if (GetInputItems() == kInputIdOnly) {  // the configuration asks for the user ID alone
        std::memset(request->PasswordBuffer, 0, static_cast<std::size_t>(request->PasswordLength));
        request->PasswordLength = 0;
    }
    if (request->AccountLength <= 0) return Traced(ZUK_ERR_NO_DATA);
    return StorePair(request, mode, g_card.idm);
}

// host: the host's PIN (the flow then shows no window), or null for the library's prompts.
int CardPath(AccountRequest *request, int handle, int mode, void *window, HostPin *host) {
    // A revoked card identifies nobody: nothing of it is read, the pairs obtained with it are
    // deleted, and the flow treats it as a locked card with its own notice (after it, the call
    // ends while the card still lies on the reader; unattended, at once).
    const CardStatus standing = CardStandingStatus();
    if (standing != SESSION_OK) return TracedLow(CardStatusResult(standing));
    if (GetIdmAsAccount() == 1) return IdmPath(request, mode, window, host);
    if (!OpenAccess(window, host)) return Traced(ZUK_ERR_SYSTEM);
    bool hasPin = false;
    bool locked = false;
    PinTries tries{};
    const int state = ReadPinState(&hasPin, &locked, &tries);
    if (state != ZUK_OK) {
        TracedLow(state);
        CloseAccess(host);
        return state;
    }
    CloseAccess(host);
    if (hasPin) {
        if (host != nullptr) host->triesLeft = tries.limit != 0 ? tries.left : -1;
        if (locked) {
            CardReportLocked("it was locked before this identification");
            const int code = CardStatusResult(SESSION_ERR_PIN_LOCKED);
            return host != nullptr ? Traced(code) : code;
        }
        const int verified =
            host != nullptr ? VerifyHostPin(handle, tries, host) : PinLoop(request, handle, window);
        if (verified != ZUK_OK) return verified;
    }
    return ReadAccountFromCard(request, mode, window, host);
}

// What every account call does before it asks a source: the library's mode, the request checks,
// the silent reuse of the remembered pair and the pick-up.  True when that answered the call
// (*result is then its result).
bool AnsweredBeforeSources(int handle, AccountRequest *request, int mode, void *window,
                           int *result) {
    if (GetLibraryMode() == kLibraryModeOff) {
        *result = Traced(ZUK_ERR_DISABLED);
        return true;
    }
    const int valid = ValidateAccountRequest(mode, window, request, handle);
    // Without a reader the handle is not needed.
    if (valid != ZUK_OK && !(valid == ZUK_ERR_HANDLE && GetDeviceKind() == kDeviceNone)) {
        *result = valid;
        return true;
    }
    if (RememberedPairComplete() && GetReuseBlock() == 0) {
        const int reused = PairResult(LoadStoredPair(request, Remembered), *request);
        if (reused == ZUK_OK) {
            if (mode == ZUK_ACCOUNT_MODE_PICKUP) DeleteCredentials();
            *result = Traced(ZUK_OK);
            return true;
        }
        if (reused == ZUK_ERR_BUFFER) {
            *result = Traced(ZUK_ERR_BUFFER);
            return true;
        }
    }
    if (mode == ZUK_ACCOUNT_MODE_PICKUP) {
        *result = PickUp(request);
        return true;
    }
    return false;
}

}  // namespace

bool RememberedPairComplete() {
    const std::uint32_t input = GetInputItems();
    const std::uint32_t remember = GetRememberItems();
    return (input == kInputIdOnly && remember == kRememberId) ||
           (input == kInputIdAndPassword && remember == kRememberIdAndPassword);
}

int ValidateAccountRequest(int mode, void *window, const AccountRequest *request, int handle) {
    if (request == nullptr) return Traced(ZUK_ERR_PARAM);
    if (mode != ZUK_ACCOUNT_MODE_INTERACTIVE && mode != kAccountModeInteractiveAlias1 &&
        mode != kAccountModeInteractiveAlias2 && mode != ZUK_ACCOUNT_MODE_PICKUP &&
        mode != ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER)
        return Traced(ZUK_ERR_PARAM);
    if (window != nullptr && !PlatIsWindow(window)) return Traced(ZUK_ERR_PARAM);
    if (request->Version != ZUK_ACCOUNT_REQUEST_VERSION) return Traced(ZUK_ERR_VERSION);
    if (request->AccountBuffer == nullptr || request->PasswordBuffer == nullptr ||
        request->AccountLength <= 0 || request->PasswordLength <= 0)
        return Traced(ZUK_ERR_PARAM);
    if (handle != kReaderHandle) return Traced(ZUK_ERR_HANDLE);
    return ZUK_OK;
}

int LoadStoredPair(AccountRequest *request, CredentialKind kind) {
    char id[kStoredTextSize] = {0};
    char stored[kStoredTextSize] = {0};
    std::int32_t idLength = sizeof id;
    std::int32_t storedLength = sizeof stored;
    int code = ReadCredentials(id, &idLength, stored, &storedLength, kind);
    if (code != ZUK_OK) return code;
    if (idLength == 0) return ZUK_ERR_NO_DATA;
    std::uint8_t password[kStoredTextSize] = {0};
    std::int32_t passwordLength = 0;
    if (storedLength > 0) passwordLength = UnscramblePassword(stored, storedLength, password);
    if (request->AccountLength < idLength || request->PasswordLength < passwordLength) {
        code = ZUK_ERR_BUFFER;
    } else {
        request->AccountLength = idLength;
        request->PasswordLength = passwordLength;
        std::memcpy(request->AccountBuffer, id, static_cast<std::size_t>(idLength));
        std::memcpy(request->PasswordBuffer, password, static_cast<std::size_t>(passwordLength));
    }
    PlatSecureWipe(password, sizeof password);
    PlatSecureWipe(stored, sizeof stored);
    return code;
}

int AccountWorker(int handle, AccountRequest *request, int mode, void *window) {
    g_flowName = kName;
    int result = 0;
    if (AnsweredBeforeSources(handle, request, mode, window, &result)) return result;
    // A cancelled call asks no source: it ends as a prompt's Cancel does.
    if (CallCancelled()) return Cancelled(request);

    int answer;
    if (GetDeviceKind() == kDeviceNone) {
        answer = IdPasswordDialog(window);
    } else {
        int present = 0;
        const int sensed = SenseCardWorker(handle, &present);
        if (sensed != ZUK_OK) return sensed;
        const std::uint32_t libraryMode = GetLibraryMode();
        if (libraryMode != kLibraryModeCard && libraryMode != kLibraryModeCardOrTyped)
            return Traced(ZUK_ERR_DISABLED);
        if (present == 1) {
            answer = kDialogCard;
        } else {
            answer =
                libraryMode == kLibraryModeCard ? CardWaitDialog(window) : CardOrIdDialog(window);
        }
    }
    switch (answer) {
    case kDialogCard: return CardPath(request, handle, mode, window, nullptr);
    case kDialogOk: return TypedPath(request, mode);
    case kDialogFailed: return Traced(ZUK_ERR_INCOMPLETE);
    case kDialogCancel: return Cancelled(request);
    default: return Traced(ZUK_ERR_UNEXPECTED);
    }
}

int AccountWithPinWorker(int handle, AccountRequest *request, int mode, const char *pin,
                         int pinLength, int *triesLeft) {
    g_flowName = kHostName;
    if (triesLeft != nullptr) *triesLeft = -1;
    if (GetLibraryMode() != kLibraryModeOff && (pinLength < 0 || (pinLength > 0 && pin == nullptr)))
        return Traced(ZUK_ERR_PARAM);
    int result = 0;
    if (AnsweredBeforeSources(handle, request, mode, nullptr, &result)) return result;
    // Typed credentials are the library's prompt: a host-driven call answers that it found no card
    // (no reader, or Mode 768 with no card on it); it waits for one with ZUKWaitForCard.
    if (GetDeviceKind() == kDeviceNone) return Traced(ZUK_ERR_NO_CARD);
    int present = 0;
    const int sensed = SenseCardWorker(handle, &present);
    if (sensed != ZUK_OK) return Traced(sensed);
    const std::uint32_t libraryMode = GetLibraryMode();
    if (libraryMode != kLibraryModeCard && libraryMode != kLibraryModeCardOrTyped)
        return Traced(ZUK_ERR_DISABLED);
    if (present != 1) return Traced(ZUK_ERR_NO_CARD);
    HostPin host{pin != nullptr ? pin : "", pinLength, -1};
    result = CardPath(request, handle, mode, nullptr, &host);
    if (triesLeft != nullptr) *triesLeft = host.triesLeft;
    return result;
}
