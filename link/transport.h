// Serial transport to the card reader: the one serial port of the process, its line format, and
// whole-request writes and whole-frame reads.  Knows nothing of commands or encryption.
#ifndef ZUK_LINK_TRANSPORT_H
#define ZUK_LINK_TRANSPORT_H

#include <cstdint>

#include "link/link.h"

// Bounds that keep a silent reader or a closed line from holding the caller: the port's read
// and write time-outs, set at open, and the number of writes in a row that may move nothing.
constexpr std::uint32_t SERIAL_READ_TIMEOUT_MS = 3000;  // per read, plus per byte below
constexpr std::uint32_t SERIAL_READ_MS_PER_BYTE = 2;
constexpr std::uint32_t SERIAL_WRITE_TIMEOUT_MS = 2000;
constexpr std::uint32_t SERIAL_WRITE_MS_PER_BYTE = 2;
constexpr int SERIAL_WRITE_STALL_LIMIT = 3;
// Further reads after the first while a frame is incomplete, and the pause after each.
constexpr int SERIAL_FRAME_READ_ATTEMPTS = 5;
constexpr std::uint32_t SERIAL_FRAME_READ_PAUSE_MS = 50;
// An answer whose rest did not come within one whole read time-out has stopped on the line: the
// remaining attempts wait this long each (the port's time-outs are put back before returning).
// A cut answer so costs at most one read time-out and four short attempts with their pauses.
constexpr std::uint32_t SERIAL_STALLED_READ_TIMEOUT_MS = 100;

// Opens the device by path, purges it, sets 8 data bits with even parity checked, and the
// bounded time-outs above.
LinkStatus SerialOpen(const char *devicePath);
LinkStatus SerialClose();
LinkStatus SerialPurge();
LinkStatus SerialSetLineFormat();
LinkStatus SerialGetBaudRate(std::uint32_t *rate);
LinkStatus SerialSetBaudRate(std::uint32_t rate);
// Sends every byte of the request.
LinkStatus SerialWrite(const std::uint8_t *buffer, std::int32_t length);
// Reads one frame; *length is the capacity on entry and the frame's size on success (0 else).
LinkStatus SerialReadFrame(std::uint8_t *buffer, std::uint32_t *length);
// Whether a port is open.
bool SerialIsOpen();

#endif
