// Workers of the host-driven exports besides the account flow: the card's PIN tries and the wait
// for a card laid or taken away.
#include <cstdint>

#include "api/workers.h"
#include "api/cancel.h"
#include "api/dialogs/dialogs.h"
#include "card/last_status.h"
#include "card/pin.h"
#include "platform/system.h"
#include "settings/config.h"
#include "settings/trace.h"

namespace {

int Traced(const char *name, int code) {
    Trace(name, "ZUK", static_cast<std::uint32_t>(code));
    return code;
}

int TracedLow(const char *name, int code) {
    Trace(name, "LOW", static_cast<std::uint32_t>(code), GetLastCardStatus());
    return code;
}

}  // namespace

int ReadPinTries(bool *hasPin, PinTries *tries) {
    int present = 0;
    int limit = 0;
    int count = 0;
    std::uint8_t pin[512];
    int pinLength = sizeof pin;
    const int code = CardStatusResult(CardGetPinState(&present, &limit, &count, pin, &pinLength));
    PlatSecureWipe(pin, sizeof pin);
    if (code != ZUK_OK) return code;
    *hasPin = present == 1;
    if (*hasPin) {
        tries->limit = limit;
        tries->left = count >= limit ? 0 : limit - count;
    }
    return ZUK_OK;
}

int PinTriesWorker(int handle, int *triesLeft, int *tryLimit) {
    const char *name = "ZUKGetPinTries";
    if (GetLibraryMode() == kLibraryModeOff) return Traced(name, ZUK_ERR_DISABLED);
    if (handle != kReaderHandle) return Traced(name, ZUK_ERR_HANDLE);
    if (triesLeft == nullptr || tryLimit == nullptr) return Traced(name, ZUK_ERR_PARAM);
    const CardStatus standing = CardStandingStatus();
    if (standing != SESSION_OK) return TracedLow(name, CardStatusResult(standing));
    bool hasPin = false;
    PinTries tries{};
    const int code = ReadPinTries(&hasPin, &tries);
    if (code != ZUK_OK) return TracedLow(name, code);
    if (!hasPin) return Traced(name, ZUK_ERR_NO_DATA);  // no PIN to try
    *tryLimit = tries.limit;
    *triesLeft = tries.limit != 0 ? tries.left : -1;
    return Traced(name, ZUK_OK);
}

int WaitForCardWorker(int handle, int wantPresent, int timeoutMs, int *present) {
    const char *name = "ZUKWaitForCard";
    if (GetLibraryMode() == kLibraryModeOff) return Traced(name, ZUK_ERR_DISABLED);
    if (handle != kReaderHandle) return Traced(name, ZUK_ERR_HANDLE);
    if (present == nullptr || (wantPresent != 0 && wantPresent != 1) || timeoutMs < -1)
        return Traced(name, ZUK_ERR_PARAM);
    // The reader is asked at the polling period of the library's own card wait; the sense trace
    // writes a line only when the answer changes.
    const std::uint32_t start = PlatTickMs();
    for (;;) {
        int sensed = 0;
        const int code = SenseCardWorker(handle, &sensed);
        if (code != ZUK_OK) return Traced(name, code);
        *present = sensed;
        if (sensed == wantPresent) return Traced(name, ZUK_OK);
        std::uint32_t pause = PollingPeriodMs();
        if (timeoutMs >= 0) {
            const std::uint32_t elapsed = PlatTickMs() - start;
            const std::uint32_t bound = static_cast<std::uint32_t>(timeoutMs);
            if (elapsed >= bound) return Traced(name, ZUK_OK);  // timed out: *present says so
            if (bound - elapsed < pause) pause = bound - elapsed;
        }
        if (WaitOrCancel(pause)) return Traced(name, ZUK_CANCELLED);
    }
}
