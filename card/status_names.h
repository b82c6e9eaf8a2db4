// Names for the internal status codes that the trace prints on its "LOW" lines: the family a code
// belongs to, what it means and what usually causes it.  Used by host tools to decode a trace;
// the library itself never needs them.
#ifndef ZUK_CARD_STATUS_NAMES_H
#define ZUK_CARD_STATUS_NAMES_H

#include <cstddef>
#include <cstdint>

struct StatusDescription {
    const char *family;   // "session", "card command", "command builder", "reader link"
    char meaning[160];    // what the code says, with the fields it carries decoded
    const char *cause;    // the usual cause and what to look at
};

// False (and out untouched) for a value that belongs to no family or is no code of its family.
bool DescribeCardStatus(std::uint32_t code, StatusDescription *out);

// The rows the decoder knows by value, for documentation and tests.
struct StatusName {
    std::uint32_t code;
    const char *family;
    const char *meaning;
    const char *cause;
};
const StatusName *KnownCardStatuses(std::size_t *count);

#endif
