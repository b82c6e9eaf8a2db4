// The revocation lists: read into one sorted array of distinct IDms, looked up by binary search.
// Both lists go into the one array, so an IDm on both (or twice on one) takes one slot.
#include "settings/revocation.h"

#include <algorithm>
#include <cstring>

#include "platform/registry.h"
#include "settings/hex.h"
#include "settings/settings_state.h"

namespace {

// The lists live in the settings layer's record (settings_state.h).
RevocationList (&g_lists)[2] = g_settingsState.revocation.lists;
int &g_current = g_settingsState.revocation.current;
CardStanding &g_status = g_settingsState.revocation.status;
bool &g_loaded = g_settingsState.revocation.loaded;
std::uint8_t (&g_value)[kMaxRevocationValue] = g_settingsState.revocation.value;

const std::uint32_t kPolicyAccess = PLAT_KEY_QUERY_VALUE | PLAT_KEY_WOW64_64KEY;

std::uint64_t IdmNumber(const std::uint8_t idm[8]) {
    std::uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n = (n << 8) | idm[i];
    return n;
}

// Sorts the unsorted part into the sorted one and drops the duplicates.
void Compact(RevocationList *list) {
    std::sort(list->ids, list->ids + list->count);
    list->count = static_cast<int>(std::unique(list->ids, list->ids + list->count) - list->ids);
    list->sorted = list->count;
}

// Adds one IDm.  An IDm already in the sorted part takes no slot; a full array is compacted
// before the list counts as too long, so duplicates never use up the room of distinct cards.
void Add(std::uint64_t idm, void *context) {
    RevocationList *list = static_cast<RevocationList *>(context);
    ++list->entries;
    if (list->tooLong || std::binary_search(list->ids, list->ids + list->sorted, idm)) return;
    if (list->count == kMaxRevokedCards) {
        Compact(list);
        if (std::binary_search(list->ids, list->ids + list->sorted, idm)) return;
        if (list->count == kMaxRevokedCards) {
            list->tooLong = true;
            return;
        }
    }
    list->ids[list->count++] = idm;
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

bool IsText(std::uint32_t type) { return type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ; }

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
        std::uint32_t size = sizeof g_value;
        const long error = PlatRegEnumValue(key, index, name, &nameLength, &type, g_value, &size);
        if (error == PLAT_ERROR_NO_MORE_ITEMS) break;
        if (error == PLAT_ERROR_MORE_DATA && IsText(type)) {
            ++list->malformed;  // a text that long is no IDm
            continue;
        }
        if (error == PLAT_ERROR_MORE_DATA) {
            // A REG_MULTI_SZ value (or one whose type was not told) too long to read: its IDms
            // cannot be known, so the list cannot be held whole.
            list->tooLong = true;
            continue;
        }
        if (error != 0) {
            whole = false;
            break;
        }
        list->malformed += ParseRevocationValue(type, g_value, size, Add, list);
    }
    PlatRegCloseKey(key);
    return whole;
}

}  // namespace

IdmTextFault ParseIdmText(const char *text, std::size_t length, std::uint64_t *idm) {
    while (length > 0 && (text[length - 1] == '\0' || text[length - 1] == ' ')) --length;
    std::size_t start = 0;
    while (start < length && text[start] == ' ') ++start;
    if (start == length) return kIdmTextEmpty;
    std::uint64_t n = 0;
    int digits = 0;
    int separators = 0;
    bool misplaced = false;
    for (std::size_t i = start; i < length; ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':' || c == '-') {
            // Only between two pairs of digits, one at a time.
            if (digits == 0 || digits % 2 != 0 || HexDigitValue(text[i - 1]) < 0) misplaced = true;
            ++separators;
            continue;
        }
        const int digit = HexDigitValue(c);
        if (digit < 0) return kIdmTextNotHex;
        n = (n << 4) | static_cast<std::uint64_t>(digit);
        ++digits;
    }
    if (digits != 16) return kIdmTextDigitCount;
    if (misplaced || (separators != 0 && separators != 7)) return kIdmTextSeparators;
    *idm = n;
    return kIdmTextOk;
}

const char *IdmTextFaultText(IdmTextFault fault) {
    switch (fault) {
    case kIdmTextOk: return "an IDm";
    case kIdmTextEmpty: return "empty: an IDm is 16 hexadecimal digits";
    case kIdmTextNotHex:
        return "a character that is no hexadecimal digit: an IDm is 16 hexadecimal digits "
               "(012E4C1F930A5507 or 01 2E 4C 1F 93 0A 55 07)";
    case kIdmTextDigitCount:
        return "not 16 hexadecimal digits: an IDm is 8 bytes (012E4C1F930A5507 or 01 2E 4C 1F 93 "
               "0A 55 07)";
    case kIdmTextSeparators:
        return "spaces, colons or hyphens go between every two digits of the 8 bytes or nowhere "
               "(01 2E 4C 1F 93 0A 55 07)";
    }
    return "not an IDm";
}

