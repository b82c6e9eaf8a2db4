// Site key files: one site's reader channel key sets, reader card key table and password mask (and,
// for issuing stations, the issuing key table) as a small text file of named hexadecimal values
// with a version and a check value.  zukcli generates and checks them; the format is described in
// docs/security.md ("Site key files").
//
//   ZUKcntrl site keys 1
//   initial     = <24 bytes>      KA KB KC of the initial channel key set
//   operational = <24 bytes>      KA KB KC of the operational channel key set
//   reader      = <56 bytes>      the key-carrying slots 0, 1, 3, 4, 5, 7 and 9 of the card key
//   table mask        = <64 bytes>      the mask of stored passwords issuer      = <88 bytes>
//   optional: all eleven slots, for issuing stations only check       = <8 bytes>       the first 8
//   bytes of SHA-256 over the canonical text
//
// Two check values name a site's keys.  The file's check value (the `check` line) covers every
// value of the file, the issuing table too.  The keys' check value covers what the library's
// machines hold (initial, operational, reader, mask): it is the value zukcli shows as
// "keys check" for a file, for the stored keys of each registry view and in `status`.  For a file
// without an issuing table the two are the same.
#ifndef ZUK_SETTINGS_SITE_KEYS_H
#define ZUK_SETTINGS_SITE_KEYS_H

#include <cstddef>
#include <cstdint>

#include "settings/key_strength.h"

constexpr int SITE_KEY_FILE_VERSION = 1;
constexpr std::size_t SITE_CHANNEL_KEYS_SIZE = 24;  // initial and operational: KA KB KC
constexpr std::size_t SITE_READER_KEYS_SIZE = 56;
constexpr std::size_t SITE_MASK_SIZE = 64;
constexpr std::size_t SITE_ISSUER_KEYS_SIZE = 88;
constexpr std::size_t SITE_KEY_FILE_CHECK_SIZE = 8;
// The largest file the parser reads (comments included), and room for what SiteKeyFileFormat
// writes.
constexpr std::size_t SITE_KEY_FILE_MAX_SIZE = 65536;
constexpr std::size_t SITE_KEY_FILE_TEXT_SIZE = 2048;
// Room for SiteKeyFileParse's reason, terminator included.
constexpr std::size_t SITE_KEY_FILE_ERROR_SIZE = 160;

// The card key table's slots that `reader` fills, in its order (8 bytes each); the others (2, 6, 8,
// 10) are the write slots only the issuing table fills.
constexpr int SITE_READER_SLOT_COUNT = 7;
extern const int kSiteReaderSlots[SITE_READER_SLOT_COUNT];
constexpr int SITE_ISSUER_SLOT_COUNT = 11;
constexpr int SITE_WRITE_SLOT_COUNT = 4;
extern const int kSiteWriteSlots[SITE_WRITE_SLOT_COUNT];

struct SiteKeys {
    std::uint8_t initial[SITE_CHANNEL_KEYS_SIZE];
    std::uint8_t operational[SITE_CHANNEL_KEYS_SIZE];
    std::uint8_t reader[SITE_READER_KEYS_SIZE];
    std::uint8_t mask[SITE_MASK_SIZE];
    std::uint8_t issuer[SITE_ISSUER_KEYS_SIZE];  // all zero unless hasIssuer
    bool hasIssuer;
};

// What SiteKeyFileParse found; every value but the first refuses the file.
enum SiteKeyFileResult {
    kSiteKeysOk = 0,
    kSiteKeysBadArgument,   // no text (with a length) or no output record
    kSiteKeysTooLarge,      // over SITE_KEY_FILE_MAX_SIZE bytes
    kSiteKeysNotKeyFile,    // the first line (after comments and blank lines) is not the header
    kSiteKeysWrongVersion,  // a header of another version
    kSiteKeysBadLine,  // not "name = value", or a control or non-ASCII character outside a comment
    kSiteKeysUnknownName,   // a name the format does not have
    kSiteKeysRepeatedName,  // a name given twice
    kSiteKeysNotHex,  // a value with a character other than hexadecimal digits, spaces and tabs
    kSiteKeysWrongLength,  // a value of another length than its name's (or an odd number of digits)
    kSiteKeysMissingValue,    // initial, operational, reader, mask or check missing
    kSiteKeysWrongCheck,      // the check value does not match the values
    kSiteKeysIssuerMismatch,  // issuer does not carry reader in its slots, or leaves a write slot
                              // empty
    kSiteKeysWeak,            // a weak key or mask (settings/key_strength.h)
};

// A short name of a result ("wrong check"), for tools and tests.
const char *SiteKeyFileResultName(SiteKeyFileResult result);

// Reads a site key file of `length` bytes (not zero-terminated; a UTF-8 byte order mark, CR LF or
// LF line ends, blank lines, '#' comment lines and spaces and tabs around names and values and
// between digits are tolerated).  On success *out holds the values; on any failure *out is wiped
// and, when error is given, error holds the reason with its line number (at most errorSize bytes,
// zero-terminated).  Nothing is allocated; no copy of a value is left behind.
SiteKeyFileResult SiteKeyFileParse(const char *text, std::size_t length, SiteKeys *out, char *error,
                                   std::size_t errorSize);

// The check value of the values: the first 8 bytes of SHA-256 over the canonical text (the header
// line and each value present as "name = HEX" in the order above, upper-case digits without
// spaces, each line ended by one LF).
void SiteKeyFileCheck(const SiteKeys &keys, std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE]);

// The keys' check value: the file's check value of the values without the issuing table (what
// the library's machines hold and zukcli shows as "keys check").
void SiteKeysCheck(const SiteKeys &keys, std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE]);

// The first weakness of the values (the issuing table's write slots when hasIssuer), by the rule
// of settings/key_strength.h: kKeyStrong, or the kind with *found filled (found may be null).
KeyWeakness SiteKeysWeakness(const SiteKeys &keys, KeyWeaknessFound *found);

// Fresh keys: each value drawn from random (which fills size bytes and returns false when it
// fails), drawn again while the rule refuses it, and the issuing table's write slots drawn and its
// other slots copied from reader.  False (keys wiped) when random fails or a value is still weak
// after many draws (a broken generator).
typedef bool (*SiteKeysRandom)(void *data, std::size_t size);
bool SiteKeysGenerate(SiteKeysRandom random, SiteKeys *keys);

// Writes the file for keys (CR LF line ends, values in groups of 16 digits, a comment, the check
// value) into text with a terminator; returns its length, or 0 when size is too small (then text
// is wiped).  SITE_KEY_FILE_TEXT_SIZE is always enough.
std::size_t SiteKeyFileFormat(const SiteKeys &keys, char *text, std::size_t size);

// Copies reader into the issuing table's slots 0, 1, 3, 4, 5, 7 and 9 (and sets hasIssuer), so
// that the issuing table carries the library's keys; its write slots stay as they are.
void SiteKeysCopyReaderToIssuer(SiteKeys *keys);

// Overwrites every value with zeros.
void SiteKeysWipe(SiteKeys *keys);

#endif
