// Site key files: SHA-256, the canonical text behind the check value, writing and reading back,
// and a table of files the parser takes and of files it refuses, with the reason it gives.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "settings/hex.h"
#include "settings/sha256.h"
#include "settings/site_keys.h"
#include "tests/native/support.h"

namespace {

std::string Hex(const std::uint8_t *bytes, std::size_t size) {
    std::vector<char> text(2 * size + 1);
    EXPECT_TRUE(BytesToHex(bytes, size, text.data(), text.size()));
    return text.data();
}

std::string Digest(const std::string &text) {
    std::uint8_t digest[SHA256_SIZE];
    Sha256(text.data(), text.size(), digest);
    return Hex(digest, sizeof digest);
}

TEST(Sha256, PublishedVectorsWholeAndInPieces) {
    const std::string million(1000000, 'a');
    const struct {
        std::string message;
        const char *digest;
    } cases[] = {
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
        {million, "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.substr(0, 20));
        EXPECT_EQ(Digest(c.message), c.digest);
        // Fed in uneven pieces, across block boundaries.
        for (std::size_t piece : {1u, 3u, 55u, 63u, 64u, 65u}) {
            Sha256Context context;
            Sha256Init(&context);
            for (std::size_t at = 0; at < c.message.size(); at += piece) {
                Sha256Update(&context, c.message.data() + at,
                             std::min(piece, c.message.size() - at));
            }
            std::uint8_t digest[SHA256_SIZE];
            Sha256Final(&context, digest);
            EXPECT_EQ(Hex(digest, sizeof digest), c.digest) << "pieces of " << piece;
            if (c.message.size() > 1000) break;  // one split of the long message is enough
        }
    }
}

// Keys whose bytes differ from value to value and slot to slot.
SiteKeys SampleKeys(bool issuer) {
    SiteKeys keys;
    std::memset(&keys, 0, sizeof keys);
    for (std::size_t i = 0; i < sizeof keys.initial; ++i)
        keys.initial[i] = static_cast<std::uint8_t>(0x10 + i);
    for (std::size_t i = 0; i < sizeof keys.operational; ++i)
        keys.operational[i] = static_cast<std::uint8_t>(0xA0 + i);
    for (std::size_t i = 0; i < sizeof keys.reader; ++i)
        keys.reader[i] = static_cast<std::uint8_t>(i * 37 + 5);
    for (std::size_t i = 0; i < sizeof keys.mask; ++i)
        keys.mask[i] = static_cast<std::uint8_t>(i * 11 + 0xC3);
    if (issuer) {
        for (std::size_t i = 0; i < sizeof keys.issuer; ++i)
            keys.issuer[i] = static_cast<std::uint8_t>(0xFF - i);
        SiteKeysCopyReaderToIssuer(&keys);
    }
    return keys;
}

// The canonical text as the file format defines it, written here independently of the library.
std::string Canonical(const SiteKeys &k) {
    std::string text = "ZUKcntrl site keys 1\n";
    text += "initial = " + Hex(k.initial, sizeof k.initial) + "\n";
    text += "operational = " + Hex(k.operational, sizeof k.operational) + "\n";
    text += "reader = " + Hex(k.reader, sizeof k.reader) + "\n";
    text += "mask = " + Hex(k.mask, sizeof k.mask) + "\n";
    if (k.hasIssuer) text += "issuer = " + Hex(k.issuer, sizeof k.issuer) + "\n";
    return text;
}

// The smallest valid file: the canonical text and its check line.
std::string MinimalFile(const SiteKeys &k) {
    return Canonical(k) + "check = " + Digest(Canonical(k)).substr(0, 16) + "\n";
}

std::string Replace(std::string text, const std::string &from, const std::string &to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string ReplaceAll(std::string text, const std::string &from, const std::string &to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string FlipDigit(std::string text, std::size_t at) {
    text[at] = text[at] == '0' ? '1' : '0';
    return text;
}

bool SameKeys(const SiteKeys &a, const SiteKeys &b) {
    return std::memcmp(a.initial, b.initial, sizeof a.initial) == 0 &&
           std::memcmp(a.operational, b.operational, sizeof a.operational) == 0 &&
           std::memcmp(a.reader, b.reader, sizeof a.reader) == 0 &&
           std::memcmp(a.mask, b.mask, sizeof a.mask) == 0 && a.hasIssuer == b.hasIssuer &&
           std::memcmp(a.issuer, b.issuer, sizeof a.issuer) == 0;
}

bool AllZero(const SiteKeys &k) {
    const auto *p = reinterpret_cast<const std::uint8_t *>(&k);
    for (std::size_t i = 0; i < sizeof k; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

TEST(SiteKeyFile, CheckValueIsTheHashOfTheCanonicalText) {
    for (bool issuer : {false, true}) {
        const SiteKeys keys = SampleKeys(issuer);
        std::uint8_t check[SITE_KEY_FILE_CHECK_SIZE];
        SiteKeyFileCheck(keys, check);
        EXPECT_EQ(Hex(check, sizeof check), Digest(Canonical(keys)).substr(0, 16)) << issuer;
    }
}

TEST(SiteKeyFile, WrittenFilesReadBackAsTheSameKeys) {
    for (bool issuer : {false, true}) {
        const SiteKeys keys = SampleKeys(issuer);
        char text[SITE_KEY_FILE_TEXT_SIZE];
        const std::size_t n = SiteKeyFileFormat(keys, text, sizeof text);
        ASSERT_GT(n, 0u);
        EXPECT_EQ(std::strlen(text), n);
        const std::string file(text, n);
        EXPECT_EQ(file.rfind("ZUKcntrl site keys 1\r\n", 0), 0u) << file;
        for (std::size_t at = file.find('\n'); at != std::string::npos;
             at = file.find('\n', at + 1)) {
            EXPECT_EQ(file[at - 1], '\r') << "CR LF line ends";
        }
        EXPECT_EQ(file.find("issuer") != std::string::npos, issuer) << file;
        // Values in groups of 8 bytes.
        EXPECT_NE(file.find("initial     = 1011121314151617 18191A1B1C1D1E1F 2021222324252627\r\n"),
                  std::string::npos)
            << file;
        SiteKeys back;
        char error[SITE_KEY_FILE_ERROR_SIZE];
        ASSERT_EQ(SiteKeyFileParse(text, n, &back, error, sizeof error), kSiteKeysOk)
            << error << "\n"
            << file;
        EXPECT_TRUE(SameKeys(back, keys));
        EXPECT_STREQ(error, "");
        // Too small a buffer: nothing written, nothing left.
        char small[600];
        std::memset(small, 'x', sizeof small);
        EXPECT_EQ(SiteKeyFileFormat(keys, small, sizeof small), 0u);
        EXPECT_EQ(std::string(small, sizeof small), std::string(sizeof small, '\0'));
    }
}

TEST(SiteKeyFile, TakesTheLayoutsPeopleAndEditorsWrite) {
    const SiteKeys plain = SampleKeys(false);
    const SiteKeys issued = SampleKeys(true);
    const std::string base = MinimalFile(plain);
    const std::string initialLine = "initial = " + Hex(plain.initial, sizeof plain.initial) + "\n";
    const std::string check = base.substr(base.find("check"));
    const struct {
        const char *what;
        std::string file;
        const SiteKeys *keys;
    } cases[] = {
        {"minimal, LF", base, &plain},
        {"CR LF", ReplaceAll(base, "\n", "\r\n"), &plain},
        {"no line end at the end", base.substr(0, base.size() - 1), &plain},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF" + base, &plain},
        {"comments and blank lines, before the header too",
         "# site A\n\n" + Replace(Replace(base, "\nmask", "\n\n   # the mask\n\t\nmask"), "\ncheck",
                                  "\n# d\xC3\xA9j\xC3\xA0 vu\ncheck"),
         &plain},
        {"lower-case digits",
         Replace(
             base, initialLine,
             "initial = " + std::string("101112131415161718191a1b1c1d1e1f2021222324252627") + "\n"),
         &plain},
        {"spaces and tabs between digits and around names",
         Replace(base, initialLine,
                 "  initial\t=  10 11 12 13 14 15 16 17\t18191A1B1C1D1E1F 2021222324252627   \n"),
         &plain},
        {"no spaces around '='",
         Replace(base, initialLine, "initial=" + Hex(plain.initial, sizeof plain.initial) + "\n"),
         &plain},
        {"values in another order", Replace(base, initialLine, "") + initialLine, &plain},
        {"check first", Replace(Replace(base, check, ""), "keys 1\n", "keys 1\n" + check), &plain},
        {"header with extra spaces",
         Replace(base, "ZUKcntrl site keys 1\n", "ZUKcntrl site keys   1  \n"), &plain},
        {"with the issuing table", MinimalFile(issued), &issued},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SiteKeys out;
        std::memset(&out, 0x5A, sizeof out);
        char error[SITE_KEY_FILE_ERROR_SIZE];
        EXPECT_EQ(SiteKeyFileParse(c.file.data(), c.file.size(), &out, error, sizeof error),
                  kSiteKeysOk)
            << error << "\n"
            << c.file;
        EXPECT_TRUE(SameKeys(out, *c.keys));
    }
}

TEST(SiteKeyFile, RefusesBrokenFilesWithTheirReason) {
    const SiteKeys plain = SampleKeys(false);
    const std::string base = MinimalFile(plain);
    const std::string mask = "mask = " + Hex(plain.mask, sizeof plain.mask) + "\n";
    const std::string check = base.substr(base.find("check"));
    // One digit of the reader's keys, or of the check, changed.
    const std::string tampered = FlipDigit(base, base.find("reader = ") + 20);
    const std::string wrongCheck = FlipDigit(base, base.find("check = ") + 15);
    // An issuing table that does not carry the reader's key in slot 4, or leaves slot 8 empty,
    // with a check value that is right for it.
    SiteKeys wrongSlot = SampleKeys(true);
    wrongSlot.issuer[4 * 8 + 3] ^= 1;
    SiteKeys emptySlot = SampleKeys(true);
    std::memset(emptySlot.issuer + 8 * 8, 0, 8);
    const std::string issuerLine = "issuer = " + std::string(176, '1') + "\n";

    const struct {
        const char *what;
        std::string file;
        SiteKeyFileResult result;
        const char *reason;  // a part of the error text
    } cases[] = {
        {"empty", "", kSiteKeysNotKeyFile, "not a site key file"},
        {"only comments", "# nothing\n\n", kSiteKeysNotKeyFile, "not a site key file"},
        {"another file", "[Device]\nPort=COM3\n", kSiteKeysNotKeyFile,
         "line 1: not a site key file"},
        {"value before the header", mask + base, kSiteKeysNotKeyFile,
         "line 1: not a site key file"},
        {"header without version", Replace(base, "keys 1", "keys"), kSiteKeysNotKeyFile, "line 1"},
        {"header with a word for a version", Replace(base, "keys 1", "keys one"),
         kSiteKeysNotKeyFile, "line 1"},
        {"header glued to its version", Replace(base, "keys 1", "keys1"), kSiteKeysNotKeyFile,
         "line 1"},
        {"version 2", Replace(base, "keys 1", "keys 2"), kSiteKeysWrongVersion,
         "version 2 of the site key file is not known"},
        {"version 0", Replace(base, "keys 1", "keys 0"), kSiteKeysWrongVersion, "version 0"},
        {"version 11", Replace(base, "keys 1", "keys 11"), kSiteKeysWrongVersion, "version 11"},
        {"version 01: only the exact text is version 1", Replace(base, "keys 1", "keys 01"),
         kSiteKeysWrongVersion, "version 01 of the site key file is not known"},
        {"a huge version", Replace(base, "keys 1", "keys 123456789012345678901234"),
         kSiteKeysWrongVersion, "version 123456789012... of"},
        {"a line without '='", Replace(base, mask, "mask\n"), kSiteKeysBadLine,
         "line 5: expected 'name = hexadecimal value'"},
        {"a value without a name", Replace(base, mask, "= 00\n"), kSiteKeysBadLine,
         "line 5: a value without a name"},
        {"a NUL byte", Replace(base, "mask = ", std::string("mask = \0", 8)), kSiteKeysBadLine,
         "line 5: character 0x00"},
        {"a control character", Replace(base, "mask =", "mask\x01="), kSiteKeysBadLine,
         "line 5: character 0x01"},
        {"non-ASCII outside a comment", Replace(base, "mask =", "mask\xC3\xA9="), kSiteKeysBadLine,
         "character 0xC3"},
        {"an unknown name", Replace(base, mask, mask + "spare = 00\n"), kSiteKeysUnknownName,
         "line 6: unknown name 'spare'"},
        {"names are lower case", Replace(base, "mask =", "Mask ="), kSiteKeysUnknownName,
         "unknown name 'Mask'"},
        {"a long unknown name", Replace(base, mask, std::string(300, 'n') + " = 00\n"),
         kSiteKeysUnknownName, "unknown name 'nnnnnnnnnnnnnnnnnnnnnnnn...'"},
        {"a repeated name", Replace(base, mask, mask + mask), kSiteKeysRepeatedName,
         "line 6: 'mask' is given twice (first on line 5)"},
        {"a repeated check", base + check, kSiteKeysRepeatedName, "'check' is given twice"},
        {"a comment after a value",
         Replace(base, mask, mask.substr(0, mask.size() - 1) + " # the mask\n"), kSiteKeysNotHex,
         "line 5: the value of 'mask' is not hexadecimal"},
        {"a letter past F", Replace(base, "mask = ", "mask = G"), kSiteKeysNotHex,
         "'mask' is not hexadecimal"},
        {"0x before the digits", Replace(base, "mask = ", "mask = 0x"), kSiteKeysNotHex,
         "not hexadecimal"},
        {"an empty value", Replace(base, mask, "mask =\n"), kSiteKeysWrongLength,
         "line 5: 'mask' has 0 hexadecimal digits; it needs 128 (64 bytes)"},
        {"one byte short", Replace(base, mask, mask.substr(0, mask.size() - 3) + "\n"),
         kSiteKeysWrongLength, "'mask' has 126 hexadecimal digits"},
        {"one digit short", Replace(base, mask, mask.substr(0, mask.size() - 2) + "\n"),
         kSiteKeysWrongLength, "'mask' has 127 hexadecimal digits"},
        {"one byte long", Replace(base, mask, mask.substr(0, mask.size() - 1) + "00\n"),
         kSiteKeysWrongLength, "'mask' has 130 hexadecimal digits"},
        {"a far too long value", Replace(base, mask, "mask = " + std::string(5000, 'A') + "\n"),
         kSiteKeysWrongLength, "has 5000 hexadecimal digits"},
        {"a short check", Replace(base, check, check.substr(0, check.size() - 3) + "\n"),
         kSiteKeysWrongLength, "'check' has 14 hexadecimal digits; it needs 16"},
        {"a short issuer", Replace(base, mask, mask + "issuer = 00\n"), kSiteKeysWrongLength,
         "'issuer' has 2 hexadecimal digits; it needs 176"},
        {"no mask", Replace(base, mask, ""), kSiteKeysMissingValue, "no 'mask' value"},
        {"no initial keys",
         Replace(base, "initial = " + Hex(plain.initial, sizeof plain.initial) + "\n", ""),
         kSiteKeysMissingValue, "no 'initial' value"},
        {"no check", Replace(base, check, ""), kSiteKeysMissingValue, "no 'check' value"},
        {"only the header", "ZUKcntrl site keys 1\n", kSiteKeysMissingValue, "no 'initial' value"},
        {"one reader digit changed", tampered, kSiteKeysWrongCheck,
         "line 6: the check value does not match the values"},
        {"one check digit changed", wrongCheck, kSiteKeysWrongCheck, "does not match"},
        {"a value left out with the check kept",
         Replace(MinimalFile(SampleKeys(true)), "issuer = ", "# issuer = "), kSiteKeysWrongCheck,
         "does not match"},
        {"an issuer added with the check kept", Replace(base, mask, mask + issuerLine),
         kSiteKeysWrongCheck, "does not match"},
        {"an issuing table without the reader's slot 4", MinimalFile(wrongSlot),
         kSiteKeysIssuerMismatch, "line 6: 'issuer' slot 4 differs from the reader's key in it"},
        {"an issuing table with write slot 8 empty", MinimalFile(emptySlot),
         kSiteKeysIssuerMismatch, "'issuer' leaves write slot 8 empty"},
        {"lines ended by CR alone", ReplaceAll(base, "\n", "\r"), kSiteKeysBadLine,
         "line 1: character 0x0D"},
        {"too large", base + std::string(SITE_KEY_FILE_MAX_SIZE, '#'), kSiteKeysTooLarge,
         "a site key file has at most 65536"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SiteKeys out;
        std::memset(&out, 0x5A, sizeof out);
        char error[SITE_KEY_FILE_ERROR_SIZE];
        EXPECT_EQ(SiteKeyFileParse(c.file.data(), c.file.size(), &out, error, sizeof error),
                  c.result)
            << SiteKeyFileResultName(c.result) << ": " << error;
        EXPECT_NE(std::string(error).find(c.reason), std::string::npos) << error;
        EXPECT_TRUE(AllZero(out)) << "what was read is wiped";
        // The reason never quotes a key digit of the file.
        EXPECT_EQ(std::string(error).find(Hex(plain.mask, 4)), std::string::npos) << error;
    }
}

// The callers read one byte more than a key file may have: a file of any larger size arrives as
// that many bytes, so the reason names the limit, never the length it was given.
TEST(SiteKeyFile, TooLargeNamesTheLimitNotAByteCount) {
    const std::string big(SITE_KEY_FILE_MAX_SIZE + 1, '#');
    SiteKeys out;
    char error[SITE_KEY_FILE_ERROR_SIZE];
    EXPECT_EQ(SiteKeyFileParse(big.data(), big.size(), &out, error, sizeof error),
              kSiteKeysTooLarge);
    EXPECT_NE(std::string(error).find("too large"), std::string::npos) << error;
    EXPECT_EQ(std::string(error).find("65537"), std::string::npos) << error;
}

// A key, for the weak-key table: eight bytes given as 16 digits.
void SetKey(std::uint8_t *at, const char *hex) {
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<std::uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
    }
}

TEST(SiteKeyFile, RefusesWeakKeysWithTheirReason) {
    const struct {
        const char *what;
        std::function<void(SiteKeys *)> change;
        const char *reason;
    } cases[] = {
        {"a mask of zeros", [](SiteKeys *k) { std::memset(k->mask, 0, sizeof k->mask); },
         "line 5: 'mask' is all zero: remembered passwords would be stored in the clear"},
        {"a mask of one repeated byte",
         [](SiteKeys *k) { std::memset(k->mask, 0x5C, sizeof k->mask); },
         "'mask' repeats one byte"},
        {"an initial KA of zeros", [](SiteKeys *k) { std::memset(k->initial, 0, 8); },
         "line 2: 'initial' KA is all zero"},
        {"a zero key with its parity bits set",
         [](SiteKeys *k) { SetKey(k->operational + 8, "0100010001000100"); },
         "line 3: 'operational' KB is all zero"},
        {"every channel key zero",
         [](SiteKeys *k) {
             std::memset(k->initial, 0, 24);
             std::memset(k->operational, 0, 24);
         },
         "'initial' KA is all zero"},
        {"a reader table of zeros",
         [](SiteKeys *k) { std::memset(k->reader, 0, sizeof k->reader); },
         "line 4: 'reader' slot 0 is all zero"},
        {"a DES weak key", [](SiteKeys *k) { SetKey(k->operational + 16, "FEFEFEFEFEFEFEFE"); },
         "'operational' KC is a DES weak or semi-weak key"},
        {"a DES weak key with its parity bits changed",
         [](SiteKeys *k) { SetKey(k->initial + 8, "E1E1E0E0F0F0F1F1"); },
         "'initial' KB is a DES weak or semi-weak key"},
        {"a DES semi-weak key", [](SiteKeys *k) { SetKey(k->reader + 8 * 5, "01FE01FE01FE01FE"); },
         "'reader' slot 7 is a DES weak or semi-weak key"},
        {"the other of a semi-weak pair",
         [](SiteKeys *k) { SetKey(k->reader + 8 * 6, "FEE0FEE0FEF1FEF1"); },
         "'reader' slot 9 is a DES weak or semi-weak key"},
        {"KA = KB (single DES)", [](SiteKeys *k) { std::memcpy(k->initial + 8, k->initial, 8); },
         "'initial' KA and KB are the same key (the channel would be single DES)"},
        {"KB = KC but for parity",
         [](SiteKeys *k) {
             std::memcpy(k->operational + 16, k->operational + 8, 8);
             k->operational[16] ^= 0x01;
         },
         "'operational' KB and KC are the same key"},
        {"KA = KC", [](SiteKeys *k) { std::memcpy(k->operational + 16, k->operational, 8); },
         "'operational' KA and KC are the same key"},
        {"operational = initial", [](SiteKeys *k) { std::memcpy(k->operational, k->initial, 24); },
         "line 3: 'operational' is the initial key set"},
        {"operational = initial with only parity bits changed",
         [](SiteKeys *k) {
             for (int i = 0; i < 24; ++i)
                 k->operational[i] = static_cast<std::uint8_t>(k->initial[i] ^ 0x01);
         },
         "'operational' is the initial key set (parity bits aside)"},
        {"reader slots 0 and 1 the same",
         [](SiteKeys *k) { std::memcpy(k->reader + 8, k->reader, 8); },
         "'reader' slots 0 and 1 are the same key"},
        {"reader slots 3 and 5 the same",
         [](SiteKeys *k) { std::memcpy(k->reader + 32, k->reader + 16, 8); },
         "'reader' slots 3 and 5 are the same key"},
        {"an issuing write slot that is weak",
         [](SiteKeys *k) { SetKey(k->issuer + 8 * 6, "1F1F1F1F0E0E0E0E"); },
         "line 6: 'issuer' slot 6 is a DES weak or semi-weak key"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SiteKeys keys = SampleKeys(true);
        c.change(&keys);
        if (keys.hasIssuer) SiteKeysCopyReaderToIssuer(&keys);
        const std::string file = MinimalFile(keys);  // a right check value: only the keys are wrong
        SiteKeys out;
        char error[SITE_KEY_FILE_ERROR_SIZE];
        EXPECT_EQ(SiteKeyFileParse(file.data(), file.size(), &out, error, sizeof error),
                  kSiteKeysWeak)
            << error;
        EXPECT_NE(std::string(error).find(c.reason), std::string::npos) << error;
        EXPECT_TRUE(AllZero(out));
        EXPECT_NE(SiteKeysWeakness(keys, nullptr), kKeyStrong);
    }
    EXPECT_EQ(SiteKeysWeakness(SampleKeys(true), nullptr), kKeyStrong);
}

// The keys' check value is the one the machines show: the file's values without the issuing
// table; for a file without one it is the file's check value.
TEST(SiteKeyFile, KeysCheckLeavesTheIssuingTableOut) {
    std::uint8_t keysCheck[SITE_KEY_FILE_CHECK_SIZE], fileCheck[SITE_KEY_FILE_CHECK_SIZE],
        plainCheck[SITE_KEY_FILE_CHECK_SIZE];
    SiteKeysCheck(SampleKeys(true), keysCheck);
    SiteKeyFileCheck(SampleKeys(true), fileCheck);
    SiteKeyFileCheck(SampleKeys(false), plainCheck);
    EXPECT_EQ(Hex(keysCheck, 8), Hex(plainCheck, 8));
    EXPECT_NE(Hex(keysCheck, 8), Hex(fileCheck, 8));
}

// A random source that gives weak values first: zeros, then one repeated byte, then counting bytes.
int g_draws = 0;
bool WeakFirst(void *data, std::size_t size) {
    auto *bytes = static_cast<std::uint8_t *>(data);
    const int draw = g_draws++;
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = draw < 4   ? 0
                   : draw < 6 ? 0x01
                              : static_cast<std::uint8_t>(draw * 31 + i * 7 + 1);
    }
    return true;
}
bool AlwaysZero(void *data, std::size_t size) {
    std::memset(data, 0, size);
    return true;
}
bool Failing(void *, std::size_t) { return false; }

TEST(SiteKeyFile, GeneratedKeysAreNeverWeak) {
    g_draws = 0;
    SiteKeys keys;
    ASSERT_TRUE(SiteKeysGenerate(WeakFirst, &keys));
    EXPECT_GT(g_draws, 6) << "the weak draws were taken";
    EXPECT_EQ(SiteKeysWeakness(keys, nullptr), kKeyStrong);
    EXPECT_TRUE(keys.hasIssuer);
    char text[SITE_KEY_FILE_TEXT_SIZE];
    const std::size_t n = SiteKeyFileFormat(keys, text, sizeof text);
    SiteKeys back;
    char error[SITE_KEY_FILE_ERROR_SIZE];
    EXPECT_EQ(SiteKeyFileParse(text, n, &back, error, sizeof error), kSiteKeysOk) << error;
    // A source that only gives weak values, or fails: no keys.
    EXPECT_FALSE(SiteKeysGenerate(AlwaysZero, &keys));
    EXPECT_TRUE(AllZero(keys));
    EXPECT_FALSE(SiteKeysGenerate(Failing, &keys));
    EXPECT_TRUE(AllZero(keys));
}

TEST(SiteKeyFile, ErrorTextAndArguments) {
    const std::string base = MinimalFile(SampleKeys(false));
    SiteKeys out;
    // No room for the reason, or a small one: the result stands, the text is cut and terminated.
    EXPECT_EQ(SiteKeyFileParse("x", 1, &out, nullptr, 0), kSiteKeysNotKeyFile);
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(SiteKeyFileParse("x", 1, &out, small, sizeof small), kSiteKeysNotKeyFile);
    EXPECT_STREQ(small, "line 1:");
    char error[SITE_KEY_FILE_ERROR_SIZE];
    EXPECT_EQ(SiteKeyFileParse(nullptr, 5, &out, error, sizeof error), kSiteKeysBadArgument);
    EXPECT_EQ(SiteKeyFileParse(base.data(), base.size(), nullptr, error, sizeof error),
              kSiteKeysBadArgument);
    EXPECT_EQ(SiteKeyFileParse(nullptr, 0, &out, error, sizeof error), kSiteKeysNotKeyFile);
    // The text need not be terminated: only `length` bytes count.
    const std::string twice = base + "garbage that follows";
    EXPECT_EQ(SiteKeyFileParse(twice.data(), base.size(), &out, error, sizeof error), kSiteKeysOk)
        << error;
    // Every result has a name.
    for (int r = kSiteKeysOk; r <= kSiteKeysWeak; ++r) {
        EXPECT_STRNE(SiteKeyFileResultName(static_cast<SiteKeyFileResult>(r)), "?") << r;
    }
}

}  // namespace
