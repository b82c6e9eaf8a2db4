// Named mutex over the Win32 API.
#include <windows.h>

#include "platform/mutex.h"

PlatHandle PlatMutexCreate(const char *name) {
    return reinterpret_cast<PlatHandle>(CreateMutexA(nullptr, FALSE, name));
}

std::uint32_t PlatMutexWait(PlatHandle mutex, std::uint32_t timeoutMs) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(mutex),
                               timeoutMs == PLAT_WAIT_FOREVER ? INFINITE : timeoutMs);
}

std::uint32_t PlatMutexTryWait(PlatHandle mutex) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), 0);
}

bool PlatMutexRelease(PlatHandle mutex) {
    return ReleaseMutex(reinterpret_cast<HANDLE>(mutex)) != FALSE;
}

void PlatHandleClose(PlatHandle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
