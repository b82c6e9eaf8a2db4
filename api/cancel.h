// Ending a waiting call from another thread (ZUKCancel).  Each export call opens a CallScope on
// its thread; a cancel ends the calls whose scope was open when it came, never a later one: it
// counts one more cancel and sets the process's cancel event, and a call is cancelled when the
// count moved since its scope opened.  Every wait of a call (for a card, another call, the
// reader's mutex, between a reader's retries) waits on the event too, in slices, so it ends within
// one slice of a cancel even when a later call cleared a stale event meanwhile.
#ifndef ZUK_API_CANCEL_H
#define ZUK_API_CANCEL_H

#include <cstdint>

#include "platform/event.h"
#include "platform/mutex.h"

// The longest a cancellable wait waits before it looks at the cancel count again.
const std::uint32_t kCancelSliceMs = 50;

// Opens a call's cancel scope on this thread for its lifetime (a nested call, from a window
// procedure of an outer one, restores the outer scope when it ends).
class CallScope {
public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;

private:
    std::uint32_t outer_;
    bool hadOuter_;
};

// Whether a cancel came since this thread's call began (false outside any call).
bool CallCancelled();

// Waits ms milliseconds (PLAT_WAIT_FOREVER: until cancelled); true when the call was cancelled
// (at once when it was already), false when the time passed.
bool WaitOrCancel(std::uint32_t ms);

// Waits up to ms (PLAT_WAIT_FOREVER: without bound) for the named mutex: PLAT_WAIT_OBJECT_0 or
// PLAT_WAIT_ABANDONED when taken, PLAT_WAIT_TIMEOUT, PLAT_WAIT_FAILED, or PLAT_WAIT_OBJECT_1 when
// the call was cancelled first (the mutex is then not taken).
std::uint32_t WaitForMutexOrCancel(PlatHandle mutex, std::uint32_t ms);

// ZUKCancel's work: ends every call waiting now, the library's waiting dialogs included.
void CancelWaitingCalls();

// Closes the cancel event at unload.
void CancelEventClose();

#endif
