// The subcommands: their command-line form, and running them against the loaded library.
#ifndef ZUKCLI_COMMANDS_H
#define ZUKCLI_COMMANDS_H

#include <string>
#include <vector>

#include "tools/zukcli/command.h"
#include "tools/zukcli/report.h"

// Reads one subcommand and its options from args[*next]; advances *next.  False with *error set
// for anything it cannot understand.
bool ParseCommand(const std::vector<std::string> &args, std::size_t *next, Command *out,
                  std::string *error);

// True when `word` names a subcommand.
bool IsCommandName(const std::string &word);

// Runs the subcommand; every entry it produces goes to the report.  False when a call returned
// non-zero or could not be made (or, for status, when the configuration has a problem).
bool RunCommand(const Command &command, Session *session, Report *report);

// Whether a refusal of the command line needs the help text beside it: not when it is about one
// argument's value and says in its one line what is wrong (an IDm given to revoke or unrevoke).
bool RefusalNeedsUsage(const std::string &error);

// The help text.
const char *UsageText();

#endif
