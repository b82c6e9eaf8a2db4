// The card layer's last raw failure status, kept in the card record (0 until a failure).
#include "card/last_status.h"

#include "card/card_state.h"

std::uint32_t GetLastCardStatus() { return g_card.lastStatus; }
void SetLastCardStatus(std::uint32_t status) { g_card.lastStatus = status; }
