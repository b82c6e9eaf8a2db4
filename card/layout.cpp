// The card's layout tables and the item reads built on them.
#include "card/layout.h"

#include <cstring>

#include "card/card_state.h"
#include "card/felica.h"
#include "card/session.h"
#include "platform/system.h"

namespace {

struct ServiceRow {
    int service;
    std::uint16_t code;
    int keyNumber;
    int keyVersion;
};

constexpr ServiceRow kServices[] = {
    {0, 0x660A, 1, 0}, {1, 0x6608, 2, 0}, {2, 0x670A, 3, 0}, {3, 0x6708, 4, 0}, {4, 0x680A, 5, 0},
    {5, 0x6808, 6, 0}, {6, 0x690A, 7, 0}, {7, 0x6908, 8, 0}, {8, 0x6A0A, 9, 0}, {9, 0x6A08, 10, 0},
};

struct ItemRow {
    int item;
    int readService;
    int writeService;
    int firstBlock;
    int blockCount;
};

constexpr ItemRow kItems[] = {
    {0, 0, 1, 0, 8},   {1, 0, 1, 8, 16}, {2, 2, 3, 0, 1},  {3, 2, 3, 0, 1},  {4, 2, 3, 1, 1},
    {5, 4, 5, 0, 8},   {6, 4, 5, 8, 4},  {7, 4, 5, 12, 1}, {8, 4, 5, 13, 1}, {9, 4, 5, 14, 1},
    {10, 4, 5, 15, 8}, {11, 6, 7, 0, 8}, {12, 6, 7, 8, 8}, {13, 8, 9, 0, 1}, {14, 8, 9, 2, 1},
    {15, 8, 9, 3, 1},  {16, 8, 9, 4, 1}, {17, 8, 9, 5, 1}, {18, 8, 9, 6, 2}, {19, 8, 9, 8, 2},
    {20, 8, 9, 10, 1},
};

// Area codes 0x0000 and 0x6500, little-endian.
constexpr std::uint8_t kAreaList[4] = {0x00, 0x00, 0x00, 0x65};

int TextLength(const std::uint8_t *data, int count) {
    int n = 0;
    while (n < count && data[n] != 0) ++n;
    return n;
}

bool HasZero(const std::uint8_t *data, int count) { return TextLength(data, count) < count; }

// Reads one text item (items 6, 10, 12) into the caller's buffer.
CardStatus ReadTextItem(int item, std::uint8_t *buffer, int *length) {
    if (buffer == nullptr || length == nullptr || *length <= 0) return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    CardAccess access;
    CardStatus result = LookupCardItem(item, CARD_READ, &access);
    if (result != SESSION_OK) return result;
    std::memset(g_card.dataArea, 0, sizeof g_card.dataArea);
    int got = 0;
    result = ReadCardItem(access, CARD_DATA_AREA_SIZE, g_card.dataArea, &got);
    if (result != SESSION_OK) return result;
    const int text = TextLength(g_card.dataArea, got);
    if (text > *length) return SESSION_ERR_BUFFER;
    std::memcpy(buffer, g_card.dataArea, static_cast<std::size_t>(text));
    *length = text;
    return SESSION_OK;
}

// Reads item 0 or 1 for CardReadAccount: the first piece by authenticated read, later pieces by
// plain Read under that authentication, stopping at the piece that holds a zero byte.
CardStatus ReadAccountItem(int item, std::uint8_t *buffer, int *length) {
    CardAccess access;
    CardStatus result = LookupCardItem(item, CARD_READ, &access);
    if (result != SESSION_OK) return result;
    std::memset(g_card.dataArea, 0, sizeof g_card.dataArea);
    int capacity = CARD_DATA_AREA_SIZE;
    int done = 0;
    while (done < access.blockCount) {
        const int n = access.blockCount - done < FELICA_MAX_READ_BLOCKS ? access.blockCount - done
                                                                        : FELICA_MAX_READ_BLOCKS;
        std::uint8_t *at = g_card.dataArea + 16 * done;
        int got = 0;
        if (done == 0) {
            CardAccess piece = access;
            piece.blockCount = n;
            result = ReadCardItem(piece, capacity, at, &got);
        } else {
            const CardStatus st =
                CardReadBlocks(n, access.blockList + 2 * done, capacity, at, &got);
            if (st != CARD_OK) result = st;
        }
        if (result != SESSION_OK) {
            PlatSecureWipe(g_card.dataArea,
                           sizeof g_card.dataArea);  // a part of the account or password
            return result;
        }
        capacity -= got;
        done += n;
        if (HasZero(at, got)) break;
    }
    const int text = TextLength(g_card.dataArea, 16 * done);
    if (text > *length) {
        PlatSecureWipe(g_card.dataArea, sizeof g_card.dataArea);
        return SESSION_ERR_BUFFER;
    }
    std::memcpy(buffer, g_card.dataArea, static_cast<std::size_t>(text));
    *length = text;
    PlatSecureWipe(g_card.dataArea, sizeof g_card.dataArea);
    return SESSION_OK;
}

}  // namespace

