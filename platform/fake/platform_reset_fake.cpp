// The whole fake platform back to its state at start: every fake's own reset, in one place above
// them all.
#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"

void FakePlatformReset() {
    FakeRegistryReset();
    FakeProfileReset();
    FakeMessageBoxReset();
    FakeSystemReset();
    FakeMutexReset();
    FakeSerialReset();
    FakeWindowReset();
    FakeEventLogReset();
    FakeDialogReset();
    FakeFaultsReset();
    FakeProtectReset();
    FakeEventReset();
}
