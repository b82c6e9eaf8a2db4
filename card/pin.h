// PIN verification against the card: the PIN state read, the comparison, and the failure count
// the card keeps in its PIN control block (byte 0 retry limit, byte 1 failure count).
#ifndef ZUK_CARD_PIN_H
#define ZUK_CARD_PIN_H

#include <cstdint>

// API result codes.
std::int32_t CardGetPinState(int *present, int *retryLimit, int *failureCount, std::uint8_t *pin,
                             int *pinLength);
std::int32_t CardVerifyPin(const std::uint8_t *pin, int length);
std::int32_t CountPinFailure();
std::int32_t ResetPinFailures();

#endif
