// PIN verification: reads the PIN and its control block from the card, compares, and writes the
// failure count back to the card after every attempt.
#include "card/pin.h"

#include <cstring>

#include "card/card_state.h"
#include "card/card_status.h"
#include "card/felica.h"
#include "card/layout.h"
#include "card/session.h"
#include "platform/system.h"
#include "settings/events.h"

namespace {

constexpr int kPinItem = 4;
constexpr int kControlReadItem = 2;
constexpr int kControlRewriteItem = 3;

// Reads the control block, raises byte 1 (kept at 255) or sets it to 0 when resetting, and
// writes the block back under an authentication with the write service; bytes 0 and 2-15 go
// back as read.
CardStatus RewriteFailureCount(bool reset) {
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    CardAccess access;
    CardStatus result = LookupCardItem(kControlRewriteItem, CARD_READ, &access);
    if (result != SESSION_OK) return result;
    std::uint8_t *data = CardDataArea();
    std::memset(data, 0, CARD_DATA_AREA_SIZE);
    int got = 0;
    result = ReadCardItem(access, CARD_DATA_AREA_SIZE, data, &got);
    if (result != SESSION_OK) return result;
    std::uint8_t block[16];
    std::memcpy(block, data, sizeof block);
    if (reset) {
        block[1] = 0;
    } else if (block[1] < 255) {
        ++block[1];
    }
    result = LookupCardItem(kControlRewriteItem, CARD_WRITE, &access);
    if (result != SESSION_OK) return result;
    CardStatus st = CardAuthenticate(access.keyNumber, access.keyVersion, access.areaCount,
                                     access.areaCodes, access.serviceCount, access.serviceCode);
    if (st != CARD_OK) return st;
    st = CardWriteBlocks(access.blockCount, access.blockList, block);
    return st == CARD_OK ? SESSION_OK : st;
}

}  // namespace

CardStatus CardGetPinState(int *present, int *retryLimit, int *failureCount, std::uint8_t *pin,
                           int *pinLength) {
    if (present == nullptr || retryLimit == nullptr || failureCount == nullptr || pin == nullptr ||
        pinLength == nullptr || *pinLength <= 0)
        return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    CardAccess access;
    CardStatus result = LookupCardItem(kPinItem, CARD_READ, &access);
    if (result != SESSION_OK) return result;
    std::uint8_t *data = CardDataArea();
    std::memset(data, 0, CARD_DATA_AREA_SIZE);
    int got = 0;
    result = ReadCardItem(access, CARD_DATA_AREA_SIZE, data, &got);
    int length = 0;
    while (result == SESSION_OK && length < got && data[length] != 0) ++length;
    if (result == SESSION_OK && length > *pinLength) result = SESSION_ERR_BUFFER;
    if (result == SESSION_OK) std::memcpy(pin, data, static_cast<std::size_t>(length));
    // The area held the PIN: it goes as soon as the caller has its copy.
    PlatSecureWipe(data, CARD_DATA_AREA_SIZE);
    if (result != SESSION_OK) return result;
    *pinLength = length;
    if (length == 0) {
        *present = 0;
        return SESSION_OK;
    }
    *present = 1;
    result = LookupCardItem(kControlReadItem, CARD_READ, &access);
    if (result != SESSION_OK) return result;
    std::memset(data, 0, CARD_DATA_AREA_SIZE);
    result = ReadCardItem(access, CARD_DATA_AREA_SIZE, data, &got);
    if (result != SESSION_OK) return result;
    *retryLimit = data[0];
    *failureCount = data[1];
    return SESSION_OK;
}

void CardReportLocked(const char *why) {
    char idm[17];
    EventIdmText(g_card.idm, idm);
    WriteEvent(kEventCardLocked, idm, why);
}

CardStatus CardVerifyPin(const std::uint8_t *pin, int length) {
    if (pin == nullptr || length < 0) return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    int present = 0, limit = 0, count = 0;
    std::uint8_t stored[512];
    std::memset(stored, 0, sizeof stored);
    int storedLength = sizeof stored;
    CardStatus result = CardGetPinState(&present, &limit, &count, stored, &storedLength);
    const bool match = result == SESSION_OK && length == storedLength &&
                       std::memcmp(pin, stored, static_cast<std::size_t>(length)) == 0;
    PlatSecureWipe(stored, sizeof stored);
    if (result != SESSION_OK) return result;
    if (!present) return SESSION_ERR_NO_PIN;
    if (limit != 0 && count >= limit) {
        CardReportLocked("it was locked before this PIN entry");
        return SESSION_ERR_PIN_LOCKED;
    }
    if (match) return ResetPinFailures();
    result = CountPinFailure();
    if (result != SESSION_OK) return result;
    if (limit != 0 && count + 1 >= limit) {
        CardReportLocked("this wrong PIN used its last try");
        return SESSION_ERR_NOW_LOCKED;
    }
    return SESSION_ERR_WRONG_PIN;
}

CardStatus CountPinFailure() { return RewriteFailureCount(false); }

CardStatus ResetPinFailures() { return RewriteFailureCount(true); }
