// Secure channel to the reader: mutual authentication with two-key triple DES, key provisioning,
// sequence-numbered DES-CBC secured frames for card commands, and the key-wrapped INS 0x89
// reader data command.
#ifndef ZUK_LINK_CHANNEL_H
#define ZUK_LINK_CHANNEL_H

#include <cstdint>

#include "link/link.h"
#include "link/link_state.h"

// Largest caller body a secured frame can carry in a 1024-byte frame buffer.
constexpr std::uint32_t CHANNEL_MAX_BODY = 1011;

enum ChannelKeySelector {
    CHANNEL_KEYS_NONE,         // no cipher: values travel as they are
    CHANNEL_KEYS_INITIAL,      // the reader's factory key set
    CHANNEL_KEYS_OPERATIONAL,  // the key set of normal sessions
};


// The host random value of an authentication: two draws of the linear congruential generator
// seeded with `seed`, each as a 32-bit little-endian word.
void ChannelHostRandom(std::uint32_t seed, std::uint8_t out[8]);

// Reads the reader's key state (INS 0x87): three bytes, any of them zero while the reader has not
// been given its operational set (a factory reader, which authenticates in clear).
LinkStatus ChannelReadKeyState(std::uint8_t state[3]);
// A key state in which the reader holds an operational set.
bool ChannelKeyStateComplete(const std::uint8_t state[3]);
LinkStatus ChannelEstablish();
// LINK_OK, or the failing step's status; a reader that refuses the host's answer (it holds other
// keys) gives LINK_AUTH_REFUSED_BASE + its status word.
LinkStatus ChannelAuthenticate(ChannelKeySelector selector);
// Whether a status (with or without a phase bit) says that the reader and the host hold different
// keys: the reader refused the host's answer, or its own answer did not prove the host's set.
bool ChannelKeysRefused(LinkStatus st);
LinkStatus ChannelProvisionKeys();
// Moves a reader to another operational key set: on an open link established with the current
// set, authenticates afresh with it, gives the reader `operational`, makes it the channel's set
// and authenticates with it.  A reader holding an operational set accepts a new one only in a
// session authenticated with the one it holds.  LINK_OK once the reader has answered the new set.
LinkStatus ChannelMoveKeys(const std::uint8_t operational[CHANNEL_KEY_SET_SIZE]);
// Entry point for card and reader-data commands: INS 0x89 reader frames go key-wrapped, every
// other frame secured.  *responseLength: capacity on entry, response size on success.
LinkStatus ChannelExchange(const std::uint8_t *frame, std::uint32_t frameLength,
                           std::uint8_t *response, std::uint32_t *responseLength);
LinkStatus ChannelSecureExchange(const std::uint8_t *frame, std::uint32_t frameLength,
                                 std::uint8_t *response, std::uint32_t *responseLength);
LinkStatus ChannelSendKeyWrapped(const std::uint8_t *frame, std::uint32_t frameLength,
                                 std::uint8_t *response, std::uint32_t *responseLength);

#endif
