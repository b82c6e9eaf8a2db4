// Named mutexes and events of the native build, in one file: a wait may end on either (the
// reader's mutex or the cancel event), and setting an event wakes the mutexes' waiters.
//
// Mutexes: real owning-thread mutexes with recursion within one process, so native tests can
// check who holds the reader's mutex and that a second thread waits for it.
//
// Events: a wait with a time-out does not wait for the wall clock: when the event is not set it
// yields, adds the time-out to the virtual clock (as PlatSleep does) and times out, so a loop of
// such waits runs until another thread sets the event.  With real waits on (a test whose other
// thread must act before a bounded wait runs out) it waits for the event up to the time-out on the
// wall clock, and adds the time-out to the virtual clock all the same.  A wait without bound
// blocks until the event is set.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/event.h"
#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/mutex.h"

namespace {

struct Named {
    std::string name;
    std::thread::id owner;
    int depth = 0;
};

std::mutex g_mutexLock;
std::condition_variable g_mutexChanged;
std::map<std::string, Named> g_mutexes;
std::map<PlatHandle, std::string> g_handles;
PlatHandle g_nextMutex = 0x100;

std::mutex g_eventLock;
std::condition_variable g_eventChanged;
std::map<PlatHandle, bool> g_events;  // handle -> set
PlatHandle g_nextEvent = 0x10000;
bool g_realWaits = false;

}  // namespace

PlatHandle PlatMutexCreate(const char *name) {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    if (FakeCallFails(FAKE_CALL_MUTEX_CREATE) || !name) return 0;
    g_mutexes[name].name = name;
    PlatHandle h = g_nextMutex++;
    g_handles[h] = name;
    return h;
}

// A plain wait is the wait with an event that is never set (no event has handle 0).
std::uint32_t PlatMutexWait(PlatHandle mutex, std::uint32_t timeoutMs) {
    return PlatMutexWaitOrEvent(mutex, 0, timeoutMs);
}

std::uint32_t PlatMutexWaitOrEvent(PlatHandle mutex, PlatHandle event, std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(g_mutexLock);
    auto h = g_handles.find(mutex);
    if (h == g_handles.end() || FakeCallFails(FAKE_CALL_MUTEX_WAIT)) return PLAT_WAIT_FAILED;
    Named &m = g_mutexes[h->second];
    std::thread::id self = std::this_thread::get_id();
    const auto free = [&] { return m.depth == 0 || m.owner == self; };
    const auto ends = [&] { return free() || FakeEventIsSet(event); };
    if (timeoutMs == PLAT_WAIT_FOREVER) {
        g_mutexChanged.wait(lock, ends);
    } else if (!g_mutexChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), ends)) {
        return PLAT_WAIT_TIMEOUT;
    }
    if (!free()) return PLAT_WAIT_OBJECT_1;
    m.owner = self;
    ++m.depth;
    return PLAT_WAIT_OBJECT_0;
}

void FakeMutexWakeWaiters() {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    g_mutexChanged.notify_all();
}

std::uint32_t PlatMutexTryWait(PlatHandle mutex) {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    auto h = g_handles.find(mutex);
    if (h == g_handles.end() || FakeCallFails(FAKE_CALL_MUTEX_TRY_WAIT)) return PLAT_WAIT_FAILED;
    Named &m = g_mutexes[h->second];
    std::thread::id self = std::this_thread::get_id();
    if (m.depth != 0 && m.owner != self) return PLAT_WAIT_TIMEOUT;
    m.owner = self;
    ++m.depth;
    return PLAT_WAIT_OBJECT_0;
}

bool PlatMutexRelease(PlatHandle mutex) {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    auto h = g_handles.find(mutex);
    if (h == g_handles.end() || FakeCallFails(FAKE_CALL_MUTEX_RELEASE)) return false;
    Named &m = g_mutexes[h->second];
    if (m.depth == 0 || m.owner != std::this_thread::get_id()) return false;
    if (--m.depth == 0) g_mutexChanged.notify_all();
    return true;
}

void PlatHandleClose(PlatHandle handle) {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    g_handles.erase(handle);
}

void FakeMutexReset() {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    g_mutexes.clear();
    g_handles.clear();
}

bool FakeMutexOwned(const std::string &name) {
    std::lock_guard<std::mutex> lock(g_mutexLock);
    auto m = g_mutexes.find(name);
    return m != g_mutexes.end() && m->second.depth > 0;
}

// Events.

PlatHandle PlatEventCreate() {
    std::lock_guard<std::mutex> lock(g_eventLock);
    const PlatHandle h = g_nextEvent++;
    g_events[h] = false;
    return h;
}

void PlatEventSet(PlatHandle event) {
    {
        std::lock_guard<std::mutex> lock(g_eventLock);
        auto e = g_events.find(event);
        if (e == g_events.end()) return;
        e->second = true;
        g_eventChanged.notify_all();
    }
    FakeMutexWakeWaiters();
}

void PlatEventReset(PlatHandle event) {
    std::lock_guard<std::mutex> lock(g_eventLock);
    auto e = g_events.find(event);
    if (e != g_events.end()) e->second = false;
}

std::uint32_t PlatEventWait(PlatHandle event, std::uint32_t timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(g_eventLock);
        auto e = g_events.find(event);
        if (e == g_events.end()) return PLAT_WAIT_FAILED;
        if (timeoutMs == PLAT_WAIT_FOREVER) {
            g_eventChanged.wait(lock, [&] { return g_events[event]; });
            return PLAT_WAIT_OBJECT_0;
        }
        if (e->second) return PLAT_WAIT_OBJECT_0;
        if (g_realWaits) {
            const bool set = g_eventChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
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
    std::lock_guard<std::mutex> lock(g_eventLock);
    auto e = g_events.find(event);
    return e != g_events.end() && e->second;
}

// The handles stay valid across resets (the library keeps its event for the process's life);
// every event is cleared.
void FakeEventReset() {
    std::lock_guard<std::mutex> lock(g_eventLock);
    for (auto &e : g_events) e.second = false;
    g_realWaits = false;
}

void FakeEventRealWaits(bool on) {
    std::lock_guard<std::mutex> lock(g_eventLock);
    g_realWaits = on;
}
