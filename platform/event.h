// Manual-reset events within one process (CreateEventA and friends): what a call that waits
// (for a card, another call, the reader's mutex) also waits on, so another thread can end it.
#ifndef ZUK_PLATFORM_EVENT_H
#define ZUK_PLATFORM_EVENT_H

#include <cstdint>

#include "platform/mutex.h"

// CreateEventA(default security, manual reset, not set, no name); 0 when that fails.
PlatHandle PlatEventCreate();
// SetEvent / ResetEvent.
void PlatEventSet(PlatHandle event);
void PlatEventReset(PlatHandle event);
// WaitForSingleObject(event, timeoutMs): PLAT_WAIT_OBJECT_0 when set, PLAT_WAIT_TIMEOUT when the
// time ran out first, PLAT_WAIT_FAILED for a handle that is no event.
std::uint32_t PlatEventWait(PlatHandle event, std::uint32_t timeoutMs);

// The result of PlatMutexWaitOrEvent when the event was set first (WAIT_OBJECT_0 + 1).
const std::uint32_t PLAT_WAIT_OBJECT_1 = 1;

// WaitForMultipleObjects({mutex, event}, any, timeoutMs): the mutex's results of PlatMutexWait
// (it is then owned), or PLAT_WAIT_OBJECT_1 when the event was set while the mutex was owned
// elsewhere (the mutex is then not taken).
std::uint32_t PlatMutexWaitOrEvent(PlatHandle mutex, PlatHandle event, std::uint32_t timeoutMs);

#endif
