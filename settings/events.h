// The library's events in the system's event log (Application log, source ZUKcntrl): one row per
// event with its id in the message table (resources/events.mc, compiled into the library), its
// type and how many strings its text takes.  The texts name values, faults, ports and card IDms,
// never a key, a password or a PIN.  [Log] EventLog (a row of the settings table, governed by
// policy) switches them off; writing one never fails or ends a call.
#ifndef ZUK_SETTINGS_EVENTS_H
#define ZUK_SETTINGS_EVENTS_H

#include <cstdint>

#include "platform/eventlog.h"

// E(enumerator, id, type, strings, symbolic name in events.mc)
#define ZUK_EVENTS(E)                                                                              \
    E(kEventLoadRefused, 100, PLAT_EVENT_ERROR, 1, "ZUK_EVENT_LOAD_REFUSED")                       \
    E(kEventPolicyRefused, 101, PLAT_EVENT_ERROR, 1, "ZUK_EVENT_POLICY_REFUSED")                   \
    E(kEventSiteKeysUnusable, 102, PLAT_EVENT_ERROR, 2, "ZUK_EVENT_SITE_KEYS_UNUSABLE")            \
    E(kEventReaderRefusedKeys, 103, PLAT_EVENT_ERROR, 2, "ZUK_EVENT_READER_REFUSED_KEYS")          \
    E(kEventRevocationNotWhole, 104, PLAT_EVENT_ERROR, 1, "ZUK_EVENT_REVOCATION_NOT_WHOLE")        \
    E(kEventRevokedCard, 200, PLAT_EVENT_WARNING, 1, "ZUK_EVENT_REVOKED_CARD")                     \
    E(kEventCardLocked, 201, PLAT_EVENT_WARNING, 2, "ZUK_EVENT_CARD_LOCKED")

#define ZUK_EVENT_ENUM(name, ...) name,
enum LibraryEvent { ZUK_EVENTS(ZUK_EVENT_ENUM) kEventCount };
#undef ZUK_EVENT_ENUM

struct EventRow {
    std::uint32_t id;
    std::uint16_t type;  // PLAT_EVENT_*
    int strings;         // %1 .. %n of its text
    const char *symbol;  // its SymbolicName in events.mc
};
const EventRow &EventRowOf(LibraryEvent event);

// Writes the event with its strings (as many as its row takes; null reads as empty) when the
// EventLog setting is on.
void WriteEvent(LibraryEvent event, const char *first = nullptr, const char *second = nullptr);

// The same whatever the setting says: for a load refused before the settings could be read (no
// installation folder), when nothing can say that events are off and the default (on) holds.
void WriteEventUnread(LibraryEvent event, const char *first = nullptr,
                      const char *second = nullptr);

// A card's IDm as 16 hexadecimal digits (out: at least 17 bytes).
void EventIdmText(const std::uint8_t idm[8], char *out);

#endif
