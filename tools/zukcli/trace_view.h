// `trace [FILE] [--follow]`: the library's trace log decoded, line by line: the export, the result
// by name and meaning, a LOW line's raw code decoded, and the lines grouped into runs.
#ifndef ZUKCLI_TRACE_VIEW_H
#define ZUKCLI_TRACE_VIEW_H

#include "tools/zukcli/command.h"
#include "tools/zukcli/report.h"

bool RunTrace(const Command &command, Report *report);

#endif
