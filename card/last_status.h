// The card layer's last raw failure status, kept for the trace's "LOW" lines.
#ifndef ZUK_CARD_LAST_STATUS_H
#define ZUK_CARD_LAST_STATUS_H

#include <cstdint>

std::uint32_t GetLastCardStatus();
void SetLastCardStatus(std::uint32_t status);

#endif
