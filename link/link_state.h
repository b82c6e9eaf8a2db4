// The reader link's process-wide state in one record: the open port, the secure channel's session
// and the strict-check switch.  One link per process, as the library has one card session.
#ifndef ZUK_LINK_LINK_STATE_H
#define ZUK_LINK_LINK_STATE_H

#include <cstdint>

#include "platform/serial.h"

// The session values of the one channel of the process (kept in the link's record, g_link).  Not
// cleared when the link closes; the next authentication replaces them.
struct ChannelSession {
    std::uint8_t readerRandom[8];
    std::uint8_t hostRandom[8];
    std::uint8_t sessionKey[8];
    std::uint16_t sequenceNumber;
    bool reestablishPending;
    // A secured request went out and its answer was lost (not read whole, or not written whole):
    // the reader may or may not have counted it, so the next secured exchange authenticates afresh
    // first, which puts both sides back on sequence number 1.
    bool outOfStep;
};

// The two channel key sets (KA KB KC each): the built-in ones after a reset, or a site's.
constexpr int CHANNEL_KEY_SET_SIZE = 24;
struct ChannelKeys {
    std::uint8_t initial[CHANNEL_KEY_SET_SIZE];      // a factory reader's set
    std::uint8_t operational[CHANNEL_KEY_SET_SIZE];  // the set the channel provisions and uses
};

struct LinkState {
    PlatSerial port;         // PLAT_SERIAL_NONE while no port is open
    ChannelSession channel;  // the values of the last authentication (kept when the link closes)
    bool strictChecks;       // verify each answer's checksums and padding (off by default)
    ChannelKeys keys;        // the key sets the channel authenticates with
};

extern LinkState g_link;

// Back to the state at load: no port (an open one is forgotten, not closed), no channel values,
// strict checks off, the built-in key sets.
void LinkStateReset();

// The key sets the channel uses from now on (a site's, or a reader move's old and new sets).
void LinkUseChannelKeys(const std::uint8_t initial[CHANNEL_KEY_SET_SIZE],
                        const std::uint8_t operational[CHANNEL_KEY_SET_SIZE]);

// Both key sets wiped to zeros: no reader authenticates the channel until LinkUseChannelKeys or
// LinkStateReset gives it keys again.
void LinkWipeChannelKeys();

#endif
