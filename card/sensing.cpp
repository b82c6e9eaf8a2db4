// Card sensing: polls the list given, or asks the card found again while the list is unchanged;
// the list and the card found live in the card record.
#include "card/sensing.h"

#include <cstring>

#include "card/card_state.h"
#include "card/felica.h"
#include "card/session.h"

CardStatus CardSense(int *present, const std::uint8_t *codes, int count) {
    if (present == nullptr || codes == nullptr || count <= 0) return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    const bool sameList =
        count == g_card.pollingCodeCount &&
        std::memcmp(codes, g_card.pollingCodes, 2 * static_cast<std::size_t>(count)) == 0;
    if (sameList) {
        std::uint8_t mode = 0;
        if (CardRequestResponse(&mode) == CARD_OK) {
            *present = 1;
            return SESSION_OK;
        }
        ClearCurrentIdm();
    } else {
        ClearCurrentIdm();
        const CardStatus st = SetPollingCodes(codes, count);
        if (st != CARD_OK) return st;
    }
    std::memset(g_card.pmm, 0, sizeof g_card.pmm);
    const CardStatus st = CardPoll(g_card.idm, g_card.pmm);
    if (st == CARD_OK) {
        *present = 1;
        return SESSION_OK;
    }
    if (st == CARD_ERR_NO_ANSWER) {
        *present = 0;
        return SESSION_OK;
    }
    return st;
}

CardStatus CardGetIdm(std::uint8_t *idm, int *idmLength, std::uint8_t *pmm, int *pmmLength) {
    if (idm == nullptr || idmLength == nullptr || pmm == nullptr || pmmLength == nullptr ||
        *idmLength <= 0 || *pmmLength <= 0)
        return SESSION_ERR_ARGUMENT;
    if (*idmLength < 8 || *pmmLength < 8) return SESSION_ERR_BUFFER;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    std::uint8_t mode = 0;
    if (CardRequestResponse(&mode) != CARD_OK) return SESSION_ERR_NO_CARD;
    std::memcpy(idm, g_card.idm, FELICA_IDM_SIZE);
    std::memcpy(pmm, g_card.pmm, FELICA_PMM_SIZE);
    *idmLength = 8;
    *pmmLength = 8;
    return SESSION_OK;
}
