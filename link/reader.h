// Reader frame protocol: frames and checksums, the request/response exchange with its single
// resend, answer classes and status words, and the reader management commands that the card
// session's open and close sequences are made of.  Knows nothing of the secure channel.
#ifndef ZUK_LINK_READER_H
#define ZUK_LINK_READER_H

#include <cstddef>
#include <cstdint>

#include "link/link.h"

// XOR of `count` bytes; a frame's checksum covers its first L + 3 bytes.
std::uint8_t FrameChecksum(const std::uint8_t *bytes, std::size_t count);

// Wraps a card command body into a 0x2C frame: type, length, body, checksum.  The caller's
// output holds at least bodyLength + 4 bytes.
LinkStatus ReaderBuildCardFrame(std::uint8_t *output, std::uint32_t *outLength,
                                const std::uint8_t *body, std::uint32_t bodyLength);

// Strict checking: every answer's outer checksum is verified, and the secure channel verifies the
// inner checksum and zero padding of secured answers; a mismatch gives LINK_ERR_GENERAL.  Off by
// default, as readers are known to work without it.
void ReaderSetStrictChecks(bool on);
bool ReaderStrictChecks();

// The code of a response's answer class (its type byte).
LinkStatus ReaderClassifyAnswer(std::uint8_t typeByte);

// One request and its response; a "busy" answer (0x80 / 0xA0) is resent once after 100 ms and a
// purge.  *responseLength: capacity on entry, frame size on exit.
LinkStatus ReaderExchange(const std::uint8_t *request, std::uint32_t requestLength,
                          std::uint8_t *response, std::uint32_t *responseLength);

// 90 00 at the end of the response body gives LINK_OK; other words give
// LINK_STATUS_WORD_BASE + SW1 * 256 + SW2; a body under 2 bytes LINK_ERR_GENERAL.
LinkStatus ReaderCheckStatusWord(const std::uint8_t *response);

// Builds a 0x08 / 0x28 command of `count` body bytes, exchanges it and checks the status word.
// When `answer` is given, the response frame is copied there (FRAME_BUFFER_SIZE bytes).
LinkStatus ReaderCommand(std::uint8_t type, const std::uint8_t *body, std::size_t count,
                         std::uint8_t *answer, std::uint32_t *answerLength);

// Line speeds: the one both sides fall back to, and the one they work at.
constexpr std::uint32_t READER_SPEED_SAFE = 9600;
constexpr std::uint32_t READER_SPEED_FAST = 115200;

// The speed code of the set-speed command for a line speed.
std::uint8_t ReaderSpeedCode(std::uint32_t lineSpeed);
LinkStatus ReaderSetSpeed(std::uint32_t lineSpeed);
// From the port's speed to 115200 bit/s on both sides.
LinkStatus ReaderNegotiateSpeed();
// Start, activate, the 0x13 setting.
LinkStatus ReaderInitialise();
// Sends deactivate; the outcome is not reported.
void ReaderDeactivate();

// Marks a code with the phase bits where the status table says the phase matters (the answer
// classes, the authentication, the status words).
LinkStatus LinkQualifyStatus(LinkStatus code, LinkStatus phaseBits);

#endif
