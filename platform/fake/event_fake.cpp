// Events of the native build.  A wait with a time-out does not wait for the wall clock: when the
// event is not set it yields, adds the time-out to the virtual clock (as PlatSleep does) and times
// out, so a loop of such waits runs until another thread sets the event.  With real waits on (a
// test whose other thread must act before a bounded wait runs out) it waits for the event up to
// the time-out on the wall clock, and adds the time-out to the virtual clock all the same.  A wait
// without bound blocks until the event is set.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"

namespace {

std::mutex g_lock;
std::condition_variable g_changed;
std::map<PlatHandle, bool> g_events;  // handle -> set
PlatHandle g_next = 0x10000;
bool g_realWaits = false;

}  // namespace

PlatHandle PlatEventCreate() {
    std::lock_guard<std::mutex> lock(g_lock);
    const PlatHandle h = g_next++;
    g_events[h] = false;
    return h;
}

void PlatEventSet(PlatHandle event) {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        auto e = g_events.find(event);
        if (e == g_events.end()) return;
        e->second = true;
        g_changed.notify_all();
    }
    FakeMutexWakeWaiters();
}

void PlatEventReset(PlatHandle event) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto e = g_events.find(event);
    if (e != g_events.end()) e->second = false;
}

std::uint32_t PlatEventWait(PlatHandle event, std::uint32_t timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(g_lock);
        auto e = g_events.find(event);
        if (e == g_events.end()) return PLAT_WAIT_FAILED;
        if (timeoutMs == PLAT_WAIT_FOREVER) {
            g_changed.wait(lock, [&] { return g_events[event]; });
            return PLAT_WAIT_OBJECT_0;
        }
        if (e->second) return PLAT_WAIT_OBJECT_0;
        if (g_realWaits) {
            const bool set = g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                [&] { return g_events[event]; });
            if (set) return PLAT_WAIT_OBJECT_0;
            lock.unlock();
            FakeAddSleptMilliseconds(timeoutMs);
            return PLAT_WAIT_TIMEOUT;
        }
    }
    std::this_thread::yield();
    FakeAddSleptMilliseconds(timeoutMs);
    return PLAT_WAIT_TIMEOUT;
}

bool FakeEventIsSet(PlatHandle event) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto e = g_events.find(event);
    return e != g_events.end() && e->second;
}

// The handles stay valid across resets (the library keeps its event for the process's life);
// every event is cleared.
void FakeEventReset() {
    std::lock_guard<std::mutex> lock(g_lock);
    for (auto &e : g_events) e.second = false;
    g_realWaits = false;
}

void FakeEventRealWaits(bool on) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_realWaits = on;
}
