// Revoked cards: IDms that identify nobody on this machine, from the policy list
// (HKLM\SOFTWARE\Policies\KORVA\ZUKLib\RevokedCards, set by Group Policy) and the machine list
// (RevokedCards under the library's own key, set by zukcli revoke).  Each value of either key holds
// IDms as its data (the value names do not matter): a REG_SZ or REG_EXPAND_SZ value one, a
// REG_MULTI_SZ value one per string.  A malformed value (another type, or a text that is not an
// IDm) is counted (zukcli status names it and fails); the IDms of the value that are well formed
// still count.
//
// The lists are held whole or not at all.  They are read at the first check and again whenever
// either key has changed since (its last write time), so a revocation that arrives while a host
// keeps the library loaded counts from the next card operation.  A key that is there but cannot be
// read keeps the lists read whole before.  When they have never been read whole, or name more
// distinct cards than kMaxRevokedCards, or hold a value longer than kMaxRevocationValue bytes that
// is not one text (a REG_MULTI_SZ value), no list is in force: every card is refused, with a
// status that says why, until a reading succeeds.
#ifndef ZUK_SETTINGS_REVOCATION_H
#define ZUK_SETTINGS_REVOCATION_H

#include <cstddef>
#include <cstdint>

#include "settings/config.h"
#include "settings/settings_state.h"

#define ZUK_REVOKED_POLICY_KEY ZUK_POLICY_KEY "\\RevokedCards"
#define ZUK_REVOKED_MACHINE_KEY ZUK_SETTINGS_KEY "\\RevokedCards"


// The card's standing on this machine: accepted (on no list), revoked, or refused because no list
// is in force (every card is refused then).  Reads the lists again first when they have changed.
// (CardStanding: settings_state.h)
CardStanding CardRevocationStanding(const std::uint8_t idm[8]);
// Whether the card is refused: its standing is not kCardAccepted.
bool CardIsRevoked(const std::uint8_t idm[8]);

// Reads both lists now.
void LoadRevocationLists();

// For zukcli: the distinct IDms the lists name (kMaxRevokedCards + 1 when there are more than can
// be held), the IDms read (duplicates included), the malformed values, and kCardAccepted when a
// list is in force, or what keeps every card out.
int RevokedCardCount();
int RevocationEntriesRead();
int MalformedRevocationEntries();
CardStanding RevocationListState();

// The IDm of a text: 16 hexadecimal digits (either case), or 8 pairs of them with one space, colon
// or hyphen between every two pairs ("01 2E 4C 1F 93 0A 55 07", as zukcard prints it); surrounding
// spaces and terminating zero bytes are ignored.
enum IdmTextFault {
    kIdmTextOk,
    kIdmTextEmpty,
    kIdmTextNotHex,      // a character that is neither a hexadecimal digit nor a separator
    kIdmTextDigitCount,  // not 16 digits
    kIdmTextSeparators,  // separators not between every two pairs of digits
};
IdmTextFault ParseIdmText(const char *text, std::size_t length, std::uint64_t *idm);
// One line saying what is wrong with a text, for a refusal.
const char *IdmTextFaultText(IdmTextFault fault);
bool ParseRevokedIdm(const char *text, std::size_t length, std::uint64_t *idm);

// The IDms of one value's data: take(idm, context) for each; returns the value's malformed count
// (0 or 1: 1 when the type is not a string type, the value holds no IDm, or a text of it is not an
// IDm).
int ParseRevocationValue(std::uint32_t type, const std::uint8_t *data, std::uint32_t size,
                         void (*take)(std::uint64_t idm, void *context), void *context);

// Forgets the lists, as at load.
void RevocationReset();

#endif
