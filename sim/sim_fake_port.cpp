// The fake serial port's device table for the simulated reader: host writes go into the reader,
// host reads take the reader's queued answers.
#include "sim/sim_fake_port.h"

namespace {

bool Receive(void *context, const std::uint8_t *data, std::size_t length, std::uint32_t hostBaud) {
    return SimReaderReceive(static_cast<SimReader *>(context), data, length, hostBaud);
}

std::size_t Transmit(void *context, std::uint8_t *out, std::size_t capacity) {
    return SimReaderTransmit(static_cast<SimReader *>(context), out, capacity);
}

void Purge(void *context) { SimReaderPurge(static_cast<SimReader *>(context)); }

}  // namespace

FakeSerialDevice SimReaderFakeDevice(SimReader *reader) {
    FakeSerialDevice device;
    device.context = reader;
    device.receive = Receive;
    device.transmit = Transmit;
    device.purge = Purge;
    return device;
}
