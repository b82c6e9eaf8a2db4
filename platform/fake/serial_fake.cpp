// In-memory serial port: the host's writes go straight to the connected device, reads take what
// the device has to send, cut into the configured pieces.  A read never waits: what is not there
// now counts as not arrived within the time-out.  Each call consults the fault table.
#include <cstring>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_serial.h"

namespace {

PlatSerialLineState DefaultLine(std::uint32_t baud) {
    PlatSerialLineState line;
    std::memset(&line, 0, sizeof line);
    line.baudRate = baud;
    line.byteSize = 8;
    line.parity = PLAT_PARITY_NONE;
    line.parityCheck = false;
    return line;
}

struct FakePort {
    bool connected = false;
    std::string devicePath;
    FakeSerialDevice device{};
    bool open = false;
    std::string openedPath;
    PlatSerialLineState line = DefaultLine(38400);
    PlatSerialTimeouts timeouts{};
    std::vector<std::size_t> readChunks;
    std::size_t readIndex = 0;
    long writeLimit = -1;
    std::uint64_t waitedMs = 0;
};

FakePort g_port;
// The handle value handed out; any non-null pointer will do.
int g_handleTag;

bool ValidHandle(PlatSerial port) { return g_port.open && port == &g_handleTag; }

}  // namespace

void FakeSerialReset() { g_port = FakePort(); }

void FakeSerialConnect(const std::string &path, const FakeSerialDevice &device) {
    g_port.connected = true;
    g_port.devicePath = path;
    g_port.device = device;
}

void FakeSerialSetReadChunks(const std::vector<std::size_t> &sizes) {
    g_port.readChunks = sizes;
    g_port.readIndex = 0;
}

void FakeSerialSetWriteLimit(long maxBytes) { g_port.writeLimit = maxBytes; }

bool FakeSerialIsOpen() { return g_port.open; }
std::string FakeSerialOpenedPath() { return g_port.openedPath; }
PlatSerialLineState FakeSerialLineState() { return g_port.line; }
PlatSerialTimeouts FakeSerialTimeouts() { return g_port.timeouts; }
void FakeSerialSetInitialBaud(std::uint32_t baud) { g_port.line.baudRate = baud; }

PlatSerial PlatSerialOpen(const char *path) {
    if (FakeCallFails(FAKE_CALL_SERIAL_OPEN) || path == nullptr || g_port.open ||
        !g_port.connected) {
        return PLAT_SERIAL_NONE;
    }
    if (!g_port.devicePath.empty() && g_port.devicePath != path) return PLAT_SERIAL_NONE;
    g_port.open = true;
    g_port.openedPath = path;
    return &g_handleTag;
}

bool PlatSerialClose(PlatSerial port) {
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_CLOSE)) return false;
    g_port.open = false;
    return true;
}

bool PlatSerialGetState(PlatSerial port, PlatSerialLineState *state) {
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_GET_STATE)) return false;
    *state = g_port.line;
    return true;
}

bool PlatSerialSetState(PlatSerial port, const PlatSerialLineState *state) {
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_SET_STATE)) return false;
    g_port.line = *state;
    return true;
}

bool PlatSerialSetTimeouts(PlatSerial port, const PlatSerialTimeouts *timeouts) {
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_SET_TIMEOUTS)) return false;
    g_port.timeouts = *timeouts;
    return true;
}

bool PlatSerialPurge(PlatSerial port) {
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_PURGE)) return false;
    if (g_port.device.purge != nullptr) g_port.device.purge(g_port.device.context);
    return true;
}

bool PlatSerialRead(PlatSerial port, void *buffer, std::uint32_t length, std::uint32_t *done) {
    *done = 0;
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_READ)) return false;
    std::size_t want = length;
    if (!g_port.readChunks.empty()) {
        const std::size_t i = g_port.readIndex < g_port.readChunks.size()
                                  ? g_port.readIndex++
                                  : g_port.readChunks.size() - 1;
        if (g_port.readChunks[i] < want) want = g_port.readChunks[i];
    }
    if (want > 0 && g_port.device.transmit != nullptr) {
        *done = static_cast<std::uint32_t>(g_port.device.transmit(
            g_port.device.context, static_cast<std::uint8_t *>(buffer), want));
    }
    // A read that returns short has waited its whole time-out on a real port.
    if (*done < length) {
        g_port.waitedMs +=
            static_cast<std::uint64_t>(g_port.timeouts.readTotalMultiplierMs) * length +
            g_port.timeouts.readTotalConstantMs;
    }
    return true;
}

std::uint64_t FakeSerialWaitedMilliseconds() { return g_port.waitedMs; }

bool PlatSerialWrite(PlatSerial port, const void *buffer, std::uint32_t length,
                     std::uint32_t *done) {
    *done = 0;
    if (!ValidHandle(port) || FakeCallFails(FAKE_CALL_SERIAL_WRITE)) return false;
    std::size_t n = length;
    if (g_port.writeLimit >= 0 && static_cast<std::size_t>(g_port.writeLimit) < n) {
        n = static_cast<std::size_t>(g_port.writeLimit);
    }
    if (n == 0) return true;
    if (g_port.device.receive != nullptr &&
        !g_port.device.receive(g_port.device.context, static_cast<const std::uint8_t *>(buffer), n,
                               g_port.line.baudRate)) {
        return false;
    }
    *done = static_cast<std::uint32_t>(n);
    return true;
}

void PlatSerialClearErrors(PlatSerial port) { (void)port; }
