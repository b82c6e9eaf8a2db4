// `keys generate FILE`, `keys check FILE` and the dispatch of every `keys` action: site key files
// (settings/site_keys.h).  Nothing here ever prints a key byte: only each key's check value.
#ifndef ZUKCLI_KEYS_H
#define ZUKCLI_KEYS_H

#include <string>

#include "tools/zukcli/report.h"

// Whether word is an action of `keys`, and whether it takes a FILE.
bool IsKeysAction(const std::string &word);
bool KeysActionTakesFile(const std::string &word);

// Runs `keys ACTION [FILE]`; false when the action was not done (a file that could not be written
// or read, or is not valid; keys that could not be stored, removed or used).
bool RunKeys(const std::string &action, const std::string &path, Report *report);

#endif
