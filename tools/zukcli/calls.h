// The subcommands that call an export of the library.
#ifndef ZUKCLI_CALLS_H
#define ZUKCLI_CALLS_H

#include <string>

#include "tools/zukcli/command.h"
#include "tools/zukcli/report.h"

// Value checks shared with the command-line parser.
bool ParseInteger(const std::string &text, long long *value);      // decimal or 0x hex
bool ParseAccountMode(const std::string &text, long long *value);  // name or number
bool ParseWindow(const std::string &text, long long *value);       // none, console, number
const long long kConsoleWindow = 1LL << 40;  // --parent console: the console's own window

bool RunCall(const Command &command, Session *session, Report *report);

#endif
