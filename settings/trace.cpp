// The trace log.  Each line is written by one open-append-close sequence, so lines of several
// processes interleave whole; every failure drops the line silently and never changes a result.
#include "settings/trace.h"

#include <cstdio>
#include <cstring>

#include "platform/system.h"
#include "settings/config.h"
#include "settings/text.h"

void Trace(const char *function, const char *layer, std::uint32_t code, std::uint32_t lowStatus) {
    switch (GetLogMode()) {
    case kLogModeFailures:
        if (code != 0) TraceDetail(function, layer, code, lowStatus);
        break;
    case kLogModeFailuresAndNormalEnds:
        if (code == 0) {
            TraceNormalEnd(function);
        } else {
            TraceDetail(function, layer, code, lowStatus);
        }
        break;
    default: break;
    }
}

void TraceNormalEnd(const char *function) {
    char body[1024];
    std::snprintf(body, sizeof body, "%s,NormalEnd", function ? function : "");
    WriteTraceLine(body);
}

void TraceNote(const char *function, const char *text) {
    if (GetLogMode() != kLogModeFailures && GetLogMode() != kLogModeFailuresAndNormalEnds) return;
    char body[1024];
    const int prefix = std::snprintf(body, sizeof body, "%s,NOTE,", function ? function : "");
    if (prefix < 0 || static_cast<std::size_t>(prefix) >= sizeof body) return;
    std::size_t n = static_cast<std::size_t>(prefix);
    for (const char *p = text ? text : ""; *p != '\0' && n + 1 < sizeof body; ++p, ++n) {
        const unsigned char c = static_cast<unsigned char>(*p);
        body[n] = (c == ',' || c < 0x20 || c == 0x7F) ? '?' : *p;
    }
    body[n] = '\0';
    WriteTraceLine(body);
}

void TraceDetail(const char *function, const char *layer, std::uint32_t code,
                 std::uint32_t lowStatus) {
    char body[1024];
    const char *name = function ? function : "";
    const char *tag = layer ? layer : "";
    if (std::strcmp(tag, "LOW") == 0) {
        std::snprintf(body, sizeof body, "%s,%s,0x%08x,0x%08x", name, tag, code, lowStatus);
    } else {
        std::snprintf(body, sizeof body, "%s,%s,0x%08x", name, tag, code);
    }
    WriteTraceLine(body);
}

void WriteTraceLine(const char *body) {
    const char *fileName = GetLogFileName();
    // A log file whose rotation name would not fit its buffer is refused: with no way to move it
    // aside, it would grow without bound.
    char oldName[512];
    if (fileName[0] == '\0' || !JoinText(oldName, sizeof oldName, fileName, ".old")) return;

    PlatCalendar now;
    if (!PlatLocalTime(PlatTimeNow(), &now)) return;
    char line[1024];
    int length =
        std::snprintf(line, sizeof line, "%04d/%02d/%02d,%02d:%02d:%02d,%s\n", now.year, now.month,
                      now.day, now.hour, now.minute, now.second, body ? body : "");
    if (length < 0) return;
    if (static_cast<std::size_t>(length) >= sizeof line) {  // keep the line end on a long body
        length = static_cast<int>(sizeof line) - 1;
        line[length - 1] = '\n';
    }

    std::FILE *file = std::fopen(fileName, "a");
    if (!file) return;
    if (std::fseek(file, 0, SEEK_END) != 0) {
        std::fclose(file);
        return;
    }
    long size = std::ftell(file);
    if (size >= 0 && size + length > kTraceRotateSize) {
        std::fclose(file);
        std::remove(oldName);
        std::rename(fileName, oldName);
        file = std::fopen(fileName, "a");
        if (!file) return;
    }
    std::fputs(line, file);
    std::fclose(file);
}
