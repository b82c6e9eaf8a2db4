// Reset hooks shared by the fake platform's files.
#ifndef ZUK_PLATFORM_FAKE_INTERNAL_H
#define ZUK_PLATFORM_FAKE_INTERNAL_H

#include "platform/fake/fake_platform.h"

void FakeRegistryReset();
void FakeProfileReset();
void FakeMessageBoxReset();
void FakeSystemReset();
void FakeMutexReset();
void FakeWindowReset();
void FakeDialogReset();
void FakeFaultsReset();
void FakeProtectReset();

// Counts a call of the platform and tells whether it must fail (and with which registry error).
bool FakeCallFails(FakeCall call, long *error = nullptr);

#endif
