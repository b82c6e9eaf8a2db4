// Reading the policy key: every value of the policy table, once per load.
#include "settings/policy.h"

#include <cstring>

#include "settings/registry.h"

namespace {

#define ZUK_POLICY_NAME(name, replaces, accepted) #name,
const char *const kNames[] = {ZUK_POLICY_VALUES(ZUK_POLICY_NAME)};
#undef ZUK_POLICY_NAME

}  // namespace

const char *PolicyValueName(PolicyValue value) { return kNames[value]; }

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

void ReadPolicyValues(PolicyValues *out) {
    std::memset(out, 0, sizeof *out);
    PlatKey key = 0;
    // The policies key is one for both registry views: the 32-bit library reads the same values.
    if (PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY,
                       PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_64KEY, &key) != 0) {
        return;
    }
    for (int v = 0; v < kPolicyCount; ++v) {
        const char *name = kNames[v];
        std::uint32_t type = 0, size = 0;
        if (PlatRegQueryValue(key, name, &type, nullptr, &size) != 0) continue;
        out->present[v] = true;
        if (v == kPolicyFeliCa) {
            std::uint8_t text[16] = {0};
            std::uint32_t length = sizeof text;
            if (ReadRegStringIn(key, name, text, &length) != 0 || length >= sizeof text) {
                out->unreadable[v] = true;
            } else {
                out->value[v] = std::strcmp(reinterpret_cast<const char *>(text), "IDM") == 0 ? 1 : 0;
            }
        } else if (ReadRegDwordIn(key, name, &out->value[v]) != 0) {
            out->unreadable[v] = true;
        }
    }
    PlatRegCloseKey(key);
}
