// The issuing station's access to whole card items: reading every block of an item, writing an
// item (its bytes zero-padded to the item's size) under an authentication with the item's write
// service, and loading a reader key table of the station's own.  Not part of the library: the
// library's key table carries no write key for most items, so only a station that loads one can
// write them.
#ifndef ZUK_CARD_ISSUE_CARD_WRITE_H
#define ZUK_CARD_ISSUE_CARD_WRITE_H

#include <cstdint>

#include "card/card_status.h"

// Items of the card layout (item numbers of the layout tables).
constexpr int CARD_ITEM_ACCOUNT = 0;
constexpr int CARD_ITEM_PASSWORD = 1;
constexpr int CARD_ITEM_PIN_CONTROL = 3;  // block 0 of the PIN service: retry limit, failure count
constexpr int CARD_ITEM_PIN = 4;
constexpr int CARD_ITEM_USER_NAME = 6;
constexpr int CARD_ITEM_USER_OPTION = 10;
constexpr int CARD_ITEM_ADMIN_OPTION = 12;
constexpr int CARD_ITEM_LAST = 20;
// Item 2 is the same block as item 3 (the library reads it through item 2).
constexpr int CARD_ITEM_PIN_CONTROL_READ = 2;

constexpr int CARD_KEY_TABLE_SIZE = 88;  // eleven 8-byte slots
constexpr int CARD_MAX_ITEM_SIZE = 256;  // the largest item, the password

// Size of an item in bytes (16 per block), 0 for an item the layout does not have.
int CardItemSize(int item);

// The following return session statuses, like the library's card operations; they need an open
// session with a card sensed in it.
//
// Reads every block of the item into `out` (capacity bytes): key selection and authenticated reads
// of at most 12 blocks.  *length is the item's size.
CardStatus CardReadWholeItem(int item, std::uint8_t *out, int capacity, int *length);
// Writes `length` bytes followed by zero bytes up to the item's size: one key selection and
// authentication with the item's write service, then Writes of at most 8 blocks.  Bytes longer
// than the item give SESSION_ERR_BUFFER and send nothing.
CardStatus CardWriteWholeItem(int item, const std::uint8_t *data, int length);
// Whether a CardWriteWholeItem status is the card's refusal of the authentication with the item's
// write key (the reader's status bytes of that authentication; the writes answer status flags):
// the card does not hold the key of the table the station loaded, and nothing of the item was
// written.
bool CardWriteKeyRefused(CardStatus status);
// Loads a reader key table of eleven slots (slot N holds key number N) in place of the one the
// session opened with.
CardStatus CardLoadKeyTable(const std::uint8_t table[CARD_KEY_TABLE_SIZE]);

#endif
