// The time rule of zukcli's watchdog, on GetTickCount's clock: plain numbers in, a decision out, so
// that it can be checked with chosen tick values (the clock wraps to 0 every 49.7 days).
#ifndef ZUKCLI_CALL_CLOCK_H
#define ZUKCLI_CALL_CLOCK_H

#include <cstdint>

// Milliseconds a call started at tick `started` has run at tick `now`, across the wrap.  A start
// read as later than `now` (taken on another thread within the same tick, or marked by setting its
// lowest bit) has only just happened: 0, never the wrapped-around difference of nearly 50 days.
std::uint32_t CallElapsedMs(std::uint32_t started, std::uint32_t now);

// Whether that call has run for `limitMs` or longer.
bool CallOverran(std::uint32_t started, std::uint32_t now, std::uint32_t limitMs);

#endif
