// The public result codes' table expanded, and checked against ZUKcntrl.h: a row whose value
// differs from the header's, or that names a code the header lacks, does not compile.
#include "status/result_table.h"

#include "ZUKcntrl.h"

namespace {

#define ZUK_RESULT_MATCHES_HEADER(name, value, ...)                                                \
    static_assert(name == (value), #name " differs between ZUKcntrl.h and status/result_table.h");
ZUK_RESULTS(ZUK_RESULT_MATCHES_HEADER)
#undef ZUK_RESULT_MATCHES_HEADER

#define ZUK_RESULT_ROW(name, value, header, meaning, action, retry)                                \
    {(value), #name, header, meaning, action, retry},
const ResultRow kRows[] = {ZUK_RESULTS(ZUK_RESULT_ROW)};
#undef ZUK_RESULT_ROW

}  // namespace

const ResultRow *ResultRows(std::size_t *count) {
    if (count) *count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const ResultRow *FindResultRow(std::int32_t code) {
    for (const ResultRow &row : kRows) {
        if (row.value == code) return &row;
    }
    return nullptr;
}

bool ResultIsReaderError(std::int32_t code) {
    const ResultRow *row = FindResultRow(code);
    return row != nullptr && row->readerError;
}