std::uint8_t *CardDataArea() { return g_card.dataArea; }

CardStatus LookupCardItem(int item, int direction, CardAccess *access) {
    if (access == nullptr) return SESSION_ERR_ARGUMENT;
    const ItemRow *row = nullptr;
    for (const ItemRow &r : kItems) {
        if (r.item == item) {
            row = &r;
            break;
        }
    }
    if (row == nullptr) return SESSION_ERR_NO_ITEM;
    const int serviceNumber = direction == CARD_READ ? row->readService : row->writeService;
    const ServiceRow *service = nullptr;
    for (const ServiceRow &s : kServices) {
        if (s.service == serviceNumber) {
            service = &s;
            break;
        }
    }
    if (service == nullptr) return SESSION_ERR_NO_ITEM;
    std::memset(g_card.blockList, 0, sizeof g_card.blockList);
    for (int i = 0; i < row->blockCount; ++i) {
        g_card.blockList[2 * i] = 0x80;
        g_card.blockList[2 * i + 1] = static_cast<std::uint8_t>(row->firstBlock + i);
    }
    access->keyNumber = service->keyNumber;
    access->keyVersion = service->keyVersion;
    access->areaCount = 2;
    access->areaCodes = kAreaList;
    access->serviceCount = 1;
    access->serviceCode[0] = static_cast<std::uint8_t>(service->code & 0xFF);
    access->serviceCode[1] = static_cast<std::uint8_t>(service->code >> 8);
    access->blockCount = row->blockCount;
    access->blockList = g_card.blockList;
    return SESSION_OK;
}

CardStatus ReadCardItem(const CardAccess &access, int capacity, std::uint8_t *output, int *length) {
    *length = 0;
    for (int i = 0; i < access.blockCount;) {
        const int n = access.blockCount - i < FELICA_MAX_READ_BLOCKS ? access.blockCount - i
                                                                     : FELICA_MAX_READ_BLOCKS;
        int got = 0;
        const CardStatus st =
            CardAuthRead(access.keyNumber, access.keyVersion, access.areaCount, access.areaCodes,
                         access.serviceCount, access.serviceCode, n, access.blockList + 2 * i,
                         capacity, output + 16 * i, &got);
        if (st != CARD_OK) return st;
        capacity -= got;
        *length += got;
        i += n;
    }
    return SESSION_OK;
}

CardStatus CardReadAccount(std::uint8_t *account, int *accountLength, std::uint8_t *password,
                           int *passwordLength) {
    if (account == nullptr || accountLength == nullptr || password == nullptr ||
        passwordLength == nullptr || *accountLength <= 0 || *passwordLength <= 0)
        return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    CardStatus result = ReadAccountItem(0, account, accountLength);
    if (result != SESSION_OK) return result;
    return ReadAccountItem(1, password, passwordLength);
}

CardStatus CardReadUserName(std::uint8_t *buffer, int *length) {
    return ReadTextItem(6, buffer, length);
}
CardStatus CardReadUserOption(std::uint8_t *buffer, int *length) {
    return ReadTextItem(10, buffer, length);
}
CardStatus CardReadAdminOption(std::uint8_t *buffer, int *length) {
    return ReadTextItem(12, buffer, length);
}

CardStatus CardGetLimits(CardLimits *limits) {
    if (limits == nullptr) return SESSION_ERR_ARGUMENT;
    limits->account = CARD_MAX_ACCOUNT_LENGTH;
    limits->password = CARD_MAX_PASSWORD_LENGTH;
    limits->pin = CARD_MAX_PIN_LENGTH;
    return SESSION_OK;
}