bool ParseRevokedIdm(const char *text, std::size_t length, std::uint64_t *idm) {
    return ParseIdmText(text, length, idm) == kIdmTextOk;
}

int ParseRevocationValue(std::uint32_t type, const std::uint8_t *data, std::uint32_t size,
                         void (*take)(std::uint64_t idm, void *context), void *context) {
    const char *text = reinterpret_cast<const char *>(data);
    std::uint64_t idm = 0;
    if (IsText(type)) {
        // One IDm; REG_EXPAND_SZ is read as it stands (an IDm has nothing to expand).
        const void *end = std::memchr(text, '\0', size);
        const std::size_t length =
            end ? static_cast<std::size_t>(static_cast<const char *>(end) - text) : size;
        if (!ParseRevokedIdm(text, length, &idm)) return 1;
        take(idm, context);
        return 0;
    }
    if (type != PLAT_REG_MULTI_SZ) return 1;
    // Every non-empty string counts, also one after an empty string, so that no IDm written into
    // the value is ever passed over.
    int taken = 0;
    bool malformed = false;
    for (std::uint32_t start = 0; start < size;) {
        std::uint32_t end = start;
        while (end < size && text[end] != '\0') ++end;
        if (end > start) {
            if (ParseRevokedIdm(text + start, end - start, &idm)) {
                take(idm, context);
                ++taken;
            } else {
                malformed = true;
            }
        }
        start = end + 1;
    }
    return malformed || taken == 0 ? 1 : 0;
}

void RevocationReset() {
    g_loaded = false;
    g_current = 0;
    g_status = kCardAccepted;
    for (RevocationList &list : g_lists) {
        list.count = 0;
        list.sorted = 0;
        list.entries = 0;
        list.malformed = 0;
        list.tooLong = false;
        list.policyStamp = 0;
        list.machineStamp = 0;
    }
}

void LoadRevocationLists() {
    RevocationList &next = g_lists[1 - g_current];
    next.count = 0;
    next.sorted = 0;
    next.entries = 0;
    next.malformed = 0;
    next.tooLong = false;
    const bool whole =
        ReadList(&next, ZUK_REVOKED_POLICY_KEY, kPolicyAccess, &next.policyStamp) &&
        ReadList(&next, ZUK_REVOKED_MACHINE_KEY, PLAT_KEY_QUERY_VALUE, &next.machineStamp);
    if (!whole && g_loaded && g_status == kCardAccepted) return;  // keep the list in force
    Compact(&next);
    CardStanding status = kCardAccepted;
    if (!whole) {
        status = kRevocationUnreadable;
        next.policyStamp = next.machineStamp = ~0ull;
    } else if (next.tooLong) {
        status = kRevocationTooLong;
    }
    g_current = 1 - g_current;
    g_loaded = true;
    g_status = status;
}

CardStanding CardRevocationStanding(const std::uint8_t idm[8]) {
    const RevocationList *list = &g_lists[g_current];
    if (!g_loaded || g_status == kRevocationUnreadable ||
        Changed(ZUK_REVOKED_POLICY_KEY, kPolicyAccess, list->policyStamp) ||
        Changed(ZUK_REVOKED_MACHINE_KEY, PLAT_KEY_QUERY_VALUE, list->machineStamp)) {
        LoadRevocationLists();
        list = &g_lists[g_current];
    }
    if (g_status != kCardAccepted) return g_status;
    return std::binary_search(list->ids, list->ids + list->count, IdmNumber(idm)) ? kCardRevoked
                                                                                  : kCardAccepted;
}

bool CardIsRevoked(const std::uint8_t idm[8]) {
    return CardRevocationStanding(idm) != kCardAccepted;
}

int RevokedCardCount() {
    if (!g_loaded) return 0;
    const RevocationList &list = g_lists[g_current];
    return list.tooLong ? kMaxRevokedCards + 1 : list.count;
}
int MalformedRevocationEntries() { return g_loaded ? g_lists[g_current].malformed : 0; }
int RevocationEntriesRead() { return g_loaded ? g_lists[g_current].entries : 0; }
CardStanding RevocationListState() { return g_loaded ? g_status : kCardAccepted; }
