// Card sensing: the last polling list sensed, and the IDm and PMm of the card it found.
#include "card/sensing.h"

#include <cstring>

#include "card/card_status.h"
#include "card/felica.h"
#include "card/session.h"

namespace {

// The list is kept only after SetPollingCodes took it, so it holds at most 16 codes.
std::uint8_t g_sensedCodes[2 * FELICA_MAX_POLL_CODES];
int g_sensedCodeCount = 0;
std::uint8_t g_sensedIdm[FELICA_IDM_SIZE];
std::uint8_t g_sensedPmm[FELICA_PMM_SIZE];

}  // namespace

void CardStateReset() {
    CardCommandStateReset();
    std::memset(g_sensedCodes, 0, sizeof g_sensedCodes);
    g_sensedCodeCount = 0;
    std::memset(g_sensedIdm, 0, sizeof g_sensedIdm);
    std::memset(g_sensedPmm, 0, sizeof g_sensedPmm);
}

CardStatus CardSense(int *present, const std::uint8_t *codes, int count) {
    if (present == nullptr || codes == nullptr || count <= 0)
        return SESSION_ERR_ARGUMENT;
    if (!CardSessionIsOpen()) return SESSION_ERR_NOT_OPEN;
    const bool sameList = count == g_sensedCodeCount &&
                          std::memcmp(codes, g_sensedCodes, 2 * static_cast<std::size_t>(count)) == 0;
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
        std::memcpy(g_sensedCodes, codes, 2 * static_cast<std::size_t>(count));
        g_sensedCodeCount = count;
    }
    std::memset(g_sensedIdm, 0, sizeof g_sensedIdm);
    std::memset(g_sensedPmm, 0, sizeof g_sensedPmm);
    const CardStatus st = CardPoll(g_sensedIdm, g_sensedPmm);
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
    std::memcpy(idm, g_sensedIdm, FELICA_IDM_SIZE);
    std::memcpy(pmm, g_sensedPmm, FELICA_PMM_SIZE);
    *idmLength = 8;
    *pmmLength = 8;
    return SESSION_OK;
}
