// `codes`: the result codes of ZUKcntrl.h listed, or one result code or raw trace code decoded
// with the library's own status table (its descriptions and its result mapping).
#include "tools/zukcli/codes.h"

#include <cstdio>

#include "status/status_table.h"
#include "tools/zukcli/calls.h"
#include "tools/zukcli/report.h"
#include "tools/zukcli/results.h"

bool ListResultCodes(Report *report) {
    Entry e;
    e.command = "codes";
    std::string json = "[";
    std::size_t count = 0;
    const ResultInfo *table = ResultTable(&count);
    for (std::size_t i = 0; i < count; ++i) {
        const ResultInfo &r = table[i];
        char line[64];
        std::snprintf(line, sizeof line, "%-23s %10d  0x%08x  ", r.name, r.code,
                      static_cast<unsigned>(r.code));
        e.lines.push_back(line + std::string(r.meaning));
        json += std::string(json.size() > 1 ? "," : "") + "{\"code\":" + std::to_string(r.code) +
                ",\"name\":" + JsonString(r.name) + ",\"meaning\":" + JsonString(r.meaning) +
                ",\"action\":" + JsonString(r.action) +
                ",\"readerError\":" + (r.readerError ? "true" : "false") + "}";
    }
    e.AddJson("codes", json + "]");
    report->Add(e);
    return true;
}

bool DecodeCode(const std::string &text, Report *report) {
    Entry e;
    e.command = "codes";
    long long value = 0;
    ParseInteger(text, &value);  // checked by the command line already
    const int code = static_cast<int>(static_cast<std::uint32_t>(value));
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(code));
    e.AddNumber("code", code);
    e.Only(Field::JsonOnly);
    e.AddText("hex", hex);
    if (const ResultInfo *r = FindResult(code)) {
        e.AddText("kind", "result code");
        e.AddText("name", r->name);
        e.AddText("meaning", r->meaning);
        e.AddText("action", r->action);
        e.AddFlag("readerError", r->readerError);
        report->Add(e);
        return true;
    }
    StatusDescription d;
    if (!DescribeStatus(static_cast<std::uint32_t>(code), &d)) {
        e.AddText("kind", "unknown");
        e.AddText("meaning",
                  "neither a result code of ZUKcntrl.h nor a raw code the library writes");
        e.failed = true;
        report->Add(e);
        return false;
    }
    const int result = StatusResult(static_cast<std::uint32_t>(code));
    e.AddText("kind", "raw code (trace LOW line)");
    e.AddText("family", d.family);
    e.AddText("meaning", d.meaning);
    e.AddText("cause", d.cause);
    e.AddNumber("result", result);
    e.AddText("resultName", FindResult(result) ? FindResult(result)->name : "unknown");
    report->Add(e);
    return true;
}
