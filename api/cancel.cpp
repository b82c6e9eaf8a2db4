// The cancel count, the process's cancel event and the cancellable waits.
#include "api/cancel.h"

#include <atomic>

#include "platform/dialogs.h"
#include "platform/event.h"
#include "platform/messagebox.h"
#include "platform/system.h"

namespace {

std::atomic<std::uint32_t> g_cancels{0};
std::atomic<PlatHandle> g_event{0};

// This thread's call: the cancel count when its scope opened.
thread_local std::uint32_t t_mark = 0;
thread_local bool t_inCall = false;

// The event, made at first use; 0 when it cannot be made (the waits then only look at the count,
// once per slice).
PlatHandle CancelEvent() {
    PlatHandle event = g_event.load();
    if (event != 0) return event;
    PlatHandle made = PlatEventCreate();
    if (made == 0) return 0;
    if (!g_event.compare_exchange_strong(event, made)) {
        PlatHandleClose(made);
        return event;
    }
    return made;
}

std::uint32_t SliceOf(std::uint32_t remaining) {
    return remaining < kCancelSliceMs ? remaining : kCancelSliceMs;
}

}  // namespace

CallScope::CallScope() : outer_(t_mark), hadOuter_(t_inCall) {
    t_mark = g_cancels.load();
    t_inCall = true;
}

CallScope::~CallScope() {
    t_mark = outer_;
    t_inCall = hadOuter_;
}

bool CallCancelled() { return t_inCall && g_cancels.load() != t_mark; }

bool WaitOrCancel(std::uint32_t ms) {
    const PlatHandle event = CancelEvent();
    const std::uint32_t start = PlatTickMs();
    for (;;) {
        if (CallCancelled()) return true;
        std::uint32_t slice = kCancelSliceMs;
        if (ms != PLAT_WAIT_FOREVER) {
            const std::uint32_t elapsed = PlatTickMs() - start;
            if (elapsed >= ms) return false;
            slice = SliceOf(ms - elapsed);
        }
        if (event == 0) {
            PlatSleep(slice);
        } else if (PlatEventWait(event, slice) == PLAT_WAIT_OBJECT_0 && !CallCancelled()) {
            // Set for a call that ended before this one began: cleared, so that it does not wake
            // this wait again (a call it still has to end sees the count within one slice).
            PlatEventReset(event);
        }
    }
}

std::uint32_t WaitForMutexOrCancel(PlatHandle mutex, std::uint32_t ms) {
    const PlatHandle event = CancelEvent();
    // The time is counted in the slices that ran out (a slice the mutex or the event ended early
    // is not counted), not read from the tick clock: the wait is the system's, whatever clock the
    // build's platform keeps.
    std::uint32_t waited = 0;
    for (;;) {
        if (CallCancelled()) return PLAT_WAIT_OBJECT_1;
        // A wait of 0 ms still takes a mutex that is free: each round tries before it counts.
        const std::uint32_t slice = ms == PLAT_WAIT_FOREVER ? kCancelSliceMs : SliceOf(ms - waited);
        const std::uint32_t wait =
            event == 0 ? PlatMutexWait(mutex, slice) : PlatMutexWaitOrEvent(mutex, event, slice);
        if (wait == PLAT_WAIT_OBJECT_1) {
            if (!CallCancelled()) PlatEventReset(event);  // stale, as in WaitOrCancel
            continue;
        }
        if (wait != PLAT_WAIT_TIMEOUT) return wait;
        waited += slice;
        if (ms != PLAT_WAIT_FOREVER && waited >= ms) return PLAT_WAIT_TIMEOUT;
    }
}

void CancelWaitingCalls() {
    g_cancels.fetch_add(1);
    const PlatHandle event = CancelEvent();
    if (event != 0) PlatEventSet(event);
    CancelWaitingDialogs();
    PlatMessageBoxClose();
}

void CancelEventClose() {
    const PlatHandle event = g_event.exchange(0);
    if (event != 0) PlatHandleClose(event);
}
