// The one card session of the process: opening it (port selection, reader link, reader key
// table) and closing it, and the registry look-up that finds the reader's COM port.  The session
// drives the link's open and close sequences: the reader frame layer and the secure channel
// below it only offer the steps.
#ifndef ZUK_CARD_SESSION_H
#define ZUK_CARD_SESSION_H

#include <cstdint>

#include "card/card_status.h"
#include "link/link.h"
#include "settings/site_keys.h"

// Session statuses (SESSION_OK on success), or the failing step's status.
CardStatus CardOpenSession(const char *deviceName, const char *portName);
CardStatus CardCloseSession();
int CardSessionIsOpen();

// The port path from a driver's FriendlyName: CARD_OK with the path in `path` (capacity
// `capacity`), or CARD_ERR_NO_READER.
CardStatus PortPathFromFriendlyName(const char *friendlyName, char *path, std::uint32_t capacity);

// The reader's port path (\\.\COMn) from the USB-serial driver's registry entries: CARD_OK, or
// CARD_ERR_NO_READER when no driver entry names a port.  Also used by zukcli status.
CardStatus FindDriverPort(char *path, std::uint32_t capacity);

// Opening the link on a device path up to the secure channel: open the port, negotiate the speed,
// initialise the reader; no secure channel yet.  A failure closes the port again and is returned
// qualified with LINK_PHASE_OPEN.
LinkStatus SessionOpenReader(const char *devicePath);
// The whole opening of the reader link on a device path: open the port, negotiate the speed,
// initialise the reader, establish the secure channel.  A failure undoes the opening and is
// returned qualified with LINK_PHASE_OPEN.
LinkStatus SessionOpenLink(const char *devicePath);
// Deactivate, back to 9600 bit/s, close the port; a failure is qualified with LINK_PHASE_CLOSE.
LinkStatus SessionCloseLink();

// The keys every later session uses: a site's channel key sets and reader keys (its issuing table
// is never used).
void CardUseSiteKeys(const SiteKeys &keys);
// No keys at all: every later open fails with `why` (a SESSION_ERR_KEYS_* status) and no session
// runs on the built-in keys instead.  The reset at unload brings back the built-in keys.
void CardRefuseSessions(CardStatus why);

// Whether the link verifies each answer's outer checksum and, for secured answers, the inner
// checksum and padding (a mismatch is a malformed answer).  Off by default.
void CardSetStrictLink(bool on);

#endif
