// Named mutexes within one process: a real owning-thread mutex with recursion, so native tests can
// check who holds the reader's mutex and that a second thread waits for it.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/event.h"
#include "platform/mutex.h"

namespace {

struct Named {
    std::string name;
    std::thread::id owner;
    int depth = 0;
};

std::mutex g_lock;
std::condition_variable g_changed;
std::map<std::string, Named> g_mutexes;
std::map<PlatHandle, std::string> g_handles;
PlatHandle g_next = 0x100;

}  // namespace

PlatHandle PlatMutexCreate(const char *name) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (FakeCallFails(FAKE_CALL_MUTEX_CREATE) || !name) return 0;
    g_mutexes[name].name = name;
    PlatHandle h = g_next++;
    g_handles[h] = name;
    return h;
}

std::uint32_t PlatMutexWait(PlatHandle mutex, std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(g_lock);
    auto h = g_handles.find(mutex);
    if (h == g_handles.end() || FakeCallFails(FAKE_CALL_MUTEX_WAIT)) return PLAT_WAIT_FAILED;
    Named &m = g_mutexes[h->second];
    std::thread::id self = std::this_thread::get_id();
    const auto free = [&] { return m.depth == 0 || m.owner == self; };
    if (timeoutMs == PLAT_WAIT_FOREVER) {
        g_changed.wait(lock, free);
    } else if (!g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), free)) {
        return PLAT_WAIT_TIMEOUT;
    }
    m.owner = self;
    ++m.depth;
    return PLAT_WAIT_OBJECT_0;
}

std::uint32_t PlatMutexWaitOrEvent(PlatHandle mutex, PlatHandle event, std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(g_lock);
    auto h = g_handles.find(mutex);
    if (h == g_handles.end() || FakeCallFails(FAKE_CALL_MUTEX_WAIT)) return PLAT_WAIT_FAILED;
    Named &m = g_mutexes[h->second];
    std::thread::id self = std::this_thread::get_id();
    const auto free = [&] { return m.depth == 0 || m.owner == self; };
    const auto ends = [&] { return free() || FakeEventIsSet(event); };
    if (timeoutMs == PLAT_WAIT_FOREVER) {
        g_changed.wait(lock, ends);
    } else if (!g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ends)) {
        return PLAT_WAIT_TIMEOUT;
    }
    if (!free()) return PLAT_WAIT_OBJECT_1;
    m.owner = self;
    ++m.depth;
    return PLAT_WAIT_OBJECT_0;
}

void FakeMutexWakeWaiters() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_changed.notify_all();
}

std::uint32_t PlatMutexTryWait(PlatHandle mutex) {
    std::lock_guard<std::mutex> lock(g_lock);
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
    std::lock_guard<std::mutex> lock(g_lock);
    auto h = g_handles.find(mutex);
    if (h == g_handles.end() || FakeCallFails(FAKE_CALL_MUTEX_RELEASE)) return false;
    Named &m = g_mutexes[h->second];
    if (m.depth == 0 || m.owner != std::this_thread::get_id()) return false;
    if (--m.depth == 0) g_changed.notify_all();
    return true;
}

void PlatHandleClose(PlatHandle handle) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_handles.erase(handle);
}

void FakeMutexReset() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_mutexes.clear();
    g_handles.clear();
}

bool FakeMutexOwned(const std::string &name) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto m = g_mutexes.find(name);
    return m != g_mutexes.end() && m->second.depth > 0;
}
