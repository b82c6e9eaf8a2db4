// The fleet document of `zukcli status` (the "fleet" object of its JSON result): one versioned
// record a management tool's detection or compliance script reads, and the exit code that
// `status --compliance` ends with.  docs/install.md ("Fleet status") documents both; a change
// that removes or renames a field raises kFleetSchemaVersion.
#ifndef ZUKCLI_FLEET_STATUS_H
#define ZUKCLI_FLEET_STATUS_H

#include <string>

#include "tools/zukcli/settings_check.h"

const int kFleetSchemaVersion = 1;

// Exit codes of `status --compliance` (the most severe class found).
const int kFleetCompliant = 0;     // healthy: no error, no warning
const int kFleetWarnings = 10;     // works; warnings to look at
const int kFleetNoLoad = 11;       // the library does not load (or is missing)
const int kFleetNoIdentify = 12;   // loads, but identifies nobody: site keys unusable, the
                                   // revocation list not held whole, the reader unreachable or
                                   // refusing the library's keys
const int kFleetOtherErrors = 13;  // other errors (malformed revocation entries, settings ...)

struct FleetInput {
    const StatusCheck *check;
    bool libraryLoads;
    bool healthy;
    bool effective;  // the settings in force could be read (the library's own load)
};

// The class of the findings (one of the kFleet* codes).
int FleetExitCode(const FleetInput &in);

// The "fleet" object, as JSON.
std::string FleetJson(const FleetInput &in);

#endif
