// Reset hooks shared by the fake platform's files.
#ifndef ZUK_PLATFORM_FAKE_INTERNAL_H
#define ZUK_PLATFORM_FAKE_INTERNAL_H

void FakeRegistryReset();
void FakeProfileReset();
void FakeMessageBoxReset();
void FakeSystemReset();
void FakeMutexReset();
void FakeWindowReset();
void FakeDialogReset();

#endif
