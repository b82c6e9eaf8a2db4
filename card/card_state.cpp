// The card layer's record.
#include "card/card_state.h"

#include <cstring>

#include "platform/system.h"
#include "zuk_build_constants.h"

namespace {
const std::uint8_t kBuiltInReaderKeys[CARD_READER_KEYS_SIZE] = ZUK_READER_KEYS_INIT;
}

CardState g_card = {0, {}, 0, {}, {}, {}, {}, {0}, ZUK_READER_KEYS_INIT, 0};

void CardStateReset() {
    g_card.sessionOpen = 0;
    PlatSecureWipe(g_card.pollingCodes, sizeof g_card.pollingCodes);
    g_card.pollingCodeCount = 0;
    PlatSecureWipe(g_card.idm, sizeof g_card.idm);
    PlatSecureWipe(g_card.pmm, sizeof g_card.pmm);
    PlatSecureWipe(g_card.blockList, sizeof g_card.blockList);
    PlatSecureWipe(g_card.dataArea, sizeof g_card.dataArea);  // may hold a password or a PIN
    g_card.lastStatus = 0;
    std::memcpy(g_card.readerKeys, kBuiltInReaderKeys, sizeof g_card.readerKeys);
    g_card.keyFault = 0;
}
