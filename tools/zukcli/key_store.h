// `keys install FILE`, `keys status`, `keys remove`: the site keys stored on this machine for the
// library of each bitness (key_store.cpp).  Nothing here prints a key: only check values.
#ifndef ZUKCLI_KEY_STORE_H
#define ZUKCLI_KEY_STORE_H

#include <cstdint>
#include <string>

#include "tools/zukcli/report.h"

#include "settings/site_key_store.h"
#include "settings/site_keys.h"

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

bool InstallSiteKeys(const std::string &path, Entry *e);
bool ShowSiteKeys(Entry *e);
bool RemoveSiteKeys(Entry *e);

#endif
