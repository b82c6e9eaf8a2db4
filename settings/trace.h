// The trace log: one time-stamped line per export outcome, filtered by the log mode.
#ifndef ZUK_SETTINGS_TRACE_H
#define ZUK_SETTINGS_TRACE_H

#include <cstdint>

// Size at which the log file is moved aside to "<name>.old" before a line would pass it.
const long kTraceRotateSize = 0x100000;

// Reports an export's outcome: name is the export, layer "ZUK" (the library's own outcome) or
// "LOW" (a card-layer failure, printed with lowStatus, the card layer's raw status, which the
// caller passes in; other layers' lines leave it out).
void Trace(const char *function, const char *layer, std::uint32_t code,
           std::uint32_t lowStatus = 0);
void TraceNormalEnd(const char *function);
// A note on what the library does instead of what a setting asked ("function,NOTE,text"), written
// in log modes 1 and 3.  Commas and control characters of the text become '?', so the line
// keeps its fields.
void TraceNote(const char *function, const char *text);
void TraceDetail(const char *function, const char *layer, std::uint32_t code,
                 std::uint32_t lowStatus);
// Stamps the body with the local time, rotates the file when needed and appends the line.
void WriteTraceLine(const char *body);

#endif
