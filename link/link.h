// The reader link's status codes and the reader frame layout, shared by the serial transport, the
// reader protocol and the secure channel.  Every link operation returns one of these codes; the
// family base LINK_OK means success, and a lower layer's code is passed up unchanged.
#ifndef ZUK_LINK_LINK_H
#define ZUK_LINK_LINK_H

#include <cstddef>
#include <cstdint>

typedef std::uint32_t LinkStatus;

constexpr LinkStatus LINK_OK = 0x2000000;
constexpr LinkStatus LINK_ERR_ARGUMENT = 0x2000001;       // missing buffer, zero length, over-long body
constexpr LinkStatus LINK_ERR_FRAME_TOO_LONG = 0x2000002; // a frame does not fit the caller's buffer
constexpr LinkStatus LINK_ERR_INCOMPLETE = 0x2000003;     // frame still incomplete after 5 reads
constexpr LinkStatus LINK_ERR_ALREADY_OPEN = 0x2000011;
constexpr LinkStatus LINK_ERR_NOT_OPEN = 0x2000012;
constexpr LinkStatus LINK_ERR_OPEN = 0x2000013;
constexpr LinkStatus LINK_ERR_CLOSE = 0x2000014;
constexpr LinkStatus LINK_ERR_GET_STATE = 0x2000015;
constexpr LinkStatus LINK_ERR_SET_STATE = 0x2000016;
constexpr LinkStatus LINK_ERR_PURGE = 0x2000017;
constexpr LinkStatus LINK_ERR_WRITE = 0x2000018;
constexpr LinkStatus LINK_ERR_READ = 0x2000019;           // read failed or first read short
constexpr LinkStatus LINK_ANSWER_RESEND = 0x2000100;      // answer class 0x80 / 0xA0
constexpr LinkStatus LINK_ANSWER_CLASS_81 = 0x2000200;    // 0x81 / 0xA1
constexpr LinkStatus LINK_ANSWER_CLASS_82 = 0x2000300;    // 0x82 / 0xA2
constexpr LinkStatus LINK_ANSWER_CLASS_83 = 0x2000400;    // 0x83 / 0xA3
constexpr LinkStatus LINK_ANSWER_CLASS_84 = 0x2000500;    // 0x84 / 0xA4
constexpr LinkStatus LINK_ANSWER_CLASS_87 = 0x2000600;    // 0x87 / 0xA7
constexpr LinkStatus LINK_ERR_GENERAL = 0x2000700;        // unlisted class, malformed answer, cipher
constexpr LinkStatus LINK_ERR_AUTH = 0x2001200;           // authentication or sequence check failed
constexpr LinkStatus LINK_ERR_EMPTY_ANSWER = 0x2001300;   // a secured answer with an empty body
constexpr LinkStatus LINK_STATUS_WORD_BASE = 0x2010000;   // + SW1 * 256 + SW2 when not 90 00

// Phase bits that mark where a code arose (see LinkQualifyStatus).
constexpr LinkStatus LINK_PHASE_OPEN = 0x100000;
constexpr LinkStatus LINK_PHASE_CLOSE = 0x200000;

// Reader frame: type byte, body length L (big-endian), L body bytes, XOR checksum of all bytes
// before it.  A frame is L + 4 bytes; requests and answers are handled in 1024-byte buffers.
constexpr std::size_t FRAME_TYPE_OFFSET = 0;
constexpr std::size_t FRAME_LENGTH_OFFSET = 1;
constexpr std::size_t FRAME_BODY_OFFSET = 3;
constexpr std::size_t FRAME_HEADER_SIZE = 3;
constexpr std::size_t FRAME_OVERHEAD = 4;
constexpr std::size_t FRAME_BUFFER_SIZE = 1024;

// Request types.
constexpr std::uint8_t FRAME_TYPE_LINK = 0x08;    // link commands during speed negotiation
constexpr std::uint8_t FRAME_TYPE_READER = 0x28;  // reader commands
constexpr std::uint8_t FRAME_TYPE_CARD = 0x2C;    // card commands, always secured

// Body length L of a frame (bytes 1 and 2, big-endian).
inline std::size_t FrameBodyLength(const std::uint8_t *frame) {
    return (static_cast<std::size_t>(frame[1]) << 8) | frame[2];
}

#endif
