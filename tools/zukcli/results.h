// The library's result codes by name and meaning, as zukcli prints them.
#ifndef ZUKCLI_RESULTS_H
#define ZUKCLI_RESULTS_H

#include <cstddef>
#include <string>

struct ResultInfo {
    int code;
    const char *name;
    const char *meaning;
};

// Every result code of ZUKcntrl.h, in the header's order.
const ResultInfo *ResultTable(std::size_t *count);

// The entry for a code, or null for a code the library does not define.
const ResultInfo *FindResult(int code);

class Report;
// `codes`: the whole table as one entry.
bool ListResultCodes(Report *report);

// `codes CODE`: one result code, or one raw code of a trace's LOW line (0x02000013), decoded:
// its family, meaning, usual cause and the result code the library reports for it.  False for a
// value that is neither.
bool DecodeCode(const std::string &text, Report *report);

#endif
