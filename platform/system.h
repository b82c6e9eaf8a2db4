// Time, sleep and locale.
#ifndef ZUK_PLATFORM_SYSTEM_H
#define ZUK_PLATFORM_SYSTEM_H

#include <cstddef>
#include <cstdint>

// Suspends the calling thread (Sleep).
void PlatSleep(std::uint32_t milliseconds);

// Milliseconds of a clock that only moves forward (GetTickCount); it wraps after 49.7 days, so
// only differences of two readings (as unsigned 32-bit values) mean anything.
std::uint32_t PlatTickMs();

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

// Overwrites memory that held a secret with zeros in a way the compiler keeps even when the
// memory is never read again (SecureZeroMemory on Windows).
void PlatSecureWipe(void *data, std::size_t length);

// The system's default locale identifier (GetSystemDefaultLCID), e.g. 0x0411 for Japanese.
std::uint32_t PlatSystemDefaultLcid();

// A variable of the process's environment (GetEnvironmentVariableA), zero-terminated in out;
// false (out empty) when it is not set or does not fit `capacity` bytes.
bool PlatGetEnvironment(const char *name, char *out, std::size_t capacity);

#endif
