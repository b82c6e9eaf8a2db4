// The call frame: the busy flag, the retry loop, the reader's mutex and the message boxes.
#include "api/frame.h"

#include <cstring>

#include "api/api_state.h"
#include "api/cancel.h"
#include "card/card_state.h"
#include "platform/messagebox.h"
#include "platform/mutex.h"
#include "platform/system.h"
#include "settings/config.h"
#include "settings/messages.h"
#include "settings/trace.h"
#include "status/result_table.h"

namespace {

const std::uint32_t kRetryPauseMs = 100;

}  // namespace

int EnterApi() {
    int expected = 0;
    return g_frame.busy.compare_exchange_strong(expected, 1) ? 0 : ZUK_ERR_BUSY;
}

void LeaveApi() { g_frame.busy = 0; }

bool ApiIsBusy() { return g_frame.busy != 0; }

PortMutexWait AcquirePortMutexWithin(std::int32_t waitMs) {
    PlatHandle mutex = PlatMutexCreate(ZUK_PORT_MUTEX_NAME);
    if (mutex == 0) return kPortMutexNotTaken;
    // An abandoned mutex (its owner ended without releasing it) is owned by this thread now too.
    std::uint32_t wait = WaitForMutexOrCancel(
        mutex, waitMs < 0 ? PLAT_WAIT_FOREVER : static_cast<std::uint32_t>(waitMs));
    if (wait == PLAT_WAIT_TIMEOUT || wait == PLAT_WAIT_OBJECT_1) {
        PlatHandleClose(mutex);
        return wait == PLAT_WAIT_TIMEOUT ? kPortMutexTimedOut : kPortMutexCancelled;
    }
    if (wait != PLAT_WAIT_OBJECT_0 && wait != PLAT_WAIT_ABANDONED) {
        PlatHandleClose(mutex);
        return kPortMutexNotTaken;
    }
    if (g_frame.portMutex != 0) {  // held already by this thread: keep one handle, one ownership
        PlatMutexRelease(mutex);
        PlatHandleClose(mutex);
        return kPortMutexNotTaken;
    }
    g_frame.portMutex = mutex;
    return kPortMutexTaken;
}

bool AcquirePortMutex() { return AcquirePortMutexWithin(-1) == kPortMutexTaken; }

void ReleasePortMutex() {
    if (g_frame.portMutex == 0) return;
    PlatMutexRelease(g_frame.portMutex);
    PlatHandleClose(g_frame.portMutex);
    g_frame.portMutex = 0;
}

bool PortMutexHeld() { return g_frame.portMutex != 0; }

int ShowMessageBox(std::uint32_t captionId, std::uint32_t textId, std::uint32_t style,
                   void *parent) {
    char caption[512] = {0};
    char text[512] = {0};
    const char *c = GetMessageText(captionId);
    const char *t = GetMessageText(textId);
    if (c) std::strncpy(caption, c, sizeof caption - 1);
    if (t) std::strncpy(text, t, sizeof text - 1);
    if (!parent) style |= PLAT_MB_TOPMOST | PLAT_MB_TASKMODAL;
    // The language of the buttons follows the system's default locale.
    std::uint16_t language = static_cast<std::uint16_t>(PlatSystemDefaultLcid() & 0xFFFF);
    return PlatMessageBox(parent, text, caption, style, language);
}

int AskFramePrompt(std::uint32_t captionId, std::uint32_t textId, std::uint32_t style,
                   void *parent) {
    const int answerWithoutBox =
        (style & PLAT_MB_TYPEMASK) == PLAT_MB_RETRYCANCEL ? PLAT_IDCANCEL : PLAT_IDOK;
    // A cancelled call shows no more boxes.
    if (GetUnattended() || CallCancelled()) return answerWithoutBox;
    // A box the system cannot show (0) is answered as if nobody were there: taken as Retry by the
    // loops around it, it would run the failing call again for ever.
    const int answer = ShowMessageBox(captionId, textId, style, parent);
    return answer != 0 ? answer : answerWithoutBox;
}

bool IsReaderError(int code) { return ResultIsReaderError(code); }

bool RetryCanHelp(int code) { return !(code == ZUK_ERR_SYSTEM && g_card.keyFault != 0); }

int WaitUntilFree(const char *exportName, void *parent) {
    while (EnterApi() == ZUK_ERR_BUSY) {
        Trace(exportName, "ZUK", ZUK_ERR_BUSY);
        const int answer = AskFramePrompt(kMsgBusyCaption, kMsgBusyText, kStyleRetryCancel, parent);
        if (CallCancelled()) return TraceCancelled(exportName);
        if (answer == PLAT_IDCANCEL) {
            Trace(exportName, "ZUK", ZUK_ERR_BUSY);
            return ZUK_ERR_BUSY;
        }
        if (WaitOrCancel(kRetryPauseMs)) return TraceCancelled(exportName);
    }
    return 0;
}

int TraceCancelled(const char *exportName) {
    Trace(exportName, "ZUK", static_cast<std::uint32_t>(ZUK_CANCELLED));
    return ZUK_CANCELLED;
}

int WaitForFrameWithoutWindow(const char *exportName) {
    const std::uint32_t start = PlatTickMs();
    bool traced = false;
    while (EnterApi() == ZUK_ERR_BUSY) {
        if (!traced) Trace(exportName, "ZUK", ZUK_ERR_BUSY);  // once: the call waits
        traced = true;
        const std::uint32_t elapsed = PlatTickMs() - start;
        if (elapsed >= kHostWaitForCallMs) {
            Trace(exportName, "ZUK", ZUK_ERR_BUSY);
            return ZUK_ERR_BUSY;
        }
        const std::uint32_t left = kHostWaitForCallMs - elapsed;
        if (WaitOrCancel(left < kHostFramePollMs ? left : kHostFramePollMs))
            return TraceCancelled(exportName);
    }
    return 0;
}

int RunExport(const ExportFrame &frame, int (*worker)(void *context), void *context) {
    // A failed open gives back only a hold it took itself: a second ZUKOpen after a successful
    // one must not free the reader that the first one still uses.
    CallScope scope;
    PortMutexWait held = kPortMutexNotTaken;
    if (frame.takesPortMutex) {
        held = AcquirePortMutexWithin(GetOpenWaitMs());
        if (held == kPortMutexCancelled) return TraceCancelled(frame.name);
        // Another process kept the reader past the configured wait ([Device] OpenWait): the
        // reader is busy, and the open ends at once without a prompt.
        if (held == kPortMutexTimedOut) {
            Trace(frame.name, "ZUK", ZUK_ERR_BUSY);
            return ZUK_ERR_BUSY;
        }
    }
    const bool tookMutex = held == kPortMutexTaken;
    const int free = WaitUntilFree(frame.name);
    if (free != 0) {
        if (tookMutex) ReleasePortMutex();
        return free;
    }
    int code = worker(context);
    while (code != ZUK_OK && code != ZUK_CANCELLED && RetryCanHelp(code)) {
        const int answer =
            AskFramePrompt(frame.retryCaption, frame.retryText, kStyleRetryCancel, nullptr);
        // A cancel during the prompt or the pause ends the retries: the call is cancelled.
        if (CallCancelled() || (answer != PLAT_IDCANCEL && WaitOrCancel(kRetryPauseMs))) {
            code = TraceCancelled(frame.name);
            break;
        }
        if (answer == PLAT_IDCANCEL) break;
        code = worker(context);
    }
    LeaveApi();
    if ((tookMutex && code != ZUK_OK) || frame.releasesPortMutex) ReleasePortMutex();
    return code;
}
