// Wires a simulated reader to the in-memory serial port of the native build.
#ifndef ZUK_SIM_SIM_FAKE_PORT_H
#define ZUK_SIM_SIM_FAKE_PORT_H

#include "platform/fake/fake_serial.h"
#include "sim/sim_reader.h"

// The device table of the fake serial port, with the reader as its other end.
FakeSerialDevice SimReaderFakeDevice(SimReader *reader);

#endif
