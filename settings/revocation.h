// Revoked cards: IDms (16 hexadecimal digits) that identify nobody on this machine, from the
// policy list (HKLM\SOFTWARE\Policies\KORVA\ZUKLib\RevokedCards, set by Group Policy) and the
// machine list (RevokedCards under the library's own key, set by zukcli revoke).  Each REG_SZ value
// of either key holds one IDm as its data; the value names do not matter.  A malformed entry is
// ignored (zukcli status reports it), never a reason to accept a card or to refuse the load.
//
// The lists are read at the first check and again whenever either key has changed since (its last
// write time), so a revocation that arrives while a host keeps the library loaded counts from the
// next card operation.  A key that is there but cannot be read keeps the list read before.
#ifndef ZUK_SETTINGS_REVOCATION_H
#define ZUK_SETTINGS_REVOCATION_H

#include <cstddef>
#include <cstdint>

#include "settings/config.h"

#define ZUK_REVOKED_POLICY_KEY ZUK_POLICY_KEY "\\RevokedCards"
#define ZUK_REVOKED_MACHINE_KEY ZUK_SETTINGS_KEY "\\RevokedCards"

constexpr int kMaxRevokedCards = 32768;

// Whether the card with this IDm (8 bytes) is revoked.  Reads the lists again first when they
// have changed.
bool CardIsRevoked(const std::uint8_t idm[8]);

// Reads both lists now.
void LoadRevocationLists();

// Counts for zukcli: the distinct revoked IDms in force, and the malformed entries ignored.
int RevokedCardCount();
int MalformedRevocationEntries();

// The IDm of an entry: exactly 16 hexadecimal digits (either case), surrounding spaces ignored.
bool ParseRevokedIdm(const char *text, std::size_t length, std::uint64_t *idm);

// Forgets the lists, as at load.
void RevocationReset();

#endif
