// The one card session of the process: opening it (port selection, reader link, reader key
// table) and closing it, and the registry look-up that finds the reader's COM port.
#ifndef ZUK_CARD_SESSION_H
#define ZUK_CARD_SESSION_H

#include <cstdint>

#include "card/card_status.h"
#include "link/link.h"

// API result codes.
std::int32_t CardOpenSession(const char *deviceName, const char *portName);
std::int32_t CardCloseSession();
int CardSessionIsOpen();

// Checks the device name, selects the port (the given path, or the driver's port from the
// registry) and opens the reader link.  Card command codes.
CardStatus ConnectReader(const char *deviceName, const char *portName);
// Reads a value below HKEY_LOCAL_MACHINE (at most 512 bytes, one trailing zero dropped):
// CARD_OK, or the registry's error code with *length 0.
std::uint32_t QueryMachineValue(const char *keyPath, const char *valueName, std::uint8_t *buffer,
                                std::uint32_t *length);
// The port path from a driver's FriendlyName: CARD_OK with the path in `path` (capacity
// `capacity`), or CARD_ERR_NO_READER.
CardStatus PortPathFromFriendlyName(const char *friendlyName, char *path, std::uint32_t capacity);

// The reader's port path (\\.\COMn) from the USB-serial driver's registry entries: CARD_OK, or
// CARD_ERR_NO_READER when no driver entry names a port.  Also used by zukcli status.
CardStatus FindDriverPort(char *path, std::uint32_t capacity);

LinkStatus ReaderLinkOpen(const char *portPath);
LinkStatus ReaderLinkClose();

// Sends the reader's key table (API result code).
std::int32_t LoadReaderKeys();

// Whether the link verifies each answer's outer checksum and, for secured answers, the inner
// checksum and padding (a mismatch is a malformed answer).  Off by default.
void CardSetStrictLink(bool on);

#endif
