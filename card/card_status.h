// The card layer's statuses: the session operations offered to the exports, the card commands and
// the command builder each answer a status of the status table (SESSION_..., CARD_..., BUILD_...,
// or a link status passed up unchanged).  The api layer turns a status into a result code.
#ifndef ZUK_CARD_CARD_STATUS_H
#define ZUK_CARD_CARD_STATUS_H

#include <cstdint>

#include "status/status_table.h"

typedef std::uint32_t CardStatus;

// A status as the result code of ZUKcntrl.h it becomes; a failure is kept as the last card status
// for the trace's LOW lines (a success leaves it alone).
std::int32_t CardStatusResult(CardStatus status);

#endif
