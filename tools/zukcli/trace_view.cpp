// The trace viewer.  A trace line is "date,time,export,NormalEnd", "date,time,export,tag,code",
// "date,time,export,LOW,code,raw" or "date,time,step,NOTE,text" (a note of the library's on what it
// does instead of what a setting asked).  The lines carry no process id, so runs are told apart by
// time: a pause of kRunGapSeconds or more, or a clock that goes back, starts a new run.
#include "tools/zukcli/trace_view.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "status/status_table.h"
#include "tools/zukcli/results.h"
#include "tools/zukcli/status.h"

namespace {

const long long kRunGapSeconds = 60;
const DWORD kFollowPollMs = 500;

volatile LONG g_stop = 0;

BOOL WINAPI OnControl(DWORD) {
    InterlockedExchange(&g_stop, 1);
    return TRUE;
}

std::vector<std::string> Split(const std::string &line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        parts.push_back(
            line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

bool Digits(const std::string &text, std::size_t at, std::size_t count, int *value) {
    if (at + count > text.size()) return false;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

// Seconds since 1970 of "YYYY/MM/DD" and "HH:MM:SS" (local time, taken as is), or -1.
long long Seconds(const std::string &date, const std::string &time) {
    int y, m, d, hh, mm, ss;
    if (date.size() != 10 || time.size() != 8 || !Digits(date, 0, 4, &y) ||
        !Digits(date, 5, 2, &m) || !Digits(date, 8, 2, &d) || !Digits(time, 0, 2, &hh) ||
        !Digits(time, 3, 2, &mm) || !Digits(time, 6, 2, &ss) || m < 1 || m > 12 || d < 1 ||
        d > 31) {
        return -1;
    }
    // Days from the civil date (proleptic Gregorian).
    const int yy = y - (m <= 2);
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
    return days * 86400 + hh * 3600 + mm * 60 + ss;
}

bool HexCode(const std::string &text, unsigned long *value) {
    if (text.size() != 10 || text.compare(0, 2, "0x") != 0) return false;
    char *end = nullptr;
    *value = std::strtoul(text.c_str() + 2, &end, 16);
    return end && *end == '\0';
}

// What a line means for the host in its context.  ZUKGetUserAccount checks the PIN and searches
// for the card through the same steps as ZUKVerifyPIN and ZUKSenseCard, and those steps write their
// lines under their own names; and a cancel after the PIN that locked the card is traced as the
// cancel (-1) while the host receives ZUK_ERR_PIN_WRONG.
struct Context {
    bool lockedNowSinceAccountLine =
        false;  // a ZUKVerifyPIN line with 7 since the last account line
};

std::string ContextOf(Context *c, const std::string &exportName, bool normal, int result) {
    std::string text;
    if (exportName == "ZUKVerifyPIN") {
        if (!normal && result == ZUK_ERR_PIN_LOCKED_NOW) c->lockedNowSinceAccountLine = true;
        text =
            "a PIN check: ZUKVerifyPIN's own call, or the PIN prompt of ZUKGetUserAccount, which "
            "writes its checks under this name (the host then gets the account call's result)";
    } else if (exportName == "ZUKSenseCard") {
        text = "a card search: ZUKSenseCard's own call, or the card search of ZUKGetUserAccount, "
               "which writes it under this name (the host then gets the account call's result)";
    } else if (exportName == "ZUKGetUserAccount") {
        if (!normal && result == ZUK_CANCELLED && c->lockedNowSinceAccountLine) {
            text = "the host most likely received ZUK_ERR_PIN_WRONG (3): the cancel came after a "
                   "wrong "
                   "PIN that locked the card (the ZUKVerifyPIN line with 7 above), and the call "
                   "reports "
                   "the wrong PIN";
        }
        c->lockedNowSinceAccountLine = false;
    }
    return text;
}

struct Viewer {
    Report *report;
    int run = 0;
    long long last = -1;
    Context context;

    void Line(std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty()) return;
        Entry e;
        e.command = "trace";
        const std::vector<std::string> f = Split(line);
        const long long at = f.size() >= 2 ? Seconds(f[0], f[1]) : -1;
        unsigned long code = 0, raw = 0;
        const bool normal = f.size() == 4 && f[3] == "NormalEnd";
        const bool coded = (f.size() == 5 || (f.size() == 6 && f[3] == "LOW")) &&
                           HexCode(f[4], &code) && (f.size() == 5 || HexCode(f[5], &raw));
        const bool note = f.size() >= 5 && f[3] == "NOTE";
        if (at < 0 || !(normal || coded || note)) {
            e.AddText("line", line);
            e.Only(Field::JsonOnly);
            e.AddText("problem", "not a trace line");
            e.Only(Field::JsonOnly);
            e.line = "?? " + line;
            report->Add(e);
            return;
        }
        if (last < 0 || at < last || at - last >= kRunGapSeconds) {
            ++run;
            context = Context();
            if (!report->Json())
                report->Message("-- run " + std::to_string(run) + ", from " + f[0] + " " + f[1]);
        }
        last = at;
        e.AddNumber("run", run);
        e.Only(Field::JsonOnly);
        e.AddText("time", f[0] + " " + f[1]);
        e.Only(Field::JsonOnly);
        e.AddText("export", f[2]);
        e.Only(Field::JsonOnly);
        std::string text = f[1] + "  " + f[2] + ": ";
        if (note) {
            std::string said = f[4];
            for (std::size_t i = 5; i < f.size(); ++i) said += "," + f[i];
            e.AddText("note", said);
            e.Only(Field::JsonOnly);
            e.line = text + "note: " + said;
            report->Add(e);
            return;
        }
        if (normal) {
            e.AddNumber("result", 0);
            e.Only(Field::JsonOnly);
            e.AddText("name", "ZUK_OK");
            e.Only(Field::JsonOnly);
            text += "ZUK_OK (0): success";
        } else {
            const int result = static_cast<int>(code);
            const ResultInfo *info = FindResult(result);
            e.AddText("tag", f[3]);
            e.Only(Field::JsonOnly);
            e.AddNumber("result", result);
            e.Only(Field::JsonOnly);
            e.AddText("name", info ? info->name : "unknown");
            e.Only(Field::JsonOnly);
            e.AddText("meaning", info ? info->meaning : "a code this zukcli does not know");
            e.Only(Field::JsonOnly);
            text += std::string(info ? info->name : "unknown result") + " (" +
                    std::to_string(result) + "): " + (info ? info->meaning : "unknown");
            if (f.size() == 6) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "0x%08lx", raw);
                e.AddText("raw", hex);
                e.Only(Field::JsonOnly);
                StatusDescription d;
                if (DescribeStatus(static_cast<std::uint32_t>(raw), &d)) {
                    e.AddText("rawFamily", d.family);
                    e.Only(Field::JsonOnly);
                    e.AddText("rawMeaning", d.meaning);
                    e.Only(Field::JsonOnly);
                    e.AddText("rawCause", d.cause);
                    e.Only(Field::JsonOnly);
                    text += std::string("\n          raw ") + hex + ", " + d.family + ": " +
                            d.meaning + "\n          cause: " + d.cause;
                } else {
                    text +=
                        std::string("\n          raw ") + hex + ": not a code the library writes";
                }
            }
        }
        const std::string why =
            ContextOf(&context, f[2], normal, normal ? 0 : static_cast<int>(code));
        if (!why.empty()) {
            e.AddText("context", why);
            e.Only(Field::JsonOnly);
            text += "\n          context: " + why;
        }
        e.line = text;
        report->Add(e);
    }
};

}  // namespace

