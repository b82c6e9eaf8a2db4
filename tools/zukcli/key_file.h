// Reading a site key file from disk for zukcli and zukcard: the bytes in a buffer that is wiped
// before it is given up, and the parse with the reason of a refusal; and the check values of a
// file's keys as zukcli shows them (keys generate, check, install and status).
#ifndef ZUKCLI_KEY_FILE_H
#define ZUKCLI_KEY_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/site_keys.h"
#include "tools/zukcli/report.h"

// Reads at most one byte more than a key file may have, so that a longer file is refused as such.
// False with the reason in *error ("... does not exist", "cannot open ...").  The caller wipes
// *bytes.
bool ReadKeyFileBytes(const std::string &path, std::vector<char> *bytes, std::string *error);

// Reads and parses the file; kSiteKeysOk with the values in *keys, or the refusal (or
// kSiteKeysBadArgument when the file cannot be read) with the reason in *error.  The file's bytes
// are wiped; *keys is wiped on any failure.
SiteKeyFileResult LoadSiteKeyFile(const std::string &path, SiteKeys *keys, std::string *error);

// LoadSiteKeyFile with the path named in the reason of a refusal; false with *error set (the keys
// wiped) when the file cannot be read or is not valid.
bool ReadKeyFile(const std::string &path, SiteKeys *keys, std::string *error);

// Each key's check value as text lines and one JSON object, the file's check value and whether
// the issuing table is there.
void AddCheckValues(const SiteKeys &keys, Entry *e);

// Bytes as upper-case hexadecimal, at most a check value long (empty when longer).
std::string HexText(const std::uint8_t *bytes, std::size_t size);

#endif
