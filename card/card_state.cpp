// The card layer's record.
#include "card/card_state.h"

#include "platform/system.h"

CardState g_card;

void CardStateReset() {
    g_card.sessionOpen = 0;
    PlatSecureWipe(g_card.pollingCodes, sizeof g_card.pollingCodes);
    g_card.pollingCodeCount = 0;
    PlatSecureWipe(g_card.idm, sizeof g_card.idm);
    PlatSecureWipe(g_card.pmm, sizeof g_card.pmm);
    PlatSecureWipe(g_card.blockList, sizeof g_card.blockList);
    PlatSecureWipe(g_card.dataArea, sizeof g_card.dataArea);  // may hold a password or a PIN
    g_card.lastStatus = 0;
}
