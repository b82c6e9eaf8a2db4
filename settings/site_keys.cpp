// The site key file: reading it line by line in place (no copy of the text), writing it, and its
// check value.
#include "settings/site_keys.h"

#include <cstdio>
#include <cstring>

#include "platform/system.h"
#include "settings/hex.h"
#include "settings/sha256.h"

const int kSiteReaderSlots[SITE_READER_SLOT_COUNT] = {0, 1, 3, 4, 5, 7, 9};
const int kSiteWriteSlots[SITE_WRITE_SLOT_COUNT] = {2, 6, 8, 10};

namespace {

const char kHeader[] = "ZUKcntrl site keys";

// The values in their canonical order; check comes last.
enum ValueIndex { kInitial, kOperational, kReader, kMask, kIssuer, kCheck, kValueCount };

struct ValueForm {
    const char *name;
    std::size_t size;
    bool required;
};

const ValueForm kValues[kValueCount] = {
    {"initial", SITE_CHANNEL_KEYS_SIZE, true}, {"operational", SITE_CHANNEL_KEYS_SIZE, true},
    {"reader", SITE_READER_KEYS_SIZE, true},   {"mask", SITE_MASK_SIZE, true},
    {"issuer", SITE_ISSUER_KEYS_SIZE, false},  {"check", SITE_KEY_FILE_CHECK_SIZE, true},
};

std::uint8_t *ValueBytes(SiteKeys *keys, int index, std::uint8_t *check) {
    switch (index) {
    case kInitial: return keys->initial;
    case kOperational: return keys->operational;
    case kReader: return keys->reader;
    case kMask: return keys->mask;
    case kIssuer: return keys->issuer;
    default: return check;
    }
}

const std::uint8_t *ValueBytes(const SiteKeys &keys, int index) {
    return ValueBytes(const_cast<SiteKeys *>(&keys), index, nullptr);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The reason of a refusal, when the caller gave room for it (a macro, so that the compiler checks
// each format against its arguments).
#define FAIL(...)                                                                                  \
    do {                                                                                           \
        if (error && errorSize > 0) std::snprintf(error, errorSize, __VA_ARGS__);                  \
    } while (0)

// Decodes the digits of [begin, end) into dst (capacity bytes), skipping spaces and tabs.  Returns
// false at a character that is neither; *digits counts every digit, also those beyond capacity.
bool DecodeHex(const char *begin, const char *end, std::uint8_t *dst, std::size_t capacity,
               std::size_t *digits) {
    *digits = 0;
    for (const char *p = begin; p < end; ++p) {
        if (*p == ' ' || *p == '\t') continue;
        const int d = HexDigitValue(*p);
        if (d < 0) return false;
        const std::size_t at = *digits / 2;
        if (at < capacity) {
            if (*digits % 2 == 0) dst[at] = static_cast<std::uint8_t>(d << 4);
            else dst[at] = static_cast<std::uint8_t>(dst[at] | d);
        }
        ++*digits;
    }
    return true;
}

// Appends to the canonical text's hash: "name = HEX\n".
void HashValue(Sha256Context *context, const char *name, const std::uint8_t *bytes,
               std::size_t size) {
    Sha256Update(context, name, std::strlen(name));
    Sha256Update(context, " = ", 3);
    for (std::size_t i = 0; i < size; ++i) {
        char pair[3];
        BytesToHex(bytes + i, 1, pair, sizeof pair);
        Sha256Update(context, pair, 2);
        PlatSecureWipe(pair, sizeof pair);
    }
    Sha256Update(context, "\n", 1);
}

bool AllZero(const std::uint8_t *bytes, std::size_t size) {
    std::uint8_t any = 0;
    for (std::size_t i = 0; i < size; ++i) any = static_cast<std::uint8_t>(any | bytes[i]);
    return any == 0;
}

// Where a line of the file stands: its text without the line end and without surrounding blanks.
struct Line {
    const char *begin;
    const char *end;
    int number;
};

SiteKeyFileResult ParseLines(const char *text, std::size_t length, SiteKeys *out,
                             std::uint8_t check[], int seenOn[kValueCount], char *error,
                             std::size_t errorSize) {
    const char *p = text;
    const char *const stop = text + length;
    if (length >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    bool headerSeen = false;
    int number = 0;
    while (p < stop) {
        const char *eol =
            static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (!eol) eol = stop;
        Line line{p, eol, ++number};
        p = eol < stop ? eol + 1 : stop;
        while (line.begin < line.end && IsBlank(*line.begin)) ++line.begin;
        while (line.end > line.begin && IsBlank(line.end[-1])) --line.end;
        const bool comment = line.begin < line.end && *line.begin == '#';
        for (const char *c = line.begin; c < line.end; ++c) {
            const unsigned char u = static_cast<unsigned char>(*c);
            // Comments may carry any text but control characters; the rest is printable ASCII.
            const bool allowed = u == '\t' || (u >= 0x20 && u != 0x7F && (comment || u < 0x80));
            if (!allowed) {
                FAIL("line %d: character 0x%02X is not allowed here", line.number, u);
                return kSiteKeysBadLine;
            }
        }
        if (line.begin == line.end || comment) continue;
        const std::size_t size = static_cast<std::size_t>(line.end - line.begin);

        if (!headerSeen) {
            const std::size_t headerLength = sizeof kHeader - 1;
            const bool named =
                size > headerLength && std::memcmp(line.begin, kHeader, headerLength) == 0 &&
                (line.begin[headerLength] == ' ' || line.begin[headerLength] == '\t');
            if (!named) {
                FAIL("line %d: not a site key file (it must begin with '%s %d')", line.number,
                     kHeader, SITE_KEY_FILE_VERSION);
                return kSiteKeysNotKeyFile;
            }
            const char *v = line.begin + headerLength;
            while (v < line.end && IsBlank(*v)) ++v;
            bool digits = v < line.end;
            for (const char *c = v; c < line.end; ++c) digits = digits && *c >= '0' && *c <= '9';
            if (!digits) {
                FAIL("line %d: not a site key file (it must begin with '%s %d')", line.number,
                     kHeader, SITE_KEY_FILE_VERSION);
                return kSiteKeysNotKeyFile;
            }
            // Only the exact version text is this version: "01" is not "1".
            if (line.end - v != 1 || *v != '0' + SITE_KEY_FILE_VERSION) {
                const long shown = line.end - v > 12 ? 12 : static_cast<long>(line.end - v);
                FAIL("line %d: version %.*s%s of the site key file is not known (this program "
                     "reads version %d)",
                     line.number, static_cast<int>(shown), v, line.end - v > 12 ? "..." : "",
                     SITE_KEY_FILE_VERSION);
                return kSiteKeysWrongVersion;
            }
            headerSeen = true;
            continue;
        }

        const char *equals = static_cast<const char *>(std::memchr(line.begin, '=', size));
        if (!equals) {
            FAIL("line %d: expected 'name = hexadecimal value'", line.number);
            return kSiteKeysBadLine;
        }
        const char *nameEnd = equals;
        while (nameEnd > line.begin && IsBlank(nameEnd[-1])) --nameEnd;
        const std::size_t nameLength = static_cast<std::size_t>(nameEnd - line.begin);
        if (nameLength == 0) {
            FAIL("line %d: a value without a name", line.number);
            return kSiteKeysBadLine;
        }
        int index = -1;
        for (int i = 0; i < kValueCount; ++i) {
            if (std::strlen(kValues[i].name) == nameLength &&
                std::memcmp(kValues[i].name, line.begin, nameLength) == 0)
                index = i;
        }
        if (index < 0) {
            FAIL("line %d: unknown name '%.*s%s' (the names are initial, operational, reader, "
                 "mask, issuer and check)",
                 line.number, static_cast<int>(nameLength > 24 ? 24 : nameLength), line.begin,
                 nameLength > 24 ? "..." : "");
            return kSiteKeysUnknownName;
        }
        const ValueForm &form = kValues[index];
        if (seenOn[index] != 0) {
            FAIL("line %d: '%s' is given twice (first on line %d)", line.number, form.name,
                 seenOn[index]);
            return kSiteKeysRepeatedName;
        }
        seenOn[index] = line.number;
        std::size_t digits = 0;
        if (!DecodeHex(equals + 1, line.end, ValueBytes(out, index, check), form.size, &digits)) {
            FAIL("line %d: the value of '%s' is not hexadecimal", line.number, form.name);
            return kSiteKeysNotHex;
        }
        if (digits != form.size * 2) {
            FAIL("line %d: '%s' has %lu hexadecimal digits; it needs %lu (%lu bytes)", line.number,
                 form.name, static_cast<unsigned long>(digits),
                 static_cast<unsigned long>(form.size * 2), static_cast<unsigned long>(form.size));
            return kSiteKeysWrongLength;
        }
    }
    if (!headerSeen) {
        FAIL("not a site key file (it must begin with '%s %d')", kHeader, SITE_KEY_FILE_VERSION);
        return kSiteKeysNotKeyFile;
    }
    for (int i = 0; i < kValueCount; ++i) {
        if (kValues[i].required && seenOn[i] == 0) {
            FAIL("no '%s' value", kValues[i].name);
            return kSiteKeysMissingValue;
        }
    }
    out->hasIssuer = seenOn[kIssuer] != 0;
    return kSiteKeysOk;
}

}  // namespace

const char *SiteKeyFileResultName(SiteKeyFileResult result) {
    switch (result) {
    case kSiteKeysOk: return "valid";
    case kSiteKeysBadArgument: return "bad argument";
    case kSiteKeysTooLarge: return "too large";
    case kSiteKeysNotKeyFile: return "not a site key file";
    case kSiteKeysWrongVersion: return "unknown version";
    case kSiteKeysBadLine: return "malformed line";
    case kSiteKeysUnknownName: return "unknown name";
    case kSiteKeysRepeatedName: return "repeated name";
    case kSiteKeysNotHex: return "not hexadecimal";
    case kSiteKeysWrongLength: return "wrong length";
    case kSiteKeysMissingValue: return "missing value";
    case kSiteKeysWrongCheck: return "wrong check value";
    case kSiteKeysIssuerMismatch: return "issuer table does not match";
    case kSiteKeysWeak: return "weak keys";
    }
    return "?";
}

SiteKeyFileResult SiteKeyFileParse(const char *text, std::size_t length, SiteKeys *out, char *error,
                                   std::size_t errorSize) {
    if (error && errorSize > 0) error[0] = '\0';
    if (!out || (!text && length > 0)) {
        FAIL("no file text or no place for the keys");
        return kSiteKeysBadArgument;
    }
    SiteKeysWipe(out);
    if (length > SITE_KEY_FILE_MAX_SIZE) {
        // The callers read at most one byte more than the limit: the length says only "too large".
        FAIL("the file is too large: a site key file has at most %lu bytes",
             static_cast<unsigned long>(SITE_KEY_FILE_MAX_SIZE));
        return kSiteKeysTooLarge;
    }
    std::uint8_t given[SITE_KEY_FILE_CHECK_SIZE] = {0};
    int seenOn[kValueCount] = {0};
    SiteKeyFileResult result = ParseLines(text, length, out, given, seenOn, error, errorSize);
    if (result == kSiteKeysOk) {
        std::uint8_t expected[SITE_KEY_FILE_CHECK_SIZE];
        SiteKeyFileCheck(*out, expected);
        std::uint8_t differ = 0;
        for (std::size_t i = 0; i < sizeof expected; ++i)
            differ = static_cast<std::uint8_t>(differ | (expected[i] ^ given[i]));
        if (differ != 0) {
            FAIL("line %d: the check value does not match the values (a changed or mistyped digit)",
                 seenOn[kCheck]);
            result = kSiteKeysWrongCheck;
        }
    }
    if (result == kSiteKeysOk && out->hasIssuer) {
        for (int i = 0; i < SITE_READER_SLOT_COUNT && result == kSiteKeysOk; ++i) {
            if (std::memcmp(out->issuer + 8 * kSiteReaderSlots[i], out->reader + 8 * i, 8) != 0) {
                FAIL("line %d: 'issuer' slot %d differs from the reader's key in it",
                     seenOn[kIssuer], kSiteReaderSlots[i]);
                result = kSiteKeysIssuerMismatch;
            }
        }
        for (int i = 0; i < SITE_WRITE_SLOT_COUNT && result == kSiteKeysOk; ++i) {
            if (AllZero(out->issuer + 8 * kSiteWriteSlots[i], 8)) {
                FAIL("line %d: 'issuer' leaves write slot %d empty", seenOn[kIssuer],
                     kSiteWriteSlots[i]);
                result = kSiteKeysIssuerMismatch;
            }
        }
    }
    if (result == kSiteKeysOk) {
        KeyWeaknessFound weak;
        if (SiteKeysWeakness(*out, &weak) != kKeyStrong) {
            int line = 0;
            for (int i = 0; i < kValueCount; ++i) {
                if (std::strcmp(kValues[i].name, weak.value) == 0) line = seenOn[i];
            }
            FAIL("line %d: %s", line, weak.reason);
            result = kSiteKeysWeak;
        }
        PlatSecureWipe(&weak, sizeof weak);
    }
    if (result != kSiteKeysOk) SiteKeysWipe(out);
    return result;
}

KeyWeakness SiteKeysWeakness(const SiteKeys &keys, KeyWeaknessFound *found) {
    static_assert(sizeof keys.initial == 24 && sizeof keys.reader == 56 && sizeof keys.mask == 64 &&
                      sizeof keys.issuer == 88,
                  "the sizes key_strength.h takes");
    KeyWeakness kind = ChannelKeysWeakness(keys.initial, keys.operational, found);
    if (kind == kKeyStrong) kind = ReaderKeysWeakness(keys.reader, found);
    if (kind == kKeyStrong) kind = MaskWeakness(keys.mask, found);
    if (kind == kKeyStrong && keys.hasIssuer) kind = IssuerWriteKeysWeakness(keys.issuer, found);
    return kind;
}

void SiteKeysCheck(const SiteKeys &keys, std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE]) {
    SiteKeys values = keys;
    values.hasIssuer = false;
    PlatSecureWipe(values.issuer, sizeof values.issuer);
    SiteKeyFileCheck(values, check);
    SiteKeysWipe(&values);
}

namespace {

// Draws value until the check finds it strong; false when random fails or after kDraws draws.
constexpr int kDraws = 64;

bool DrawChannelKeys(SiteKeysRandom random, SiteKeys *keys) {
    for (int i = 0; i < kDraws; ++i) {
        if (!random(keys->initial, sizeof keys->initial) ||
            !random(keys->operational, sizeof keys->operational)) {
            return false;
        }
        if (ChannelKeysWeakness(keys->initial, keys->operational, nullptr) == kKeyStrong)
            return true;
    }
    return false;
}

bool DrawReaderKeys(SiteKeysRandom random, SiteKeys *keys) {
    for (int i = 0; i < kDraws; ++i) {
        if (!random(keys->reader, sizeof keys->reader)) return false;
        if (ReaderKeysWeakness(keys->reader, nullptr) == kKeyStrong) return true;
    }
    return false;
}

bool DrawMask(SiteKeysRandom random, SiteKeys *keys) {
    for (int i = 0; i < kDraws; ++i) {
        if (!random(keys->mask, sizeof keys->mask)) return false;
        if (MaskWeakness(keys->mask, nullptr) == kKeyStrong) return true;
    }
    return false;
}

bool DrawIssuer(SiteKeysRandom random, SiteKeys *keys) {
    for (int i = 0; i < kDraws; ++i) {
        if (!random(keys->issuer, sizeof keys->issuer)) return false;
        SiteKeysCopyReaderToIssuer(keys);
        if (IssuerWriteKeysWeakness(keys->issuer, nullptr) == kKeyStrong) return true;
    }
    return false;
}

}  // namespace

bool SiteKeysGenerate(SiteKeysRandom random, SiteKeys *keys) {
    SiteKeysWipe(keys);
    const bool ok = random && DrawChannelKeys(random, keys) && DrawReaderKeys(random, keys) &&
                    DrawMask(random, keys) && DrawIssuer(random, keys) &&
                    SiteKeysWeakness(*keys, nullptr) == kKeyStrong;
    if (!ok) SiteKeysWipe(keys);
    return ok;
}

void SiteKeyFileCheck(const SiteKeys &keys, std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE]) {
    Sha256Context context;
    Sha256Init(&context);
    char header[32];
    const int n = std::snprintf(header, sizeof header, "%s %d\n", kHeader, SITE_KEY_FILE_VERSION);
    Sha256Update(&context, header, static_cast<std::size_t>(n));
    for (int i = 0; i < kCheck; ++i) {
        if (i == kIssuer && !keys.hasIssuer) continue;
        HashValue(&context, kValues[i].name, ValueBytes(keys, i), kValues[i].size);
    }
    std::uint8_t digest[SHA256_SIZE];
    Sha256Final(&context, digest);
    std::memcpy(check, digest, SITE_KEY_FILE_CHECK_SIZE);
    PlatSecureWipe(digest, sizeof digest);
}

std::size_t SiteKeyFileFormat(const SiteKeys &keys, char *text, std::size_t size) {
    if (!text || size == 0) return 0;
    std::size_t at = 0;
    bool fits = true;
    auto put = [&](const char *s) {
        const std::size_t n = std::strlen(s);
        if (at + n >= size) fits = false;
        if (!fits) return;
        std::memcpy(text + at, s, n);
        at += n;
    };
    char header[32];
    std::snprintf(header, sizeof header, "%s %d\r\n", kHeader, SITE_KEY_FILE_VERSION);
    put(header);
    put("# One site's reader keys and password mask.  Keep this file secret: whoever holds it "
        "can\r\n"
        "# act as the site's readers and read the passwords its machines remember.  Each value "
        "is\r\n"
        "# hexadecimal, in groups of 8 bytes; the check value covers them all.\r\n");
    std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE];
    SiteKeyFileCheck(keys, check);
    for (int i = 0; i < kValueCount; ++i) {
        if (i == kIssuer && !keys.hasIssuer) continue;
        if (i == kIssuer)
            put("# The issuing stations' key table (the write slots 2, 6, 8 and 10 too); the "
                "library ignores it.\r\n");
        char name[16];
        std::snprintf(name, sizeof name, "%-11s =", kValues[i].name);
        put(name);
        const std::uint8_t *bytes = i == kCheck ? check : ValueBytes(keys, i);
        for (std::size_t b = 0; b < kValues[i].size; ++b) {
            char pair[4] = {' '};
            BytesToHex(bytes + b, 1, pair + 1, sizeof pair - 1);
            put(b % 8 == 0 ? pair : pair + 1);
            PlatSecureWipe(pair, sizeof pair);
        }
        put("\r\n");
    }
    PlatSecureWipe(check, sizeof check);
    if (!fits) {
        PlatSecureWipe(text, size);
        return 0;
    }
    text[at] = '\0';
    return at;
}

void SiteKeysCopyReaderToIssuer(SiteKeys *keys) {
    for (int i = 0; i < SITE_READER_SLOT_COUNT; ++i) {
        std::memcpy(keys->issuer + 8 * kSiteReaderSlots[i], keys->reader + 8 * i, 8);
    }
    keys->hasIssuer = true;
}

void SiteKeysWipe(SiteKeys *keys) {
    if (!keys) return;
    PlatSecureWipe(keys, sizeof *keys);
}
