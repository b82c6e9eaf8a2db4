// Reading a site key file from disk for zukcli and zukcard: the bytes in a buffer that is wiped
// before it is given up, and the parse with the reason of a refusal.
#ifndef ZUKCLI_KEY_FILE_H
#define ZUKCLI_KEY_FILE_H

#include <string>
#include <vector>

#include "settings/site_keys.h"

// Reads at most one byte more than a key file may have, so that a longer file is refused as such.
// False with the reason in *error ("... does not exist", "cannot open ...").  The caller wipes
// *bytes.
bool ReadKeyFileBytes(const std::string &path, std::vector<char> *bytes, std::string *error);

// Reads and parses the file; kSiteKeysOk with the values in *keys, or the refusal (or
// kSiteKeysBadArgument when the file cannot be read) with the reason in *error.  The file's bytes
// are wiped; *keys is wiped on any failure.
SiteKeyFileResult LoadSiteKeyFile(const std::string &path, SiteKeys *keys, std::string *error);

#endif
