// `status`: the registry values and the INI file as the library reads them when a process loads
// it, what it makes of each, and what is wrong.
#ifndef ZUKCLI_STATUS_H
#define ZUKCLI_STATUS_H

#include "tools/zukcli/report.h"

// Reports one entry; false when something keeps the library from loading or from working as
// configured.
bool RunStatus(Report *report);

// The compliance class of the last status (fleet_status.h): the exit code of `status --compliance`.
int StatusComplianceCode();

// The trace log file the library writes to ([Log] FileName or its default), or empty.
std::string InstallationTraceFile();

#endif
