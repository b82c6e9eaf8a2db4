// The reader frame layout, shared by the serial transport, the reader protocol and the secure
// channel.  Every link operation returns a status of the reader link family (LINK_..., defined
// by the status table); LINK_OK means success, and a lower layer's status is passed up unchanged.
#ifndef ZUK_LINK_LINK_H
#define ZUK_LINK_LINK_H

#include <cstddef>
#include <cstdint>

#include "status/status_table.h"

typedef std::uint32_t LinkStatus;

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
