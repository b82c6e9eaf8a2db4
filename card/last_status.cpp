// Holder of the card layer's last raw failure status (0 until a card-layer failure is mapped).
#include "card/last_status.h"

#include <atomic>

namespace {
std::atomic<std::uint32_t> g_lastCardStatus{0};
}

std::uint32_t GetLastCardStatus() { return g_lastCardStatus; }
void SetLastCardStatus(std::uint32_t status) { g_lastCardStatus = status; }
