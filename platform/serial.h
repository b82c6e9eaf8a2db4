// The serial-device seam: as thin as the Win32 serial calls it stands for.  One implementation
// per platform (platform/win32 with the real API, platform/fake with an in-memory port wired to a
// simulated device).  No rule of the reader link lives here: attempts, pauses, buffer sizes and
// time-out values are chosen by the caller.
#ifndef ZUK_PLATFORM_SERIAL_H
#define ZUK_PLATFORM_SERIAL_H

#include <cstdint>

// An open serial device, or PLAT_SERIAL_NONE.
typedef void *PlatSerial;
constexpr PlatSerial PLAT_SERIAL_NONE = nullptr;

// Parity values, as the device control block numbers them.
constexpr std::uint8_t PLAT_PARITY_NONE = 0;
constexpr std::uint8_t PLAT_PARITY_ODD = 1;
constexpr std::uint8_t PLAT_PARITY_EVEN = 2;

// The line state (device control block).  The named fields are the ones the link reads or
// changes; `raw` carries the whole block as the device reported it, so that writing a state back
// keeps every other field as read.  Callers zero-fill it before PlatSerialGetState.
struct PlatSerialLineState {
    std::uint32_t baudRate;
    std::uint8_t byteSize;
    std::uint8_t parity;
    bool parityCheck;
    unsigned char raw[64];
};

// Time-outs in milliseconds (COMMTIMEOUTS).  With interval 0, multiplier m and constant c a read
// of n bytes returns when n bytes have arrived or after m * n + c ms with what has arrived.
struct PlatSerialTimeouts {
    std::uint32_t readIntervalMs;
    std::uint32_t readTotalMultiplierMs;
    std::uint32_t readTotalConstantMs;
    std::uint32_t writeTotalMultiplierMs;
    std::uint32_t writeTotalConstantMs;
};

// Opens an existing device by path (CreateFileA: read and write, no sharing, open existing,
// normal attributes plus no buffering).  PLAT_SERIAL_NONE on failure.
PlatSerial PlatSerialOpen(const char *path);
// Closes the device; false when the close fails (the handle is then still open).
bool PlatSerialClose(PlatSerial port);
// Reads / writes the line state (GetCommState / SetCommState).
bool PlatSerialGetState(PlatSerial port, PlatSerialLineState *state);
bool PlatSerialSetState(PlatSerial port, const PlatSerialLineState *state);
// Sets the read and write time-outs (SetCommTimeouts).
bool PlatSerialSetTimeouts(PlatSerial port, const PlatSerialTimeouts *timeouts);
// Discards pending transmit and receive data, clearing, not aborting (PurgeComm).
bool PlatSerialPurge(PlatSerial port);
// One ReadFile / WriteFile of at most `length` bytes; *done receives the count moved (never more
// than length).  A time-out is success with fewer bytes.
bool PlatSerialRead(PlatSerial port, void *buffer, std::uint32_t length, std::uint32_t *done);
bool PlatSerialWrite(PlatSerial port, const void *buffer, std::uint32_t length,
                     std::uint32_t *done);
// Clears the device's error state after a failed read (ClearCommError; results unused).
void PlatSerialClearErrors(PlatSerial port);

#endif
