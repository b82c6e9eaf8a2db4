// `keys generate FILE` and `keys check FILE`: site key files (settings/site_keys.h).  Neither ever
// prints a key byte: only each key's check value.
#ifndef ZUKCLI_KEYS_H
#define ZUKCLI_KEYS_H

#include <string>

#include "tools/zukcli/report.h"

#include "settings/site_key_store.h"
#include "settings/site_keys.h"

// Whether word is an action of `keys`, and whether it takes a FILE.
bool IsKeysAction(const std::string &word);
bool KeysActionTakesFile(const std::string &word);

// Runs `keys ACTION [FILE]`; false when the action was not done (a file that could not be written
// or read, or is not valid; keys that could not be stored, removed or used).
bool RunKeys(const std::string &action, const std::string &path, Report *report);

// Reads and parses a site key file; false with *error set (the keys wiped) when it cannot be read
// or is not valid.
bool ReadKeyFile(const std::string &path, SiteKeys *keys, std::string *error);

// Each key's check value as text lines and one JSON object, the file's check value and whether
// the issuing table is there.
void AddCheckValues(const SiteKeys &keys, Entry *e);
std::string HexText(const std::uint8_t *bytes, std::size_t size);

// The keys a library of the given registry view uses (0: zukcli's own): the source ("built-in",
// "site" or "none") and, for site keys, the check value of the stored keys as hexadecimal.
struct StoredKeysSource {
    SiteKeyStoreResult result;
    std::string source;
    std::string check;
};
StoredKeysSource ReadStoredKeysSource(std::uint32_t view, SiteKeys *keys);

// Empty when every registry view a library reads gives the same keys (the same source and, for
// site keys, the same keys check); otherwise what each view gives ("64-bit view: site keys (keys
// check ...), 32-bit view: the built-in keys").
std::string SiteKeyViewsDifference();

// `keys install FILE`, `keys status`, `keys remove`: the site keys stored on this machine
// (key_store.cpp).
bool InstallSiteKeys(const std::string &path, Entry *e);
bool ShowSiteKeys(Entry *e);
bool RemoveSiteKeys(Entry *e);

#endif
