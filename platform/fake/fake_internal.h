// Reset hooks shared by the fake platform's files.
#ifndef ZUK_PLATFORM_FAKE_INTERNAL_H
#define ZUK_PLATFORM_FAKE_INTERNAL_H

#include "platform/fake/fake_platform.h"
#include "platform/mutex.h"

void FakeRegistryReset();
void FakeProfileReset();
void FakeMessageBoxReset();
void FakeSystemReset();
void FakeMutexReset();
void FakeWindowReset();
void FakeDialogReset();
void FakeFaultsReset();
void FakeProtectReset();
void FakeEventReset();
void FakeEventLogReset();

// The events' side of a wait for a mutex or an event: whether the event is set, and the wake-up
// of the threads waiting for a mutex when an event is set.
bool FakeEventIsSet(PlatHandle event);
void FakeMutexWakeWaiters();
// A wait the virtual clock counts as time passed (an event wait that timed out).
void FakeAddSleptMilliseconds(std::uint32_t milliseconds);

// Counts a call of the platform and tells whether it must fail (and with which registry error).
bool FakeCallFails(FakeCall call, long *error = nullptr);

#endif
