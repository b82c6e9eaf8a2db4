// The card layer's internal status codes, in four families whose base value means success, and
// MapCardStatus, the one place where an internal code becomes a result code of the public API.
#ifndef ZUK_CARD_CARD_STATUS_H
#define ZUK_CARD_CARD_STATUS_H

#include <cstdint>

#include "card/last_status.h"

typedef std::uint32_t CardStatus;

// Session codes: the card operations offered to the exported functions.
constexpr CardStatus SESSION_OK = 0x10000000;
constexpr CardStatus SESSION_ERR_ALREADY_OPEN = 0x10000100;
constexpr CardStatus SESSION_ERR_NOT_OPEN = 0x10000200;
constexpr CardStatus SESSION_ERR_ARGUMENT = 0x10010000;
constexpr CardStatus SESSION_ERR_BUFFER = 0x10020000;
constexpr CardStatus SESSION_ERR_NO_ITEM = 0x10040000;
constexpr CardStatus SESSION_ERR_NO_PIN = 0x10000002;
constexpr CardStatus SESSION_ERR_WRONG_PIN = 0x10000003;
constexpr CardStatus SESSION_ERR_NO_CARD = 0x10000005;
constexpr CardStatus SESSION_ERR_PIN_LOCKED = 0x10000006;
constexpr CardStatus SESSION_ERR_NOW_LOCKED = 0x10000007;

// Card command codes: the card commands and the port selection.
constexpr CardStatus CARD_OK = 0x8000000;
constexpr CardStatus CARD_ERR_ARGUMENT = 0x8000001;
constexpr CardStatus CARD_ERR_BUFFER = 0x8000002;
constexpr CardStatus CARD_ERR_NO_SYSTEM_CODE = 0x8000003;
constexpr CardStatus CARD_ERR_NO_READER = 0x8000004;
constexpr CardStatus CARD_ERR_LENGTH = 0x8000005;
constexpr CardStatus CARD_RESPONSE_CODE_BASE = 0x8040000;  // + the unexpected response code
constexpr CardStatus CARD_ERR_NO_ANSWER = 0x80400EF;       // the reader's "no card answered"
constexpr CardStatus CARD_STATUS_FLAG_BASE = 0x8010000;    // + flag1 * 256 + flag2
constexpr CardStatus CARD_READER_STATUS_BASE = 0x8020000;  // + s1 * 256 + s2

// Command builder codes.
constexpr CardStatus BUILD_OK = 0x4000000;
constexpr CardStatus BUILD_ERR_LIMIT = 0x4000001;
constexpr CardStatus BUILD_ERR_TOO_LONG = 0x4000002;

// Turns an internal code (of any family, link codes included) into an API result code and keeps
// every code other than a success value as the last card status for the trace.
std::int32_t MapCardStatus(std::uint32_t code);

#endif
