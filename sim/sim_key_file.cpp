// The simulated reader's reading of a site key file, and the key tables and check values it
// derives from one.
#include "sim/sim_key_file.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "link/des.h"
#include "settings/hex.h"
#include "settings/key_strength.h"
#include "sim/sim_reader.h"

namespace {

constexpr char kHeader[] = "ZUKcntrl site keys 1";
constexpr char kHeaderStem[] = "ZUKcntrl site keys ";
constexpr int kReaderSlots[7] = {0, 1, 3, 4, 5, 7, 9};

std::string Trim(const std::string &s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

struct Value {
    const char *name;
    std::size_t size;
    std::uint8_t *into;  // null: allowed and ignored
    bool required;
    bool seen;
};

}  // namespace

bool SimParseSiteKeys(const std::string &text, SimSiteKeys *out, std::string *error) {
    std::memset(out, 0, sizeof *out);
    std::uint8_t mask[64] = {
        0};  // not the reader's, but a file with a weak mask is refused as a weak file
    Value values[] = {
        {"initial", SIM_KEY_SET_SIZE, out->initial, true, false},
        {"operational", SIM_KEY_SET_SIZE, out->operational, true, false},
        {"reader", SIM_READER_KEYS_SIZE, out->reader, true, false},
        {"issuer", SIM_KEY_TABLE_SIZE, out->issuer, false, false},
        {"mask", sizeof mask, mask, false, false},
        {"check", 0, nullptr, false, false},
    };
    std::size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    bool header = false;
    int lineNumber = 0;
    bool ok = true;
    while (ok && at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (!header) {
            if (line.compare(0, sizeof kHeaderStem - 1, kHeaderStem) == 0 && line != kHeader) {
                *error = where + "version " + line.substr(sizeof kHeaderStem - 1) + " is not known";
                ok = false;
            } else if (line != kHeader) {
                *error = where + "not a site key file (no '" + kHeader + "' line)";
                ok = false;
            }
            header = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            *error = where + "not 'name = value'";
            ok = false;
            break;
        }
        const std::string name = Trim(line.substr(0, eq));
        Value *v = nullptr;
        for (Value &candidate : values) {
            if (name == candidate.name) v = &candidate;
        }
        if (v == nullptr || v->seen) {
            *error = where + (v == nullptr ? "unknown name '" : "repeated name '") + name + "'";
            ok = false;
            break;
        }
        v->seen = true;
        if (v->into == nullptr) continue;
        std::vector<std::uint8_t> bytes;
        if (!SimParseHex(line.substr(eq + 1), &bytes) || bytes.size() != v->size) {
            *error = where + "'" + name + "' is not " + std::to_string(v->size) +
                     " bytes in hexadecimal";
            ok = false;
        } else {
            std::memcpy(v->into, bytes.data(), v->size);
        }
    }
    if (ok && !header) {
        *error = "not a site key file (empty)";
        ok = false;
    }
    for (const Value &v : values) {
        if (ok && v.required && !v.seen) {
            *error = std::string("no '") + v.name + "' value";
            ok = false;
        }
    }
    out->hasIssuer = values[3].seen;
    // Weak keys: the library's rule (settings/key_strength.h), so that a site reader never takes
    // keys the library and zukcli refuse.
    KeyWeaknessFound weak;
    if (ok && (ChannelKeysWeakness(out->initial, out->operational, &weak) != kKeyStrong ||
               ReaderKeysWeakness(out->reader, &weak) != kKeyStrong ||
               (values[4].seen && MaskWeakness(mask, &weak) != kKeyStrong) ||
               (out->hasIssuer && IssuerWriteKeysWeakness(out->issuer, &weak) != kKeyStrong))) {
        *error = std::string("weak keys: ") + weak.reason;
        ok = false;
    }
    std::memset(mask, 0, sizeof mask);
    if (!ok) std::memset(out, 0, sizeof *out);  // nothing of a refused file is kept
    return ok;
}

void SimLibraryKeyTable(const std::uint8_t reader[SIM_READER_KEYS_SIZE],
                        std::uint8_t table[SIM_KEY_TABLE_SIZE]) {
    std::memset(table, 0, SIM_KEY_TABLE_SIZE);
    for (int i = 0; i < 7; ++i) std::memcpy(table + 8 * kReaderSlots[i], reader + 8 * i, 8);
}

void SimCardKeyTable(const SimSiteKeys &keys, const std::uint8_t fallback[SIM_KEY_TABLE_SIZE],
                     std::uint8_t table[SIM_KEY_TABLE_SIZE]) {
    if (keys.hasIssuer) {
        std::memcpy(table, keys.issuer, SIM_KEY_TABLE_SIZE);
        return;
    }
    std::memcpy(table, fallback, SIM_KEY_TABLE_SIZE);
    for (int i = 0; i < 7; ++i) std::memcpy(table + 8 * kReaderSlots[i], keys.reader + 8 * i, 8);
}

std::string SimKeyCheckValue(const std::uint8_t key[8]) {
    static const std::uint8_t kZero[8] = {0};
    std::uint8_t block[8];
    DesCbcEncrypt(key, kZero, kZero, 8, block);
    char text[7];
    BytesToHex(block, 3, text, sizeof text);
    return text;
}
