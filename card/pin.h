// PIN verification against the card: the PIN state read, the comparison, and the failure count
// the card keeps in its PIN control block (byte 0 retry limit, byte 1 failure count).
#ifndef ZUK_CARD_PIN_H
#define ZUK_CARD_PIN_H

#include <cstdint>

#include "card/card_status.h"

// Session statuses (SESSION_OK on success), or the failing command's status.
CardStatus CardGetPinState(int *present, int *retryLimit, int *failureCount, std::uint8_t *pin,
                           int *pinLength);
CardStatus CardVerifyPin(const std::uint8_t *pin, int length);
CardStatus CountPinFailure();
CardStatus ResetPinFailures();

// Writes the locked card's event (settings/events.h) for the card of the session: its IDm and
// why, never the PIN.
void CardReportLocked(const char *why);

#endif
