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

#endif
