// The fake platform's fault table: every platform call that can fail has a row, counted on each
// call, that a test arms to fail its Nth call from now or every call.
#include <mutex>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"

namespace {

struct Fault {
    int calls;      // since the reset
    int countdown;  // > 0: calls left until the one that fails
    bool every;     // every call fails
    long error;     // the system error a failing registry call returns
};

#define ZUK_FAKE_CALL_NAME(call, name) name,
const char *const kNames[] = {ZUK_FAKE_CALLS(ZUK_FAKE_CALL_NAME)};
#undef ZUK_FAKE_CALL_NAME

std::mutex g_lock;
Fault g_faults[FAKE_CALL_COUNT];

}  // namespace

bool FakeCallFails(FakeCall call, long *error) {
    std::lock_guard<std::mutex> lock(g_lock);
    Fault &f = g_faults[call];
    ++f.calls;
    bool fails = f.every;
    if (f.countdown > 0 && --f.countdown == 0) fails = true;
    if (fails && error != nullptr) *error = f.error;
    return fails;
}

void FakeFaultsReset() {
    std::lock_guard<std::mutex> lock(g_lock);
    for (Fault &f : g_faults) f = Fault{0, 0, false, 0};
}

void FakeFail(FakeCall call, int nth, long error) {
    std::lock_guard<std::mutex> lock(g_lock);
    Fault &f = g_faults[call];
    f.countdown = nth > 0 ? nth : 0;
    f.every = nth == FAKE_FAIL_EVERY;
    f.error = error;
}

void FakeFailNone() {
    std::lock_guard<std::mutex> lock(g_lock);
    for (Fault &f : g_faults) {
        f.countdown = 0;
        f.every = false;
    }
}

int FakeCallCount(FakeCall call) {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_faults[call].calls;
}

bool FakeFailurePending() {
    std::lock_guard<std::mutex> lock(g_lock);
    for (const Fault &f : g_faults) {
        if (f.countdown > 0) return true;
    }
    return false;
}

const char *FakeCallName(FakeCall call) { return kNames[call]; }
