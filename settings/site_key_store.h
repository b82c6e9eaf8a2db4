// The site keys stored on this machine: a site key file's values (without the issuing table),
// encrypted with the system's data protection for the local machine and kept as the binary value
// SiteKeys of the library's machine key, in each registry view a library reads.  The library reads
// them at load and then uses them instead of its built-in keys; zukcli installs, shows and removes
// them.
//
// The protected record: "ZUKS", a version byte (1), initial (24 bytes), operational (24), reader
// (56), mask (64), and the key file's check value over those values (8).  The protection's entropy
// is "ZUKcntrl site keys " followed by the machine's MachineGuid, so a blob opens only on the
// machine that made it even where the system's own machine binding is weaker (a cloned image,
// Wine).
#ifndef ZUK_SETTINGS_SITE_KEY_STORE_H
#define ZUK_SETTINGS_SITE_KEY_STORE_H

#include <cstddef>
#include <cstdint>

#include "settings/config.h"
#include "settings/site_keys.h"

#define ZUK_SITE_KEYS_VALUE "SiteKeys"
#define ZUK_MACHINE_GUID_KEY "SOFTWARE\\Microsoft\\Cryptography"

constexpr std::uint8_t SITE_KEY_RECORD_VERSION = 1;
constexpr std::size_t SITE_KEY_RECORD_SIZE = 4 + 1 + 2 * SITE_CHANNEL_KEYS_SIZE +
                                             SITE_READER_KEYS_SIZE + SITE_MASK_SIZE +
                                             SITE_KEY_FILE_CHECK_SIZE;

// What reading the stored site keys found, in one table: each result's name, its sentence, and the
// session status a fault becomes (the library refuses every card session with it).  kKeyStoreNone
// and kKeyStoreOk are usable; every other value is a fault that leaves the library without keys
// (it never falls back to the built-in ones).  The status column holds names of
// status/status_table.h that only the library's load (api/library.cpp) expands, so this layer
// needs no statuses.
//
// Columns:  K(enumerator, name, sentence for the trace, zukcli and the documents, session status)
#define ZUK_SITE_KEY_STORE_RESULTS(K)                                                              \
    K(kKeyStoreNone, "none", "no site keys are stored: the built-in keys are in use", SESSION_OK)  \
    K(kKeyStoreOk, "ok", "the site keys are in use", SESSION_OK)                                   \
    /* the value exists but cannot be read (access, type, size) */                                 \
    K(kKeyStoreUnreadable, "unreadable", "the stored site keys cannot be read from the registry",  \
      SESSION_ERR_KEYS_UNREADABLE)                                                                 \
    /* without the machine's id the blob cannot be opened */                                       \
    K(kKeyStoreNoMachineId, "no machine id",                                                       \
      "the machine's MachineGuid cannot be read, so the stored site keys cannot be decrypted",     \
      SESSION_ERR_KEYS_UNDECRYPTABLE)                                                              \
    K(kKeyStoreUndecryptable, "undecryptable",                                                     \
      "the stored site keys cannot be decrypted on this machine (stored on another machine, or "   \
      "damaged)",                                                                                  \
      SESSION_ERR_KEYS_UNDECRYPTABLE)                                                              \
    K(kKeyStoreWrongVersion, "wrong version",                                                      \
      "the stored site keys are of another format or version", SESSION_ERR_KEYS_VERSION)           \
    /* the record has another length than its version's */                                         \
    K(kKeyStoreWrongLength, "wrong length", "the stored site keys have a wrong length",            \
      SESSION_ERR_KEYS_LENGTH)                                                                     \
    K(kKeyStoreWrongCheck, "wrong check", "the stored site keys do not match their check value",   \
      SESSION_ERR_KEYS_CHECK)                                                                      \
    /* weak keys or a weak mask (settings/key_strength.h) */                                       \
    K(kKeyStoreWeak, "weak",                                                                       \
      "the stored site keys are weak (a key or the mask the library refuses)",                     \
      SESSION_ERR_KEYS_WEAK)

#define ZUK_KEY_STORE_ENUMERATOR(enumerator, ...) enumerator,
enum SiteKeyStoreResult { ZUK_SITE_KEY_STORE_RESULTS(ZUK_KEY_STORE_ENUMERATOR) };
#undef ZUK_KEY_STORE_ENUMERATOR

// The sentence of a result ("the stored site keys cannot be decrypted on this machine ..."), or
// "unknown" for a value outside the table.
const char *SiteKeyStoreResultText(SiteKeyStoreResult result);
// A short name ("undecryptable"), or "unknown".
const char *SiteKeyStoreResultName(SiteKeyStoreResult result);

// Reads and opens the stored keys from the machine key in the given registry view (0: the
// process's own; PLAT_KEY_WOW64_32KEY or PLAT_KEY_WOW64_64KEY).  On kKeyStoreOk *out holds the
// values (hasIssuer false); otherwise *out is wiped.  Every working copy is wiped before it
// returns.
SiteKeyStoreResult SiteKeyStoreRead(std::uint32_t view, SiteKeys *out);

// Protects keys (their issuing table left out) for this machine and writes them to the machine key
// in the given view, creating the key.  0 or the platform's error (registry or protection).
long SiteKeyStoreWrite(std::uint32_t view, const SiteKeys &keys);

// Deletes the stored keys in the given view.  0 (also when there were none) or the registry error.
long SiteKeyStoreRemove(std::uint32_t view);

// The record of keys, and the reading of one (the checks SiteKeyStoreRead makes after opening the
// blob).  Exposed for the tests and for zukcli's test helper; the record holds keys: wipe it.
void SiteKeyRecordMake(const SiteKeys &keys, std::uint8_t record[SITE_KEY_RECORD_SIZE]);
SiteKeyStoreResult SiteKeyRecordRead(const std::uint8_t *record, std::size_t size, SiteKeys *out);

// The protection's entropy on this machine ("ZUKcntrl site keys " + MachineGuid); its length, or 0
// when the MachineGuid cannot be read.
std::size_t SiteKeyEntropy(std::uint8_t *out, std::size_t capacity);

// Where the library's keys come from, kept from the read at load.
struct SiteKeySource {
    SiteKeyStoreResult result;  // kKeyStoreNone: built-in keys
    std::uint8_t
        check[SITE_KEY_FILE_CHECK_SIZE];  // the keys' check value (kKeyStoreOk; SiteKeysCheck)
};

// Reads the stored keys of this bitness's view at load (SiteKeyStoreRead) and keeps where the
// library's keys come from; keys holds them when the result is kKeyStoreOk (wipe them after use).
SiteKeyStoreResult LoadSiteKeySource(SiteKeys *keys);
SiteKeySource GetSiteKeySource();

// Back to the state at load: the built-in keys, no check value.
void SiteKeySourceReset();

#endif
