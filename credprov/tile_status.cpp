#include "credprov/tile_status.h"

#include "ZUKcntrl.h"

TileStatus StatusForResult(int result, int triesLeft, TilePhase phase) {
    switch (result) {
    case ZUK_OK: return {0, -1, false};
    case ZUK_ERR_PIN_WRONG: return {kMsgPinWrong, triesLeft >= 0 ? triesLeft : -1, true};
    case ZUK_ERR_PIN_LOCKED_NOW: return {kMsgCardLocked, -1, true};
    case ZUK_ERR_CARD_LOCKED:
        // The library tells a revoked card (no tries known) from a locked one (no tries left).
        return {triesLeft < 0 ? kMsgCardRevoked : kMsgCardLocked, -1, true};
    case ZUK_ERR_NO_CARD: return {kMsgPlaceCard, -1, false};
    case ZUK_ERR_PORT_OPEN:
    case ZUK_ERR_PORT_IO:
    case ZUK_ERR_NOT_OPEN:
    case ZUK_ERR_HANDLE: return {kMsgNoReader, -1, true};
    case ZUK_ERR_READER_STATUS:
    case ZUK_ERR_CARD_IO:
    case ZUK_ERR_UNEXPECTED:
    case ZUK_ERR_SYSTEM:
        // While the link opens, these are the reader refusing or failing the authentication with
        // this machine's keys (or those keys unusable); later they are a card or line failure.
        return {phase == kPhaseOpen ? kMsgOtherKeys : kMsgCardError, -1, true};
    default: return {kMsgCardError, -1, true};
    }
}

void ComposeStatusText(const std::uint16_t *catalogueText, const TileStatus &status,
                       std::uint16_t *out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return;
    std::size_t n = 0;
    for (const std::uint16_t *p = catalogueText; p && *p && n + 1 < capacity; ++p) out[n++] = *p;
    if (status.triesLeft >= 0) {
        char digits[12];
        int count = 0;
        unsigned value = static_cast<unsigned>(status.triesLeft);
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (n + 1 + static_cast<std::size_t>(count) < capacity) {
            out[n++] = u' ';
            while (count > 0) out[n++] = static_cast<std::uint16_t>(digits[--count]);
        }
    }
    out[n] = 0;
}
