// The system's event log (RegisterEventSourceA / ReportEventA): the library's events, under its
// own source in the Application log.
#ifndef ZUK_PLATFORM_EVENTLOG_H
#define ZUK_PLATFORM_EVENTLOG_H

#include <cstdint>

// Event types (the Win32 EVENTLOG_* values).
const std::uint16_t PLAT_EVENT_ERROR = 0x1;
const std::uint16_t PLAT_EVENT_WARNING = 0x2;
const std::uint16_t PLAT_EVENT_INFORMATION = 0x4;

// The source the library writes under, registered by the installers with the library as its
// message file (key HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZUKcntrl).
const char kEventSourceName[] = "ZUKcntrl";

// Writes one event: its type, its id in the library's message table and up to eight strings put
// into the message's %1, %2, ...  The source is opened at the first event and kept.  Nothing is
// returned: a log that cannot be written is no failure of the caller.
void PlatReportEvent(std::uint16_t type, std::uint32_t id, const char *const *strings, int count);

#endif
