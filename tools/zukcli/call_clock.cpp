// See call_clock.h.  The difference is taken modulo 2^32, so a call running across the wrap still
// counts its true time.  Read as a signed number, a difference at or past 2^31 is a start ahead of
// now: the watchdog's limit (at most a day) is far below 2^31 ms (24.8 days), so a call that
// really ran that long was stopped long before.
#include "tools/zukcli/call_clock.h"

std::uint32_t CallElapsedMs(std::uint32_t started, std::uint32_t now) {
    const std::uint32_t difference = now - started;
    return difference >= 0x80000000u ? 0 : difference;
}

bool CallOverran(std::uint32_t started, std::uint32_t now, std::uint32_t limitMs) {
    return CallElapsedMs(started, now) >= limitMs;
}
