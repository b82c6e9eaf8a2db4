// `codes [CODE]`: result codes by name and meaning, and raw trace codes decoded.
#ifndef ZUKCLI_CODES_H
#define ZUKCLI_CODES_H

#include <string>

#include "tools/zukcli/report.h"

// `codes`: the whole table as one entry.
bool ListResultCodes(Report *report);

// `codes CODE`: one result code, or one raw code of a trace's LOW line (0x02000013), decoded:
// its family, meaning, usual cause and the result code the library reports for it.  False for a
// value that is neither.
bool DecodeCode(const std::string &text, Report *report);

#endif
