// The serial seam over the Win32 communications API.  Each function maps one call; the line
// state keeps the whole DCB in its raw bytes so that a read-modify-write changes only the fields
// the link sets.
#include "platform/serial.h"

#include <windows.h>

#include <cstring>

static_assert(sizeof(DCB) <= sizeof(PlatSerialLineState::raw), "DCB must fit the raw line state");

namespace {
HANDLE ToHandle(PlatSerial port) { return static_cast<HANDLE>(port); }
}  // namespace

PlatSerial PlatSerialOpen(const char *path) {
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return PLAT_SERIAL_NONE;
    return static_cast<PlatSerial>(h);
}

bool PlatSerialClose(PlatSerial port) { return CloseHandle(ToHandle(port)) != FALSE; }

bool PlatSerialGetState(PlatSerial port, PlatSerialLineState *state) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(ToHandle(port), &dcb)) return false;
    std::memcpy(state->raw, &dcb, sizeof dcb);
    state->baudRate = dcb.BaudRate;
    state->byteSize = dcb.ByteSize;
    state->parity = dcb.Parity;
    state->parityCheck = dcb.fParity != 0;
    return true;
}

bool PlatSerialSetState(PlatSerial port, const PlatSerialLineState *state) {
    DCB dcb;
    std::memcpy(&dcb, state->raw, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = state->baudRate;
    dcb.ByteSize = state->byteSize;
    dcb.Parity = state->parity;
    dcb.fParity = state->parityCheck ? 1 : 0;
    return SetCommState(ToHandle(port), &dcb) != FALSE;
}

bool PlatSerialSetTimeouts(PlatSerial port, const PlatSerialTimeouts *timeouts) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = timeouts->readIntervalMs;
    t.ReadTotalTimeoutMultiplier = timeouts->readTotalMultiplierMs;
    t.ReadTotalTimeoutConstant = timeouts->readTotalConstantMs;
    t.WriteTotalTimeoutMultiplier = timeouts->writeTotalMultiplierMs;
    t.WriteTotalTimeoutConstant = timeouts->writeTotalConstantMs;
    return SetCommTimeouts(ToHandle(port), &t) != FALSE;
}

bool PlatSerialPurge(PlatSerial port) {
    return PurgeComm(ToHandle(port), PURGE_TXCLEAR | PURGE_RXCLEAR) != FALSE;
}

bool PlatSerialRead(PlatSerial port, void *buffer, std::uint32_t length, std::uint32_t *done) {
    DWORD got = 0;
    const BOOL ok = ReadFile(ToHandle(port), buffer, length, &got, nullptr);
    *done = got > length ? length : got;
    return ok != FALSE;
}

bool PlatSerialWrite(PlatSerial port, const void *buffer, std::uint32_t length,
                     std::uint32_t *done) {
    DWORD put = 0;
    const BOOL ok = WriteFile(ToHandle(port), buffer, length, &put, nullptr);
    *done = put > length ? length : put;
    return ok != FALSE;
}

void PlatSerialClearErrors(PlatSerial port) {
    DWORD errors = 0;
    COMSTAT stat;
    ClearCommError(ToHandle(port), &errors, &stat);
}
