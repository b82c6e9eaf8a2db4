// Time, sleep and locale over the Win32 API and the C runtime.
#include <windows.h>

#include <ctime>

#include "platform/system.h"

void PlatSleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::uint32_t PlatTickMs() { return GetTickCount(); }

void PlatSecureWipe(void *data, std::size_t length) {
    if (data != nullptr && length > 0) SecureZeroMemory(data, length);
}

std::int64_t PlatTimeNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool PlatLocalTime(std::int64_t seconds, PlatCalendar *out) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm *tm = std::localtime(&t);
    if (!tm) return false;
    *out = PlatCalendar{tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday,
                        tm->tm_hour,        tm->tm_min,     tm->tm_sec};
    return true;
}

std::uint32_t PlatSystemDefaultLcid() { return GetSystemDefaultLCID(); }

bool PlatGetEnvironment(const char *name, char *out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (capacity > 0x7FFFFFFF) capacity = 0x7FFFFFFF;
    const DWORD got = GetEnvironmentVariableA(name, out, static_cast<DWORD>(capacity));
    if (got == 0 || got >= capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}
