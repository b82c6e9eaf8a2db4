// The host-driven exports: each runs its worker inside the call frame without a window (a call in
// progress is waited for, cancellably and for a bounded time; failures are returned, not retried
// behind a prompt), and ZUKCancel, which any thread may call at any time.
#include "api/frame.h"
#include "api/cancel.h"
#include "api/workers.h"
#include "settings/trace.h"

namespace {

struct PinTriesArgs {
    int handle;
    int *triesLeft;
    int *tryLimit;
};

struct AccountArgs {
    int handle;
    AccountRequest *request;
    int mode;
    const char *pin;
    int pinLength;
    int *triesLeft;
};

struct WaitArgs {
    int handle;
    int wantPresent;
    int timeoutMs;
    int *present;
};

int RunHostCall(const char *name, int (*worker)(void *context), void *context) {
    CallScope scope;
    const int free = WaitForFrameWithoutWindow(name);
    if (free != ZUK_OK) return free;
    const int code = worker(context);
    LeaveApi();
    return code;
}

int RunPinTries(void *context) {
    PinTriesArgs *a = static_cast<PinTriesArgs *>(context);
    return PinTriesWorker(a->handle, a->triesLeft, a->tryLimit);
}

int RunAccount(void *context) {
    AccountArgs *a = static_cast<AccountArgs *>(context);
    return AccountWithPinWorker(a->handle, a->request, a->mode, a->pin, a->pinLength, a->triesLeft);
}

int RunWait(void *context) {
    WaitArgs *a = static_cast<WaitArgs *>(context);
    return WaitForCardWorker(a->handle, a->wantPresent, a->timeoutMs, a->present);
}

}  // namespace

extern "C" int ZUKAPI ZUKGetPinTries(int handle, int *triesLeft, int *tryLimit) {
    PinTriesArgs args{handle, triesLeft, tryLimit};
    return RunHostCall("ZUKGetPinTries", RunPinTries, &args);
}

extern "C" int ZUKAPI ZUKGetUserAccountWithPin(int handle, AccountRequest *request, int mode,
                                               const char *pin, int pinLength, int *triesLeft) {
    // The tries are unknown until the flow learns them, also when it ends before the card.
    if (triesLeft != nullptr) *triesLeft = -1;
    AccountArgs args{handle, request, mode, pin, pinLength, triesLeft};
    return RunHostCall("ZUKGetUserAccountWithPin", RunAccount, &args);
}

extern "C" int ZUKAPI ZUKWaitForCard(int handle, int wantPresent, int timeoutMs, int *present) {
    WaitArgs args{handle, wantPresent, timeoutMs, present};
    return RunHostCall("ZUKWaitForCard", RunWait, &args);
}

extern "C" int ZUKAPI ZUKCancel(void) {
    CancelWaitingCalls();
    Trace("ZUKCancel", "ZUK", ZUK_OK);
    return ZUK_OK;
}
