// Time, sleep and locale.
#ifndef ZUK_PLATFORM_SYSTEM_H
#define ZUK_PLATFORM_SYSTEM_H

#include <cstdint>

// Suspends the calling thread (Sleep).
void PlatSleep(std::uint32_t milliseconds);

// Seconds since 1970-01-01 UTC (time()).
std::int64_t PlatTimeNow();

struct PlatCalendar {
    int year;   // four digits
    int month;  // 1-12
    int day;    // 1-31
    int hour;   // 0-23
    int minute;
    int second;
};

// Local calendar time of a time from PlatTimeNow; false when it cannot be converted.
bool PlatLocalTime(std::int64_t seconds, PlatCalendar *out);

// The system's default locale identifier (GetSystemDefaultLCID), e.g. 0x0411 for Japanese.
std::uint32_t PlatSystemDefaultLcid();

#endif
