// Named mutex shared between the processes of one session (CreateMutexA and friends).
#ifndef ZUK_PLATFORM_MUTEX_H
#define ZUK_PLATFORM_MUTEX_H

#include <cstdint>

typedef std::uintptr_t PlatHandle;

const std::uint32_t PLAT_WAIT_OBJECT_0 = 0;
const std::uint32_t PLAT_WAIT_ABANDONED = 0x80;
const std::uint32_t PLAT_WAIT_TIMEOUT = 0x102;
const std::uint32_t PLAT_WAIT_FAILED = 0xFFFFFFFFu;

// CreateMutexA(default security, not initially owned, name): creates or opens the mutex; 0 when
// that fails.
PlatHandle PlatMutexCreate(const char *name);

const std::uint32_t PLAT_WAIT_FOREVER = 0xFFFFFFFFu;

// WaitForSingleObject(handle, timeoutMs), PLAT_WAIT_FOREVER waiting without bound.
// PLAT_WAIT_ABANDONED means the previous owner ended without releasing it; the caller owns it all
// the same.  PLAT_WAIT_TIMEOUT: another thread still owned it when the time ran out.
std::uint32_t PlatMutexWait(PlatHandle mutex, std::uint32_t timeoutMs);

// WaitForSingleObject(handle, 0): takes the mutex only when no other thread owns it;
// PLAT_WAIT_TIMEOUT when one does.
std::uint32_t PlatMutexTryWait(PlatHandle mutex);

// ReleaseMutex; false when the calling thread does not own it.
bool PlatMutexRelease(PlatHandle mutex);

// CloseHandle.
void PlatHandleClose(PlatHandle handle);

#endif
