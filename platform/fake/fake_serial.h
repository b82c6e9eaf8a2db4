// Controls of the in-memory serial port of the native build.  The port's other end is a device
// given by the test as a plain table of functions (normally the simulated reader).  Tests choose
// how reads are cut into pieces and look at the line state and time-outs the library set; the
// serial calls fail through the fault table of fake_platform.h.
#ifndef ZUK_PLATFORM_FAKE_SERIAL_H
#define ZUK_PLATFORM_FAKE_SERIAL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial.h"

// The device at the other end of the line.  Every member may be null.
struct FakeSerialDevice {
    void *context;
    // Bytes the host wrote, with the host's line speed at the time.  False: the line is closed
    // (the write fails and moves nothing).
    bool (*receive)(void *context, const std::uint8_t *data, std::size_t length,
                    std::uint32_t hostBaud);
    // Up to `capacity` bytes the device sends now; returns their count (0: nothing there).
    std::size_t (*transmit)(void *context, std::uint8_t *out, std::size_t capacity);
    // The host purged the line: the device's pending output and partial input are discarded.
    void (*purge)(void *context);
};


// Forgets the device, counters, faults and chunking; the port is closed, at 38400 bit/s, 8 data
// bits, no parity, zero time-outs.
void FakeSerialReset();
// Wires the device to the port that opens under `path` (empty: any path).  The table is copied.
void FakeSerialConnect(const std::string &path, const FakeSerialDevice &device);
// Each read returns at most the next size of this list (the last one repeats); empty: no limit.
void FakeSerialSetReadChunks(const std::vector<std::size_t> &sizes);
// Each write moves at most this many bytes (0: a write that succeeds and moves nothing);
// a negative value removes the limit.
void FakeSerialSetWriteLimit(long maxBytes);
// Whether a port is open, and the path it was opened with.
bool FakeSerialIsOpen();
std::string FakeSerialOpenedPath();
// The line state and time-outs as the host last set them.
PlatSerialLineState FakeSerialLineState();
PlatSerialTimeouts FakeSerialTimeouts();
// Sets the line speed the port reports before the host changes it.
void FakeSerialSetInitialBaud(std::uint32_t baud);
// The time reads would have waited on a real port: every read that returned fewer bytes than
// asked counts its whole read time-out, as the port's time-outs stood then.
std::uint64_t FakeSerialWaitedMilliseconds();

#endif
