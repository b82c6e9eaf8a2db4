// Card sensing for the exported functions: whether a card answers the polling list (asked again
// with Request Response while the list is unchanged), and the IDm and PMm of the card sensed.
// Above the card session (the session must be open) and the command layer.
#ifndef ZUK_CARD_SENSING_H
#define ZUK_CARD_SENSING_H

#include <cstdint>

#include "card/card_status.h"

// Session statuses (SESSION_OK on success), or the failing command's status.
CardStatus CardSense(int *present, const std::uint8_t *codes, int count);
CardStatus CardGetIdm(std::uint8_t *idm, int *idmLength, std::uint8_t *pmm, int *pmmLength);

#endif
