// Whole-item reads and writes for the issuing station.
#include "card/issue/card_write.h"

#include <cstring>

#include "card/card_status.h"
#include "card/felica.h"
#include "card/layout.h"
#include "card/session.h"

int CardItemSize(int item) {
    CardAccess access;
    if (item < 0 || item > CARD_ITEM_LAST) return 0;
    if (LookupCardItem(item, CARD_READ, &access) != SESSION_OK) return 0;
    return access.blockCount * static_cast<int>(FELICA_BLOCK_SIZE);
}

CardStatus CardReadWholeItem(int item, std::uint8_t *out, int capacity, int *length) {
    if (out == nullptr || length == nullptr || capacity <= 0) return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    const int size = CardItemSize(item);
    if (size == 0) return SESSION_ERR_NO_ITEM;
    if (size > capacity) return SESSION_ERR_BUFFER;
    CardAccess access;
    CardStatus result = LookupCardItem(item, CARD_READ, &access);
    if (result != SESSION_OK) return result;
    int got = 0;
    result = ReadCardItem(access, capacity, out, &got);
    if (result != SESSION_OK) return result;
    *length = got;
    return got == size ? SESSION_OK : CARD_ERR_LENGTH;
}

CardStatus CardWriteWholeItem(int item, const std::uint8_t *data, int length) {
    if ((data == nullptr && length != 0) || length < 0) return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    const int size = CardItemSize(item);
    if (size == 0) return SESSION_ERR_NO_ITEM;
    if (length > size) return SESSION_ERR_BUFFER;
    std::uint8_t padded[CARD_MAX_ITEM_SIZE];
    std::memset(padded, 0, sizeof padded);
    if (length > 0) std::memcpy(padded, data, static_cast<std::size_t>(length));
    CardAccess access;
    CardStatus result = LookupCardItem(item, CARD_WRITE, &access);
    if (result != SESSION_OK) return result;
    CardStatus st = CardAuthenticate(access.keyNumber, access.keyVersion, access.areaCount,
                                     access.areaCodes, access.serviceCount, access.serviceCode);
    if (st == CARD_OK) {
        for (int done = 0; done < access.blockCount && st == CARD_OK;) {
            const int n = access.blockCount - done < FELICA_MAX_WRITE_BLOCKS
                              ? access.blockCount - done
                              : FELICA_MAX_WRITE_BLOCKS;
            st = CardWriteBlocks(n, access.blockList + 2 * done,
                                 padded + FELICA_BLOCK_SIZE * static_cast<std::size_t>(done));
            done += n;
        }
    }
    std::memset(padded, 0, sizeof padded);  // a password or a PIN does not stay behind
    return st == CARD_OK ? SESSION_OK : st;
}

bool CardWriteKeyRefused(CardStatus status) {
    return (status & 0xFFFF0000u) == CARD_READER_STATUS_BASE;
}

CardStatus CardLoadKeyTable(const std::uint8_t table[CARD_KEY_TABLE_SIZE]) {
    if (table == nullptr) return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    const CardStatus st = ReaderWriteKeyTable(0, 0, CARD_KEY_TABLE_SIZE / 8, table);
    return st == CARD_OK ? SESSION_OK : st;
}
