// The library's result codes by name and meaning, as zukcli prints them: the rows of
// status/result_table.h, their texts without the documents' `backtick` marks.
#ifndef ZUKCLI_RESULTS_H
#define ZUKCLI_RESULTS_H

#include <cstddef>
#include <string>

struct ResultInfo {
    int code;
    const char *name;
    const char *meaning;
    const char *action;  // what a host should do
    bool readerError;    // the prompts offer Retry for it, and a host may try again
};

// Every result code of ZUKcntrl.h, in the header's order.
const ResultInfo *ResultTable(std::size_t *count);

// The entry for a code, or null for a code the library does not define.
const ResultInfo *FindResult(int code);

#endif
