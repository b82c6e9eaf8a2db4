// One subcommand as the command line gave it, and what the subcommands of one run share.
#ifndef ZUKCLI_COMMAND_H
#define ZUKCLI_COMMAND_H

#include <map>
#include <string>
#include <vector>

#include "api/workers.h"

struct Command {
    std::string name;
    std::map<std::string, std::string> options;  // "--size" -> "64"; a flag maps to ""
    std::vector<std::string> arguments;
};

// What the subcommands of one run share: the reader handle from the last `open`.
struct Session {
    // Before any open: the handle ZUKOpen hands out, so the library itself says whether the
    // reader is open.
    int handle = kReaderHandle;
};

#endif
