// The settings table's rows as data, and the checks every store shares.
#include "settings/setting_table.h"

#include <cstdlib>
#include <cstring>

namespace {

#define ZUK_SETTING_ROW(name, field, machine, section, key, env, governed, kind, bits, def,        \
                        accepted, refusal, meaning)                                                \
    {#name, machine, section, key, env, governed, kind, bits, def, accepted, refusal, meaning},
const SettingRow kRows[] = {ZUK_SETTINGS(ZUK_SETTING_ROW)};
#undef ZUK_SETTING_ROW

static_assert(sizeof kRows / sizeof kRows[0] == kSettingCount, "one row per setting");

// One whole decimal number of at most ten digits at text (up to end); false otherwise.
bool ParseWhole(const char *text, const char *end, std::uint64_t *value) {
    if (text == end || end - text > 10) return false;
    *value = 0;
    for (const char *p = text; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        *value = *value * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return true;
}

}  // namespace

const SettingRow &SettingRowOf(Setting setting) { return kRows[setting]; }

const char *SettingProblemText(SettingProblem problem) {
    switch (problem) {
    case kProblemNone: return "usable";
    case kProblemMissing: return "missing";
    case kProblemType: return "of the wrong type";
    case kProblemTooLong: return "too long";
    case kProblemValue: return "not an accepted value";
    }
    return "unusable";
}

bool SettingAccepts(const SettingRow &row, std::uint32_t value) {
    const char *p = row.accepted;
    if (std::strcmp(p, "*") == 0) return true;
    const char *range = std::strstr(p, "..");
    std::uint64_t low = 0, high = 0;
    if (range) {
        return ParseWhole(p, range, &low) && ParseWhole(range + 2, p + std::strlen(p), &high) &&
               value >= low && value <= high;
    }
    while (*p != '\0') {
        const char *end = std::strchr(p, ' ');
        if (!end) end = p + std::strlen(p);
        std::uint64_t one = 0;
        if (ParseWhole(p, end, &one) && one == value) return true;
        p = *end ? end + 1 : end;
    }
    return false;
}
