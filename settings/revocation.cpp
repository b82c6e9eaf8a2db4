// The revocation lists: read into one sorted array of IDms, looked up by binary search.
#include "settings/revocation.h"

#include <algorithm>
#include <cstring>

#include "platform/registry.h"
#include "settings/hex.h"

namespace {

struct RevocationList {
    std::uint64_t ids[kMaxRevokedCards];  // sorted, distinct
    int count;
    int malformed;
    // The last write stamps of the two keys when they were read (0: the key was not there).
    std::uint64_t policyStamp;
    std::uint64_t machineStamp;
};

// The list in force and the one a reading fills: a reading that fails part-way (a key that is
// there but cannot be read) never replaces a list that was read whole.
RevocationList g_lists[2];
int g_current = 0;
bool g_loaded = false;

const std::uint32_t kPolicyAccess = PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_64KEY;

std::uint64_t IdmNumber(const std::uint8_t idm[8]) {
    std::uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n = (n << 8) | idm[i];
    return n;
}

// Whether a key's last write stamp differs from `known` (0: not there).  A key that cannot be
// asked counts as unchanged, so a passing failure keeps the list in force.
bool Changed(const char *path, std::uint32_t access, std::uint64_t known) {
    PlatKey key = 0;
    const long error = PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, path, access, &key);
    if (error == PLAT_ERROR_FILE_NOT_FOUND) return known != 0;
    if (error != 0) return false;
    std::uint64_t stamp = 0;
    const bool asked = PlatRegLastWrite(key, &stamp) == 0;
    PlatRegCloseKey(key);
    return asked && (stamp == 0 ? 1 : stamp) != known;
}

// Adds the entries of one key to the list: false when the key is there but could not be read
// whole.  *stamp: the key's last write stamp, 0 when it is not there.
bool ReadList(RevocationList *list, const char *path, std::uint32_t access, std::uint64_t *stamp) {
    *stamp = 0;
    PlatKey key = 0;
    const long opened = PlatRegOpenKey(PLAT_HKEY_LOCAL_MACHINE, path, access, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND) return true;
    if (opened != 0) return false;
    bool whole = PlatRegLastWrite(key, stamp) == 0;
    if (*stamp == 0) *stamp = 1;  // a key that is there differs from none
    for (std::uint32_t index = 0; whole; ++index) {
        char name[256];
        std::uint32_t nameLength = sizeof name;
        std::uint32_t type = 0;
        std::uint8_t data[64] = {0};
        std::uint32_t size = sizeof data;
        const long error = PlatRegEnumValue(key, index, name, &nameLength, &type, data, &size);
        if (error == PLAT_ERROR_NO_MORE_ITEMS) break;
        if (error != 0 && error != PLAT_ERROR_MORE_DATA) {
            whole = false;
            break;
        }
        std::uint64_t idm = 0;
        if (error != 0 || type != PLAT_REG_SZ ||
            !ParseRevokedIdm(reinterpret_cast<const char *>(data), size, &idm)) {
            ++list->malformed;  // too long, not text, or not 16 hexadecimal digits
            continue;
        }
        if (list->count < kMaxRevokedCards) list->ids[list->count++] = idm;
    }
    PlatRegCloseKey(key);
    return whole;
}

}  // namespace

bool ParseRevokedIdm(const char *text, std::size_t length, std::uint64_t *idm) {
    while (length > 0 && (text[length - 1] == '\0' || text[length - 1] == ' ')) --length;
    std::size_t start = 0;
    while (start < length && text[start] == ' ') ++start;
    if (length - start != 16) return false;
    std::uint64_t n = 0;
    for (std::size_t i = start; i < length; ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) return false;
        n = (n << 4) | static_cast<std::uint64_t>(digit);
    }
    *idm = n;
    return true;
}

void RevocationReset() {
    g_loaded = false;
    g_current = 0;
    for (RevocationList &list : g_lists) {
        list.count = 0;
        list.malformed = 0;
        list.policyStamp = 0;
        list.machineStamp = 0;
    }
}

void LoadRevocationLists() {
    RevocationList &next = g_lists[1 - g_current];
    next.count = 0;
    next.malformed = 0;
    const bool whole = ReadList(&next, ZUK_REVOKED_POLICY_KEY, kPolicyAccess, &next.policyStamp) &&
                       ReadList(&next, ZUK_REVOKED_MACHINE_KEY, PLAT_KEY_QUERY_VALUE, &next.machineStamp);
    if (!whole && g_loaded) return;  // keep the list in force; the next check reads again
    std::sort(next.ids, next.ids + next.count);
    next.count = static_cast<int>(std::unique(next.ids, next.ids + next.count) - next.ids);
    if (!whole) next.policyStamp = next.machineStamp = ~0ull;  // read again at the next check
    g_current = 1 - g_current;
    g_loaded = true;
}

bool CardIsRevoked(const std::uint8_t idm[8]) {
    const RevocationList *list = &g_lists[g_current];
    if (!g_loaded || Changed(ZUK_REVOKED_POLICY_KEY, kPolicyAccess, list->policyStamp) ||
        Changed(ZUK_REVOKED_MACHINE_KEY, PLAT_KEY_QUERY_VALUE, list->machineStamp)) {
        LoadRevocationLists();
        list = &g_lists[g_current];
    }
    return std::binary_search(list->ids, list->ids + list->count, IdmNumber(idm));
}

int RevokedCardCount() { return g_loaded ? g_lists[g_current].count : 0; }
int MalformedRevocationEntries() { return g_loaded ? g_lists[g_current].malformed : 0; }
