// The library's events (see events.h).
#include "settings/events.h"

#include <cstdio>

#include "settings/config.h"

namespace {

#define ZUK_EVENT_ROW(name, id, type, strings, symbol) {id, type, strings, symbol},
const EventRow kEventRows[kEventCount] = {ZUK_EVENTS(ZUK_EVENT_ROW)};
#undef ZUK_EVENT_ROW

}  // namespace

const EventRow &EventRowOf(LibraryEvent event) { return kEventRows[event]; }

void WriteEventUnread(LibraryEvent event, const char *first, const char *second) {
    if (event < 0 || event >= kEventCount) return;
    const EventRow &row = kEventRows[event];
    const char *strings[2] = {first != nullptr ? first : "", second != nullptr ? second : ""};
    PlatReportEvent(row.type, row.id, strings, row.strings);
}

void WriteEvent(LibraryEvent event, const char *first, const char *second) {
    if (GetEventLog()) WriteEventUnread(event, first, second);
}

void EventIdmText(const std::uint8_t idm[8], char *out) {
    for (int i = 0; i < 8; ++i) std::snprintf(out + 2 * i, 3, "%02X", idm[i]);
}
