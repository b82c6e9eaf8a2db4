// Events and the wait for a mutex or an event over the Win32 API.
#include <windows.h>

#include "platform/event.h"

PlatHandle PlatEventCreate() {
    return reinterpret_cast<PlatHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

void PlatEventSet(PlatHandle event) { SetEvent(reinterpret_cast<HANDLE>(event)); }

void PlatEventReset(PlatHandle event) { ResetEvent(reinterpret_cast<HANDLE>(event)); }

std::uint32_t PlatEventWait(PlatHandle event, std::uint32_t timeoutMs) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(event),
                               timeoutMs == PLAT_WAIT_FOREVER ? INFINITE : timeoutMs);
}

std::uint32_t PlatMutexWaitOrEvent(PlatHandle mutex, PlatHandle event, std::uint32_t timeoutMs) {
    HANDLE handles[2] = {reinterpret_cast<HANDLE>(mutex), reinterpret_cast<HANDLE>(event)};
    const DWORD result = WaitForMultipleObjects(
        2, handles, FALSE, timeoutMs == PLAT_WAIT_FOREVER ? INFINITE : timeoutMs);
    // With both signalled the lower index wins: the mutex is then owned and reported as such.
    switch (result) {
    case WAIT_OBJECT_0: return PLAT_WAIT_OBJECT_0;
    case WAIT_OBJECT_0 + 1: return PLAT_WAIT_OBJECT_1;
    case WAIT_ABANDONED_0: return PLAT_WAIT_ABANDONED;
    case WAIT_TIMEOUT: return PLAT_WAIT_TIMEOUT;
    default: return PLAT_WAIT_FAILED;
    }
}
