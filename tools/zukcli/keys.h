// `keys generate FILE` and `keys check FILE`: site key files (settings/site_keys.h).  Neither ever
// prints a key byte: only each key's check value.
#ifndef ZUKCLI_KEYS_H
#define ZUKCLI_KEYS_H

#include <string>

#include "tools/zukcli/report.h"

// Whether word is an action of `keys`.
bool IsKeysAction(const std::string &word);

// Runs `keys ACTION FILE`; false when the file could not be written, read, or is not valid.
bool RunKeys(const std::string &action, const std::string &path, Report *report);

#endif
