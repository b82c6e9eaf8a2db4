// The card's data layout: the service and item tables, the access arguments of one item, whole
// item reads in pieces of at most 12 blocks, and the item reads behind the exported functions.
#ifndef ZUK_CARD_LAYOUT_H
#define ZUK_CARD_LAYOUT_H

#include <cstdint>

#include "card/card_state.h"
#include "card/card_status.h"

enum CardDirection { CARD_READ = 0, CARD_WRITE = 1 };

// The access arguments of one card item in one direction.  The lists point into the layout's
// constant area list, the record's own service code, and the shared block-list area.
struct CardAccess {
    int keyNumber;
    int keyVersion;
    int areaCount;
    const std::uint8_t *areaCodes;
    int serviceCount;
    std::uint8_t serviceCode[2];  // little-endian, as sent
    int blockCount;
    const std::uint8_t *blockList;
};

// The longest texts the card's layout holds, in bytes: the account (item 0), the password
// (item 1) and the PIN.
constexpr int CARD_MAX_ACCOUNT_LENGTH = 128;
constexpr int CARD_MAX_PASSWORD_LENGTH = 256;
constexpr int CARD_MAX_PIN_LENGTH = 16;

struct CardLimits {
    int account;
    int password;
    int pin;
};

// Session statuses (SESSION_OK on success), or the failing command's status.
CardStatus LookupCardItem(int item, int direction, CardAccess *access);
CardStatus ReadCardItem(const CardAccess &access, int capacity, std::uint8_t *output, int *length);
CardStatus CardReadAccount(std::uint8_t *account, int *accountLength, std::uint8_t *password,
                           int *passwordLength);
CardStatus CardReadUserName(std::uint8_t *buffer, int *length);
CardStatus CardReadUserOption(std::uint8_t *buffer, int *length);
CardStatus CardReadAdminOption(std::uint8_t *buffer, int *length);
CardStatus CardGetLimits(CardLimits *limits);

// The shared data area the item reads fill (the PIN operations read through it too).
std::uint8_t *CardDataArea();

#endif
