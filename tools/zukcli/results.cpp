// Names and meanings of the result codes, from the library's own table of them.  A code outside
// the table is printed as unknown by the callers, with its value in decimal and hexadecimal, so a
// newer library's code is still visible.
#include "tools/zukcli/results.h"

#include <cstring>

#include "status/result_table.h"

namespace {

#define ZUK_COUNT_RESULT(...) +1
constexpr std::size_t kCount = 0 ZUK_RESULTS(ZUK_COUNT_RESULT);
#undef ZUK_COUNT_RESULT

// A text as a terminal shows it: the documents' code marks dropped, a link [title](file#anchor)
// given as "title in file".
std::string Plain(const char *text) {
    std::string out;
    for (const char *p = text; *p; ++p) {
        if (*p == '`') continue;
        const char *close = *p == '[' ? std::strstr(p, "](") : nullptr;
        const char *end = close ? std::strchr(close, ')') : nullptr;
        if (end) {
            const std::string target(close + 2, end);
            out += std::string(p + 1, close) + " in " + target.substr(0, target.find('#'));
            p = end;
            continue;
        }
        out += *p;
    }
    return out;
}

struct Table {
    ResultInfo rows[kCount];
    std::string texts[2 * kCount];
};

// Fills the table in place once: its entries point into its own texts.
bool Fill(Table *table) {
    std::size_t count = 0;
    const ResultRow *rows = ResultRows(&count);
    for (std::size_t i = 0; i < count && i < kCount; ++i) {
        table->texts[2 * i] = Plain(rows[i].meaning);
        table->texts[2 * i + 1] = Plain(rows[i].action);
        table->rows[i] = {rows[i].value, rows[i].name, table->texts[2 * i].c_str(),
                          table->texts[2 * i + 1].c_str(), rows[i].readerError};
    }
    return true;
}

const Table &TheTable() {
    static Table table;
    static const bool filled = Fill(&table);
    (void)filled;
    return table;
}

}  // namespace

const ResultInfo *ResultTable(std::size_t *count) {
    if (count) *count = kCount;
    return TheTable().rows;
}

const ResultInfo *FindResult(int code) {
    for (const ResultInfo &r : TheTable().rows) {
        if (r.code == code) return &r;
    }
    return nullptr;
}
