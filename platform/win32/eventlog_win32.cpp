// The event log over the Win32 API (advapi32, which the library imports anyway).
#include <windows.h>

#include "platform/eventlog.h"

namespace {

// The source's handle, opened once by the first event (null when it cannot be opened: events
// are then dropped) and kept for the process's life: the system closes it at exit.
HANDLE Source() {
    static const HANDLE source = RegisterEventSourceA(nullptr, kEventSourceName);
    return source;
}

}  // namespace

void PlatReportEvent(std::uint16_t type, std::uint32_t id, const char *const *strings, int count) {
    const HANDLE source = Source();
    if (source == nullptr) return;
    if (count < 0) count = 0;
    if (count > 8) count = 8;
    const char *texts[8] = {nullptr};
    for (int i = 0; i < count; ++i) texts[i] = strings[i] != nullptr ? strings[i] : "";
    (void)ReportEventA(source, type, 0, id, nullptr, static_cast<WORD>(count), 0,
                       count > 0 ? texts : nullptr, nullptr);
}
