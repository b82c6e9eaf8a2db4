// Serial transport: one process-wide port handle over the platform's serial seam.  The rules of
// the line live here: the line format, the bounded time-outs, the write loop, and the frame read
// of one 4-byte header read plus at most five further reads with 50 ms pauses.
#include "link/transport.h"

#include <cstring>

#include "link/link_state.h"
#include "platform/serial.h"
#include "platform/system.h"

namespace {

// Closes a port whose preparation failed, back to the no-port state.
void Abandon() {
    PlatSerialClose(g_link.port);
    g_link.port = PLAT_SERIAL_NONE;
}

// The port's time-outs: the normal ones set at open, or the short ones for the rest of an answer
// that has stopped on the line.
bool SetReadTimeouts(bool stalled) {
    PlatSerialTimeouts timeouts;
    timeouts.readIntervalMs = 0;
    timeouts.readTotalMultiplierMs = stalled ? 0 : SERIAL_READ_MS_PER_BYTE;
    timeouts.readTotalConstantMs =
        stalled ? SERIAL_STALLED_READ_TIMEOUT_MS : SERIAL_READ_TIMEOUT_MS;
    timeouts.writeTotalMultiplierMs = SERIAL_WRITE_MS_PER_BYTE;
    timeouts.writeTotalConstantMs = SERIAL_WRITE_TIMEOUT_MS;
    return PlatSerialSetTimeouts(g_link.port, &timeouts);
}

LinkStatus ReadLineState(PlatSerialLineState *state) {
    std::memset(state, 0, sizeof *state);
    return PlatSerialGetState(g_link.port, state) ? LINK_OK : LINK_ERR_GET_STATE;
}

}  // namespace

bool SerialIsOpen() { return g_link.port != PLAT_SERIAL_NONE; }

LinkStatus SerialOpen(const char *devicePath) {
    if (g_link.port != PLAT_SERIAL_NONE) return LINK_ERR_ALREADY_OPEN;
    if (devicePath == nullptr) return LINK_ERR_ARGUMENT;
    PlatSerial port = PlatSerialOpen(devicePath);
    if (port == PLAT_SERIAL_NONE) return LINK_ERR_OPEN;
    g_link.port = port;
    if (!PlatSerialPurge(g_link.port)) {
        Abandon();
        return LINK_ERR_PURGE;
    }
    const LinkStatus format = SerialSetLineFormat();
    if (format != LINK_OK) {
        Abandon();
        return format;
    }
    // The driver's own time-outs may be zero, which makes a read wait for ever for bytes a
    // silent reader never sends.  Bounded time-outs turn that into a short read.
    if (!SetReadTimeouts(false)) {
        Abandon();
        return LINK_ERR_SET_STATE;
    }
    return LINK_OK;
}

LinkStatus SerialClose() {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_OK;
    if (!PlatSerialClose(g_link.port)) return LINK_ERR_CLOSE;
    g_link.port = PLAT_SERIAL_NONE;
    return LINK_OK;
}

LinkStatus SerialPurge() {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_ERR_NOT_OPEN;
    return PlatSerialPurge(g_link.port) ? LINK_OK : LINK_ERR_PURGE;
}

LinkStatus SerialSetLineFormat() {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_ERR_NOT_OPEN;
    PlatSerialLineState state;
    const LinkStatus got = ReadLineState(&state);
    if (got != LINK_OK) return got;
    state.parityCheck = true;
    state.byteSize = 8;
    state.parity = PLAT_PARITY_EVEN;
    return PlatSerialSetState(g_link.port, &state) ? LINK_OK : LINK_ERR_SET_STATE;
}

LinkStatus SerialGetBaudRate(std::uint32_t *rate) {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_ERR_NOT_OPEN;
    if (rate == nullptr) return LINK_ERR_ARGUMENT;
    PlatSerialLineState state;
    const LinkStatus got = ReadLineState(&state);
    if (got != LINK_OK) return got;
    *rate = state.baudRate;
    return LINK_OK;
}

