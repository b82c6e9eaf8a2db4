// The event log of the native build: every event is recorded for the tests.
#include <mutex>

#include "platform/eventlog.h"
#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"

namespace {
std::mutex g_lock;
std::vector<FakeEventRecord> g_events;
}  // namespace

void PlatReportEvent(std::uint16_t type, std::uint32_t id, const char *const *strings, int count) {
    FakeEventRecord record{type, id, {}};
    for (int i = 0; i < count; ++i)
        record.strings.push_back(strings[i] != nullptr ? strings[i] : "");
    std::lock_guard<std::mutex> hold(g_lock);
    g_events.push_back(record);
}

std::vector<FakeEventRecord> FakeEventLog() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_events;
}

void FakeEventLogReset() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_events.clear();
}
