// Virtual clock and locale: PlatSleep adds to a counter instead of waiting, so native tests never
// depend on the wall clock; the tick clock is that counter; local time is the set time read as UTC.
#include <atomic>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <thread>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "platform/system.h"

namespace {

std::atomic<std::int64_t> g_now{1336987805};  // 2012-05-14 09:30:05
std::atomic<std::uint64_t> g_slept{0};
std::atomic<std::uint32_t> g_lcid{0x0409};
std::map<std::string, std::string> g_environment;

}  // namespace

void PlatSecureWipe(void *data, std::size_t length) {
    volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
    for (std::size_t i = 0; i < length; ++i) p[i] = 0;
}

void PlatSleep(std::uint32_t milliseconds) {
    g_slept += milliseconds;
    std::this_thread::yield();
}

std::uint32_t PlatTickMs() { return static_cast<std::uint32_t>(g_slept); }

std::int64_t PlatTimeNow() { return g_now; }

bool PlatLocalTime(std::int64_t seconds, PlatCalendar *out) {
    if (FakeCallFails(FAKE_CALL_LOCAL_TIME)) return false;
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return false;
    *out = PlatCalendar{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                        tm.tm_hour,        tm.tm_min,     tm.tm_sec};
    return true;
}

std::uint32_t PlatSystemDefaultLcid() { return g_lcid; }

bool PlatGetEnvironment(const char *name, char *out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (FakeCallFails(FAKE_CALL_GET_ENVIRONMENT)) return false;
    const auto found = g_environment.find(name != nullptr ? name : "");
    if (found == g_environment.end() || found->second.size() >= capacity) return false;
    std::memcpy(out, found->second.c_str(), found->second.size() + 1);
    return true;
}

void FakeSetEnvironment(const std::string &name, const std::string &value) {
    g_environment[name] = value;
}

void FakeSystemReset() {
    g_environment.clear();
    g_now = 1336987805;
    g_slept = 0;
    g_lcid = 0x0409;
}

void FakeAddSleptMilliseconds(std::uint32_t milliseconds) { g_slept += milliseconds; }

void FakeSetTime(std::int64_t secondsSince1970) { g_now = secondsSince1970; }
std::uint64_t FakeSleptMilliseconds() { return g_slept; }
void FakeSetSystemLcid(std::uint32_t lcid) { g_lcid = lcid; }

void FakePlatformReset() {
    FakeRegistryReset();
    FakeProfileReset();
    FakeMessageBoxReset();
    FakeSystemReset();
    FakeMutexReset();
    FakeSerialReset();
    FakeWindowReset();
    FakeEventLogReset();
    FakeDialogReset();
    FakeFaultsReset();
    FakeProtectReset();
    FakeEventReset();
}