LinkStatus SerialSetBaudRate(std::uint32_t rate) {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_ERR_NOT_OPEN;
    PlatSerialLineState state;
    const LinkStatus got = ReadLineState(&state);
    if (got != LINK_OK) return got;
    state.baudRate = rate;
    return PlatSerialSetState(g_link.port, &state) ? LINK_OK : LINK_ERR_SET_STATE;
}

LinkStatus SerialWrite(const std::uint8_t *buffer, std::int32_t length) {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_ERR_NOT_OPEN;
    if (length <= 0) return LINK_OK;
    if (buffer == nullptr) return LINK_ERR_ARGUMENT;
    const std::uint32_t total = static_cast<std::uint32_t>(length);
    std::uint32_t sent = 0;
    int stalls = 0;
    while (sent < total) {
        std::uint32_t moved = 0;
        if (!PlatSerialWrite(g_link.port, buffer + sent, total - sent, &moved))
            return LINK_ERR_WRITE;
        if (moved > total - sent) return LINK_ERR_WRITE;  // a driver that claims too much
        // A write that moves nothing (its time-out ran out) is tried again a few times only.
        if (moved == 0) {
            if (++stalls >= SERIAL_WRITE_STALL_LIMIT) return LINK_ERR_WRITE;
            continue;
        }
        stalls = 0;
        sent += moved;
    }
    return LINK_OK;
}

LinkStatus SerialReadFrame(std::uint8_t *buffer, std::uint32_t *length) {
    if (g_link.port == PLAT_SERIAL_NONE) return LINK_ERR_NOT_OPEN;
    if (buffer == nullptr || length == nullptr) return LINK_ERR_ARGUMENT;
    const std::uint32_t capacity = *length;
    *length = 0;
    if (capacity < FRAME_OVERHEAD) return LINK_ERR_FRAME_TOO_LONG;

    std::uint32_t got = 0;
    if (!PlatSerialRead(g_link.port, buffer, FRAME_OVERHEAD, &got)) {
        PlatSerialClearErrors(g_link.port);
        return LINK_ERR_READ;
    }
    if (got < FRAME_OVERHEAD) return LINK_ERR_READ;

    const std::uint32_t total =
        static_cast<std::uint32_t>(FrameBodyLength(buffer)) + FRAME_OVERHEAD;
    if (total > capacity) return LINK_ERR_FRAME_TOO_LONG;
    std::uint32_t received = FRAME_OVERHEAD;
    if (received == total) {
        *length = total;
        return LINK_OK;
    }
    // The first further read waits the whole read time-out for the rest; when that leaves the
    // frame incomplete the answer has stopped on the line, and the remaining attempts wait only
    // briefly each, so that a cut answer does not cost five whole time-outs.
    bool stalled = false;
    LinkStatus result = LINK_ERR_INCOMPLETE;
    for (int attempt = 0; attempt < SERIAL_FRAME_READ_ATTEMPTS; ++attempt) {
        std::uint32_t piece = 0;
        if (!PlatSerialRead(g_link.port, buffer + received, total - received, &piece)) {
            PlatSerialClearErrors(g_link.port);
            result = LINK_ERR_READ;
            break;
        }
        if (piece > total - received) piece = total - received;
        received += piece;
        if (received == total) {
            *length = total;
            result = LINK_OK;
            break;
        }
        PlatSleep(SERIAL_FRAME_READ_PAUSE_MS);
        if (!stalled && attempt + 1 < SERIAL_FRAME_READ_ATTEMPTS) {
            if (!SetReadTimeouts(true)) {
                result = LINK_ERR_SET_STATE;
                break;
            }
            stalled = true;
        }
    }
    if (stalled && !SetReadTimeouts(false)) {
        *length = 0;
        return LINK_ERR_SET_STATE;
    }
    return result;
}
