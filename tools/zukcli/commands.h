// The subcommands: their command-line form, and running them against the loaded library.
#ifndef ZUKCLI_COMMANDS_H
#define ZUKCLI_COMMANDS_H

#include <map>
#include <string>
#include <vector>

#include "tools/zukcli/report.h"

struct Command {
    std::string name;
    std::map<std::string, std::string> options;  // "--size" -> "64"; a flag maps to ""
    std::vector<std::string> arguments;
};

// What the subcommands of one run share: the reader handle from the last `open`.
struct Session {
    int handle = 1;  // before any open: 1, so the library itself says whether the reader is open
};

// Reads one subcommand and its options from args[*next]; advances *next.  False with *error set
// for anything it cannot understand.
bool ParseCommand(const std::vector<std::string> &args, std::size_t *next, Command *out,
                  std::string *error);

// True when `word` names a subcommand.
bool IsCommandName(const std::string &word);

// Runs the subcommand; every entry it produces goes to the report.  False when a call returned
// non-zero or could not be made (or, for status, when the configuration has a problem).
bool RunCommand(const Command &command, Session *session, Report *report);

// The help text.
const char *UsageText();

#endif
