// Reading a policy value for its row of the settings table: one parser per kind, each giving a
// value or the problem that refuses it.
#include "settings/policy.h"

#include <cstdio>
#include <cstring>

#include "settings/hex.h"
#include "settings/registry.h"

namespace {

// A list of one to five comma-separated four-digit hexadecimal codes, nothing else.
bool StrictCodes(const char *text) {
    int count = 0;
    const char *p = text;
    for (;;) {
        const char *comma = std::strchr(p, ',');
        const std::size_t len = comma ? static_cast<std::size_t>(comma - p) : std::strlen(p);
        std::uint8_t code[2];
        if (len != 4 || HexToBytes(p, len, code, sizeof code) != 2 || ++count > 5) return false;
        if (!comma) return true;
        p = comma + 1;
    }
}

bool IsTextKind(SettingKind kind) {
    return kind == kKindIdm || kind == kKindText || kind == kKindFile || kind == kKindCodes;
}

const char *TypeName(std::uint32_t type) {
    switch (type) {
    case PLAT_REG_SZ: return "REG_SZ";
    case PLAT_REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case PLAT_REG_BINARY: return "REG_BINARY";
    case PLAT_REG_DWORD: return "REG_DWORD";
    case PLAT_REG_MULTI_SZ: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return "value of another type";
    }
}

}  // namespace

void DescribeRefusedPolicy(Setting setting, const PolicyRead &read, char *out, std::size_t size) {
    const SettingRow &row = SettingRowOf(setting);
    const bool text = IsTextKind(row.kind);
    char stored[128];
    if (read.type == PLAT_REG_DWORD && read.size == 4) {
        std::snprintf(stored, sizeof stored, "is %u (0x%x)", static_cast<unsigned>(read.number),
                      static_cast<unsigned>(read.number));
    } else if (read.type == PLAT_REG_SZ || read.type == PLAT_REG_EXPAND_SZ) {
        std::snprintf(stored, sizeof stored, "is a %s of %u bytes (\"%s\")", TypeName(read.type),
                      static_cast<unsigned>(read.size), read.shown);
    } else {
        std::snprintf(stored, sizeof stored, "is a %s of %u bytes", TypeName(read.type),
                      static_cast<unsigned>(read.size));
    }
    char wanted[160];
    if (text) {
        std::snprintf(wanted, sizeof wanted, "a REG_SZ %s",
                      row.kind == kKindIdm     ? "IDM or NONE"
                      : row.kind == kKindCodes ? "of one to five four-digit hexadecimal codes"
                                               : "of at most 511 characters");
    } else if (const char *range = std::strstr(row.accepted, "..")) {
        std::snprintf(wanted, sizeof wanted, "a REG_DWORD from %.*s to %s",
                      static_cast<int>(range - row.accepted), row.accepted, range + 2);
    } else {
        std::size_t n =
            static_cast<std::size_t>(std::snprintf(wanted, sizeof wanted, "a REG_DWORD of "));
        for (const char *p = row.accepted; *p != '\0' && n + 5 < sizeof wanted; ++p) {
            if (*p == ' ') {
                std::memcpy(wanted + n, " or ", 4);
                n += 4;
                continue;
            }
            wanted[n++] = *p;
        }
        wanted[n] = '\0';
    }
    std::snprintf(out, size, "policy value %s %s: %s (%s is accepted); the library refuses to load",
                  row.name, stored, SettingProblemText(read.problem), wanted);
}

const char *PolicyValueName(PolicyValue value) {
    const SettingRow &row = SettingRowOf(value);
    return row.governed ? row.name : "";
}

const char *SettingSourceName(SettingSource source) {
    switch (source) {
    case kSourceDefault: return "default";
    case kSourceIni: return "INI";
    case kSourceMachine: return "machine";
    case kSourcePolicy: return "policy";
    case kSourceEnvironment: return "environment";
    }
    return "default";
}

bool OpenPolicyKey(PlatKey *key) {
    // The policies key is one for both registry views: the 32-bit library reads the same values.
    return PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY,
                          PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_64KEY, key) == 0;
}

void ReadPolicy(PlatKey key, Setting setting, PolicyRead *out) {
    std::memset(out, 0, sizeof *out);
    const SettingRow &row = SettingRowOf(setting);
    if (!row.governed || PlatRegQueryValue(key, row.name, &out->type, nullptr, &out->size) != 0)
        return;
    out->present = true;
    // The stored bytes, for the value and for the message that names a refused one.
    std::uint8_t bytes[kRegStringCapacity] = {0};
    std::uint32_t length = sizeof bytes;
    const bool read = ReadRegStringIn(key, row.name, bytes, &length) == 0;
    if (out->type == PLAT_REG_SZ || out->type == PLAT_REG_EXPAND_SZ) {
        std::memcpy(out->shown, bytes, length < kRefusedTextSize ? length : kRefusedTextSize - 1);
    }
    // A number is read as its four bytes (the text read above drops a trailing zero byte).
    const bool number = out->type == PLAT_REG_DWORD && out->size == 4 &&
                        ReadRegDwordIn(key, row.name, &out->number) == 0;
    const std::uint32_t wantedType = IsTextKind(row.kind) ? PLAT_REG_SZ : PLAT_REG_DWORD;
    if (out->type != wantedType) {
        out->problem = kProblemType;
        return;
    }
    if (!IsTextKind(row.kind)) {
        if (!number) {
            out->problem = kProblemTooLong;
        } else if (!SettingAccepts(row, out->number) ||
                   (row.kind == kKindGroup && (out->number & ~row.bits) != 0)) {
            out->problem = kProblemValue;
        }
        return;
    }
    if (!read || length >= kPolicyTextSize) {
        out->problem = kProblemTooLong;
        return;
    }
    if (std::memchr(bytes, 0, length) != nullptr) {  // a zero inside: not one text
        out->problem = kProblemValue;
        return;
    }
    const char *value = reinterpret_cast<const char *>(bytes);
    if (row.kind == kKindIdm) {
        if (std::strcmp(value, "IDM") == 0) {
            out->number = 1;
        } else if (std::strcmp(value, "NONE") != 0) {
            out->problem = kProblemValue;
        }
        return;
    }
    if (row.kind == kKindCodes && !StrictCodes(value)) {
        out->problem = kProblemValue;
        return;
    }
    std::memcpy(out->text, bytes, length);
}