bool RunTrace(const Command &command, Report *report) {
    std::string path = command.arguments.empty() ? InstallationTraceFile() : command.arguments[0];
    const bool follow = command.options.count("--follow") != 0;
    long long seconds = 0;
    if (command.options.count("--for"))
        seconds = std::strtoll(command.options.at("--for").c_str(), nullptr, 0);
    Entry problem;
    problem.command = "trace";
    problem.failed = true;
    if (path.empty()) {
        problem.error = "no trace log file: the library's settings name none (zukcli status tells "
                        "why); give FILE";
        report->Add(problem);
        return false;
    }
    Viewer viewer{report};
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file && !follow) {
        problem.error = "cannot open the trace log " + path;
        report->Add(problem);
        return false;
    }
    if (!report->Json()) report->Message("trace log " + path);
    long offset = 0;
    std::string pending;
    const DWORD start = GetTickCount();
    if (follow) SetConsoleCtrlHandler(OnControl, TRUE);
    for (;;) {
        if (file) {
            std::fseek(file, 0, SEEK_END);
            const long size = std::ftell(file);
            if (size < offset) {  // renamed to .old and begun again
                offset = 0;
                pending.clear();
                if (!report->Json()) report->Message("-- the trace log was begun again");
            }
            std::fseek(file, offset, SEEK_SET);
            char buffer[4096];
            std::size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
                offset += static_cast<long>(n);
                pending.append(buffer, n);
                std::size_t newline;
                while ((newline = pending.find('\n')) != std::string::npos) {
                    viewer.Line(pending.substr(0, newline));
                    pending.erase(0, newline + 1);
                }
            }
            std::clearerr(file);
        }
        if (!follow) break;
        if (g_stop || (seconds > 0 && GetTickCount() - start >= static_cast<DWORD>(seconds * 1000)))
            break;
        Sleep(kFollowPollMs);
        // A rotated log is a new file under the same name: reopen it each round.
        if (file) std::fclose(file);
        file = std::fopen(path.c_str(), "rb");
    }
    if (!follow && !pending.empty()) viewer.Line(pending);  // a last line without its line end
    if (file) std::fclose(file);
    if (follow) SetConsoleCtrlHandler(OnControl, FALSE);
    return true;
}
