// Workers of the reader and card exports: argument and setting checks, one card-layer call, the
// result code of its status and one trace line.
#include <cstdint>

#include "api/frame.h"

#include "api/api_state.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "card/last_status.h"
#include "card/layout.h"
#include "card/pin.h"
#include "card/sensing.h"
#include "card/session.h"
#include "card/card_state.h"
#include "settings/events.h"
#include "settings/config.h"
#include "settings/credentials.h"
#include "settings/revocation.h"
#include "settings/trace.h"

namespace {

int Traced(const char *name, int code) {
    Trace(name, "ZUK", static_cast<std::uint32_t>(code));
    return code;
}

// A card-layer status as the host's result: a failure is traced with the raw status beside it.
int TracedCard(const char *name, CardStatus status) {
    const int code = CardStatusResult(status);
    if (code == ZUK_OK) return Traced(name, ZUK_OK);
    Trace(name, "LOW", static_cast<std::uint32_t>(code), GetLastCardStatus());
    return code;
}

void TraceSenseFailure(const char *layer, int code) {
    if (code == g_frame.lastSenseResult) return;
    Trace("ZUKSenseCard", layer, static_cast<std::uint32_t>(code), GetLastCardStatus());
    g_frame.lastSenseResult = code;
}

typedef CardStatus (*TextRead)(std::uint8_t *buffer, int *length);

int TextWorker(const char *name, TextRead read, int handle, char *buffer, int *length) {
    if (GetLibraryMode() == kLibraryModeOff) return Traced(name, ZUK_ERR_DISABLED);
    if (handle == kReaderHandle && buffer != nullptr && length != nullptr && *length > 0) {
        const CardStatus standing = CardStandingStatus();
        if (standing != SESSION_OK) return TracedCard(name, standing);
        return TracedCard(name, read(reinterpret_cast<std::uint8_t *>(buffer), length));
    }
    return Traced(name, handle == kReaderHandle ? ZUK_ERR_PARAM : ZUK_ERR_HANDLE);
}

// A revocation list not held whole is one event for each spell: written when the standing first
// turns so (or changes between too long and unreadable), not again on every call while it lasts.
void WriteRevocationEvent(CardStanding standing, const char *why) {
    if (g_frame.revocationEventStanding == standing) return;
    g_frame.revocationEventStanding = standing;
    WriteEvent(kEventRevocationNotWhole, why);
}

}  // namespace

CardStatus CardStandingStatus() {
    const CardStanding standing = CardRevocationStanding(g_card.idm);
    if (standing == kCardAccepted || standing == kCardRevoked) {
        g_frame.revocationEventStanding = kCardAccepted;  // the lists are whole again
    }
    switch (standing) {
    case kCardAccepted: return SESSION_OK;
    case kCardRevoked: {
        ForgetPairsOfCard(g_card.idm);
        char idm[17];
        EventIdmText(g_card.idm, idm);
        WriteEvent(kEventRevokedCard, idm);
        return SESSION_ERR_REVOKED;
    }
    case kRevocationTooLong:
        WriteRevocationEvent(standing, "more cards or a longer value than the library holds");
        return SESSION_ERR_REVOCATION_TOO_LONG;
    case kRevocationUnreadable: break;
    }
    WriteRevocationEvent(standing, "a revocation key cannot be read");
    return SESSION_ERR_REVOCATION_UNREADABLE;
}

int OpenWorker(int *handle) {
    const char *name = "ZUKOpen";
    if (handle == nullptr) return Traced(name, ZUK_ERR_PARAM);
    if (GetLibraryMode() == kLibraryModeOff) {
        *handle = 0;
        return Traced(name, ZUK_ERR_DISABLED);
    }
    if (GetDeviceKind() == kDeviceNone) {  // no reader: nothing to open, nothing traced
        *handle = 0;
        return ZUK_OK;
    }
    const char *port = GetPortName();
    const int code =
        TracedCard(name, CardOpenSession(GetDeviceName(), port[0] != '\0' ? port : nullptr));
    *handle = code == ZUK_OK ? kReaderHandle : 0;
    return code;
}

int CloseWorker(int handle) {
    const char *name = "ZUKClose";
    if (GetLibraryMode() == kLibraryModeOff) return Traced(name, ZUK_ERR_DISABLED);
    if (GetDeviceKind() == kDeviceNone) return ZUK_OK;
    if (handle != kReaderHandle) return Traced(name, ZUK_ERR_HANDLE);
    return TracedCard(name, CardCloseSession());
}

int SenseCardWorker(int handle, int *present) {
    int code = ZUK_OK;
    if (GetLibraryMode() == kLibraryModeOff) {
        code = ZUK_ERR_DISABLED;
    } else if (handle != kReaderHandle) {
        code = ZUK_ERR_HANDLE;
    } else if (present == nullptr) {
        code = ZUK_ERR_PARAM;
    }
    if (code != ZUK_OK) {
        TraceSenseFailure("ZUK", code);
        return code;
    }
    const std::uint8_t *codes = nullptr;
    const std::int32_t count = GetSystemCodes(&codes);
    code = CardStatusResult(CardSense(present, codes, count));
    if (code != ZUK_OK) {
        TraceSenseFailure("LOW", code);
        return code;
    }
    if (g_frame.lastSenseResult != 0 || *present != g_frame.lastSensePresence) {
        Trace("ZUKSenseCard", "ZUK", 0);
        g_frame.lastSenseResult = 0;
        g_frame.lastSensePresence = *present;
    }
    return ZUK_OK;
}

int VerifyPinWorker(int handle, int pinLength, const char *pin) {
    const char *name = "ZUKVerifyPIN";
    if (GetLibraryMode() == kLibraryModeOff) return Traced(name, ZUK_ERR_DISABLED);
    if (handle == kReaderHandle && pinLength >= 0 && pin != nullptr) {
        const CardStatus standing = CardStandingStatus();
        if (standing != SESSION_OK) return TracedCard(name, standing);
        return TracedCard(name,
                          CardVerifyPin(reinterpret_cast<const std::uint8_t *>(pin), pinLength));
    }
    return Traced(name, handle == kReaderHandle ? ZUK_ERR_PARAM : ZUK_ERR_HANDLE);
}

int UserNameWorker(int handle, char *buffer, int *length) {
    return TextWorker("ZUKGetUserName", CardReadUserName, handle, buffer, length);
}

int UserOptionWorker(int handle, char *buffer, int *length) {
    return TextWorker("ZUKGetUserOption", CardReadUserOption, handle, buffer, length);
}

int AdminOptionWorker(int handle, char *buffer, int *length) {
    return TextWorker("ZUKGetAdminOption", CardReadAdminOption, handle, buffer, length);
}

int MaxLengthWorker(int *maxIdLength, int *maxPasswordLength) {
    const char *name = "ZUKGetMaxLength";
    if (GetLibraryMode() == kLibraryModeOff) return Traced(name, ZUK_ERR_DISABLED);
    if (maxIdLength == nullptr || maxPasswordLength == nullptr) return Traced(name, ZUK_ERR_PARAM);
    CardLimits limits{};
    if (CardGetLimits(&limits) == SESSION_OK) {
        *maxIdLength = limits.account;
        *maxPasswordLength = limits.password;
        SetInputLimits(limits.account, limits.password, limits.pin);
    } else {
        *maxIdLength = CARD_MAX_ACCOUNT_LENGTH;
        *maxPasswordLength = CARD_MAX_PASSWORD_LENGTH;
    }
    return Traced(name, ZUK_OK);
}
