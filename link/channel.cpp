// Secure channel: authenticates the library and the reader to each other, gives a reader the
// operational key set when its key state is incomplete, and carries card commands in secured
// frames (single DES CBC under the session key, with a sequence number and an inner checksum).
#include "link/channel.h"

#include <cstring>

#include "link/des.h"
#include "link/link_state.h"
#include "link/reader.h"
#include "platform/system.h"

namespace {

const std::uint8_t kZeroIv[8] = {0};

constexpr std::uint8_t INS_CHALLENGE = 0x81;
constexpr std::uint8_t INS_AUTH_ANSWER = 0x83;
constexpr std::uint8_t INS_WRITE_KEYS = 0x85;
constexpr std::uint8_t INS_KEY_STATE = 0x87;
constexpr std::uint8_t INS_KEY_WRAPPED = 0x89;

// One 8-byte TDEA-ECB step, or a copy when no key set is selected.
bool Tdea(const std::uint8_t *keys, int k1, int k2, bool decrypt, const std::uint8_t in[8],
          std::uint8_t out[8]) {
    if (keys == nullptr) {
        std::memcpy(out, in, 8);
        return true;
    }
    return decrypt ? TdeaEcbDecrypt(keys + 8 * k1, keys + 8 * k2, in, 8, out)
                   : TdeaEcbEncrypt(keys + 8 * k1, keys + 8 * k2, in, 8, out);
}

constexpr int KA = 0, KB = 1, KC = 2;

// The next sequence number; after 0xFFFF the session is authenticated afresh instead.
void StepSequence() {
    if (g_link.channel.sequenceNumber == 0xFFFF) {
        g_link.channel.reestablishPending = true;
    } else {
        ++g_link.channel.sequenceNumber;
    }
}

// Failures after which the request may have reached the reader but its answer did not reach
// the channel: a write that did not complete, or an answer that was not read whole.
bool AnswerLost(LinkStatus st) {
    return st == LINK_ERR_WRITE || st == LINK_ERR_READ || st == LINK_ERR_INCOMPLETE ||
           st == LINK_ERR_FRAME_TOO_LONG;
}

// Gives the reader a new operational key set, in the session the last authentication opened: the
// session key and the set, wrapped under the authentication's two random values.
LinkStatus WriteKeySet(const std::uint8_t keys[CHANNEL_KEY_SET_SIZE]) {
    std::uint8_t block[8 + CHANNEL_KEY_SET_SIZE];
    std::memcpy(block, g_link.channel.sessionKey, 8);
    std::memcpy(block + 8, keys, CHANNEL_KEY_SET_SIZE);
    std::uint8_t body[5 + sizeof block] = {0x00, INS_WRITE_KEYS, 0x00, 0x01, sizeof block};
    const bool ok = TdeaEcbEncrypt(g_link.channel.readerRandom, g_link.channel.hostRandom, block,
                                   sizeof block, body + 5);
    SecureWipe(block, sizeof block);
    if (!ok) return LINK_ERR_GENERAL;
    const LinkStatus st = ReaderCommand(FRAME_TYPE_READER, body, sizeof body, nullptr, nullptr);
    SecureWipe(body, sizeof body);
    return st;
}

// A status word answered to the host's half of the authentication is the reader's refusal of the
// keys the host used: it is kept under its own base so that it names that cause.
LinkStatus AnswerRefusal(LinkStatus st) {
    if (st >= LINK_STATUS_WORD_BASE && st <= LINK_STATUS_WORD_BASE + 0xFFFFu)
        return st - LINK_STATUS_WORD_BASE + LINK_AUTH_REFUSED_BASE;
    return st;
}

}  // namespace

bool ChannelKeysRefused(LinkStatus st) {
    st &= ~(LINK_PHASE_OPEN | LINK_PHASE_CLOSE);
    return st == LINK_ERR_AUTH ||
           (st >= LINK_AUTH_REFUSED_BASE && st <= LINK_AUTH_REFUSED_BASE + 0xFFFFu);
}

void ChannelHostRandom(std::uint32_t seed, std::uint8_t out[8]) {
    std::uint32_t state = seed;
    for (int draw = 0; draw < 2; ++draw) {
        state = state * 214013u + 2531011u;
        const std::uint32_t value = (state >> 16) & 0x7FFFu;
        out[4 * draw + 0] = static_cast<std::uint8_t>(value);
        out[4 * draw + 1] = static_cast<std::uint8_t>(value >> 8);
        out[4 * draw + 2] = 0;
        out[4 * draw + 3] = 0;
    }
}

LinkStatus ChannelAuthenticate(ChannelKeySelector selector) {
    const std::uint8_t *keys = nullptr;
    switch (selector) {
    case CHANNEL_KEYS_NONE: keys = nullptr; break;
    case CHANNEL_KEYS_INITIAL: keys = g_link.keys.initial; break;
    case CHANNEL_KEYS_OPERATIONAL: keys = g_link.keys.operational; break;
    }

    std::uint8_t answer[FRAME_BUFFER_SIZE];
    std::uint32_t answerLength = 0;
    const std::uint8_t challengeRequest[] = {0x00, INS_CHALLENGE, 0x00, 0x00};
    LinkStatus st = ReaderCommand(FRAME_TYPE_READER, challengeRequest, sizeof challengeRequest,
                                  answer, &answerLength);
    if (st != LINK_OK) return st;
    // The challenge is the first 8 bytes of the answer data, before the status word.
    if (FrameBodyLength(answer) < 8 + 2) return LINK_ERR_GENERAL;

    if (!Tdea(keys, KA, KB, true, answer + FRAME_BODY_OFFSET, g_link.channel.readerRandom)) {
        return LINK_ERR_GENERAL;
    }
    ChannelHostRandom(static_cast<std::uint32_t>(PlatTimeNow()), g_link.channel.hostRandom);

    // Body: 00 83 00 00 10, T1, T2.
    std::uint8_t body[5 + 16] = {0x00, INS_AUTH_ANSWER, 0x00, 0x00, 0x10};
    if (!Tdea(keys, KB, KC, false, g_link.channel.readerRandom, body + 5) ||
        !Tdea(keys, KB, KC, false, g_link.channel.hostRandom, body + 13)) {
        return LINK_ERR_GENERAL;
    }
    st = ReaderCommand(FRAME_TYPE_READER, body, sizeof body, answer, &answerLength);
    SecureWipe(body, sizeof body);
    if (st != LINK_OK) return AnswerRefusal(st);
    if (FrameBodyLength(answer) < 8 + 2) return LINK_ERR_GENERAL;

    std::uint8_t check[8];
    if (!Tdea(keys, KC, KA, true, answer + FRAME_BODY_OFFSET, check)) return LINK_ERR_GENERAL;
    const bool match = std::memcmp(check, g_link.channel.hostRandom, 8) == 0;
    SecureWipe(check, sizeof check);
    if (!match) return LINK_ERR_AUTH;

    for (int i = 0; i < 8; ++i) {
        g_link.channel.sessionKey[i] = static_cast<std::uint8_t>(g_link.channel.hostRandom[i] ^
                                                                 g_link.channel.readerRandom[i]);
    }
    g_link.channel.sequenceNumber = 1;
    g_link.channel.reestablishPending = false;
    g_link.channel.outOfStep = false;
    return LINK_OK;
}

LinkStatus ChannelProvisionKeys() {
    LinkStatus st = ChannelAuthenticate(CHANNEL_KEYS_NONE);
    if (st != LINK_OK) return st;
    const std::uint8_t writeState[] = {0x00, INS_WRITE_KEYS, 0x00, 0x02, 0x03, 0x02, 0x11, 0x02};
    st = ReaderCommand(FRAME_TYPE_READER, writeState, sizeof writeState, nullptr, nullptr);
    if (st != LINK_OK) return st;
    // A reader that already holds the operational keys refuses the initial set.
    st = ChannelAuthenticate(CHANNEL_KEYS_INITIAL);
    if (st != LINK_OK) st = ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL);
    if (st != LINK_OK) return st;

    return WriteKeySet(g_link.keys.operational);
}

LinkStatus ChannelMoveKeys(const std::uint8_t operational[CHANNEL_KEY_SET_SIZE]) {
    LinkStatus st = ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL);
    if (st != LINK_OK) return st;
    st = WriteKeySet(operational);
    if (st != LINK_OK) return st;
    LinkUseChannelKeys(g_link.keys.initial, operational);
    return ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL);
}

LinkStatus ChannelReadKeyState(std::uint8_t state[3]) {
    std::uint8_t answer[FRAME_BUFFER_SIZE];
    std::uint32_t answerLength = 0;
    const std::uint8_t readState[] = {0x00, INS_KEY_STATE, 0x00, 0x00};
    const LinkStatus st =
        ReaderCommand(FRAME_TYPE_READER, readState, sizeof readState, answer, &answerLength);
    if (st != LINK_OK) return st;
    if (FrameBodyLength(answer) != 5) return LINK_ERR_GENERAL;
    std::memcpy(state, answer + FRAME_BODY_OFFSET, 3);
    return LINK_OK;
}

bool ChannelKeyStateComplete(const std::uint8_t state[3]) {
    return state[0] != 0 && state[1] != 0 && state[2] != 0;
}

LinkStatus ChannelEstablish() {
    std::uint8_t state[3];
    LinkStatus st = ChannelReadKeyState(state);
    if (st != LINK_OK) return st;
    if (!ChannelKeyStateComplete(state)) {
        st = ChannelProvisionKeys();
        if (st != LINK_OK) return st;
    }
    return ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL);
}

LinkStatus ChannelExchange(const std::uint8_t *frame, std::uint32_t frameLength,
                           std::uint8_t *response, std::uint32_t *responseLength) {
    if (frame == nullptr || frameLength == 0 || response == nullptr || responseLength == nullptr ||
        *responseLength == 0) {
        return LINK_ERR_ARGUMENT;
    }
    if (frameLength >= 5 && frame[0] == FRAME_TYPE_READER && frame[3] == 0x00 &&
        frame[4] == INS_KEY_WRAPPED) {
        return ChannelSendKeyWrapped(frame, frameLength, response, responseLength);
    }
    return ChannelSecureExchange(frame, frameLength, response, responseLength);
}

namespace {

// Seals a frame's body of l bytes as the secured frame `request` (request's length in *length):
// sequence number, L, body, zero padding and inner checksum, a multiple of 8, encrypted with
// single DES CBC under the session key.
bool SealRequest(const std::uint8_t *frame, std::uint32_t l, std::uint16_t sequence,
                 std::uint8_t request[FRAME_BUFFER_SIZE], std::uint32_t *length) {
    const std::uint32_t pad = (8 - ((l + 5) % 8)) % 8;
    const std::uint32_t e = l + 5 + pad;
    std::uint8_t plain[FRAME_BUFFER_SIZE];
    plain[0] = static_cast<std::uint8_t>(sequence >> 8);
    plain[1] = static_cast<std::uint8_t>(sequence);
    plain[2] = static_cast<std::uint8_t>(l >> 8);
    plain[3] = static_cast<std::uint8_t>(l);
    std::memcpy(plain + 4, frame + FRAME_BODY_OFFSET, l);
    std::memset(plain + 4 + l, 0, pad);
    plain[e - 1] = FrameChecksum(plain, e - 1);

    request[0] = frame[0];
    request[1] = static_cast<std::uint8_t>(e >> 8);
    request[2] = static_cast<std::uint8_t>(e);
    const bool encrypted =
        DesCbcEncrypt(g_link.channel.sessionKey, kZeroIv, plain, e, request + FRAME_BODY_OFFSET);
    SecureWipe(plain, e);
    if (!encrypted) return false;
    request[FRAME_HEADER_SIZE + e] = FrameChecksum(request, FRAME_HEADER_SIZE + e);
    *length = e + FRAME_OVERHEAD;
    return true;
}

// After a failed exchange: a whole answer of the reader that only failed the strict checksum
// check still means the reader acted on the frame and moved to the next sequence number, so
// must the channel, or every later frame of the session would be refused; an answer lost on the
// line leaves the two sides out of step.
void NoteFailedExchange(LinkStatus st, const std::uint8_t *answer, std::uint32_t answerLength,
                        std::uint32_t capacity) {
    if (st == LINK_ERR_GENERAL && ReaderStrictChecks() && answerLength >= FRAME_OVERHEAD &&
        answerLength <= capacity && ReaderClassifyAnswer(answer[0]) == LINK_OK &&
        FrameChecksum(answer, answerLength - 1) != answer[answerLength - 1]) {
        StepSequence();
    }
    if (AnswerLost(st)) g_link.channel.outOfStep = true;
}

// Decrypts the secured answer (d body bytes) into the caller's response: its sequence number must
// be the request's, its length must lie within the block, and in strict mode the block must be
// exactly body, zero padding and a matching inner checksum, so that a changed byte on the line is
// an error rather than wrong card data.
LinkStatus OpenAnswer(const std::uint8_t *answer, std::uint32_t d, std::uint16_t sequence,
                      std::uint8_t *response, std::uint32_t *responseLength) {
    std::uint8_t opened[FRAME_BUFFER_SIZE];
    if (!DesCbcDecrypt(g_link.channel.sessionKey, kZeroIv, answer + FRAME_BODY_OFFSET, d, opened)) {
        return LINK_ERR_GENERAL;
    }
    const std::uint16_t answerSequence = static_cast<std::uint16_t>((opened[0] << 8) | opened[1]);
    const std::uint32_t answerBody = (static_cast<std::uint32_t>(opened[2]) << 8) | opened[3];
    LinkStatus st = LINK_OK;
    if (answerSequence != sequence) {
        st = LINK_ERR_AUTH;
    } else if (d < 5 || answerBody > d - 5) {
        st = LINK_ERR_GENERAL;
    } else if (ReaderStrictChecks()) {
        const std::uint32_t expected = answerBody + 5 + (8 - ((answerBody + 5) % 8)) % 8;
        bool sound = expected == d && opened[d - 1] == FrameChecksum(opened, d - 1);
        for (std::uint32_t i = 4 + answerBody; sound && i < d - 1; ++i) sound = opened[i] == 0;
        if (!sound) st = LINK_ERR_GENERAL;
    }
    if (st == LINK_OK && answerBody + FRAME_OVERHEAD > *responseLength)
        st = LINK_ERR_FRAME_TOO_LONG;
    if (st == LINK_OK) {
        response[0] = answer[0];
        response[1] = static_cast<std::uint8_t>(answerBody >> 8);
        response[2] = static_cast<std::uint8_t>(answerBody);
        std::memcpy(response + FRAME_BODY_OFFSET, opened + 4, answerBody);
        response[FRAME_HEADER_SIZE + answerBody] =
            FrameChecksum(response, FRAME_HEADER_SIZE + answerBody);
        *responseLength = answerBody + FRAME_OVERHEAD;
    }
    SecureWipe(opened, d);
    return st;
}

}  // namespace

LinkStatus ChannelSecureExchange(const std::uint8_t *frame, std::uint32_t frameLength,
                                 std::uint8_t *response, std::uint32_t *responseLength) {
    if (frame == nullptr || response == nullptr || responseLength == nullptr ||
        frameLength < FRAME_HEADER_SIZE) {
        return LINK_ERR_ARGUMENT;
    }
    const std::uint32_t l = static_cast<std::uint32_t>(FrameBodyLength(frame));
    // The frame's own length rules, but it must lie within the caller's frame and fit the
    // secured frame's 1024-byte buffer.
    if (l > CHANNEL_MAX_BODY || frameLength < FRAME_HEADER_SIZE + l) return LINK_ERR_ARGUMENT;
    // The last answer was lost: whether the reader counted that command is unknown, so both
    // sides start again from a fresh authentication before this frame is numbered.
    if (g_link.channel.outOfStep) {
        const LinkStatus again = ChannelEstablish();
        if (again != LINK_OK) return again;
    }

    const std::uint16_t sequence = g_link.channel.sequenceNumber;
    std::uint8_t request[FRAME_BUFFER_SIZE];
    std::uint32_t requestLength = 0;
    if (!SealRequest(frame, l, sequence, request, &requestLength)) return LINK_ERR_GENERAL;

    std::uint8_t answer[FRAME_BUFFER_SIZE];
    std::uint32_t answerLength = sizeof answer;
    LinkStatus st = ReaderExchange(request, requestLength, answer, &answerLength);
    if (st != LINK_OK) {
        NoteFailedExchange(st, answer, answerLength, sizeof answer);
        return st;
    }
    const std::uint32_t d = static_cast<std::uint32_t>(FrameBodyLength(answer));
    if (d == 0) return LINK_ERR_EMPTY_ANSWER;
    StepSequence();
    st = OpenAnswer(answer, d, sequence, response, responseLength);
    if (st != LINK_OK) return st;

    if (g_link.channel.reestablishPending) {
        st = ChannelEstablish();
        if (st != LINK_OK) return st;
    }
    return LINK_OK;
}

LinkStatus ChannelSendKeyWrapped(const std::uint8_t *frame, std::uint32_t frameLength,
                                 std::uint8_t *response, std::uint32_t *responseLength) {
    if (frame == nullptr || response == nullptr || responseLength == nullptr || frameLength < 8) {
        return LINK_ERR_ARGUMENT;
    }
    const std::uint32_t lc = frame[7];
    if (lc + 8 > 0xFF) return LINK_ERR_GENERAL;
    // The data must lie within the caller's frame.
    if (frameLength < 8 + lc) return LINK_ERR_ARGUMENT;
    const std::uint32_t l = static_cast<std::uint32_t>(FrameBodyLength(frame));
    if (l + 8 > 0xFFFF) return LINK_ERR_GENERAL;

    // Session key, then the caller's data, under the key pair of the last authentication.
    std::uint8_t clear[8 + 0xFF];
    std::memcpy(clear, g_link.channel.sessionKey, 8);
    std::memcpy(clear + 8, frame + 8, lc);
    std::uint8_t request[FRAME_BUFFER_SIZE];
    const bool ok = TdeaEcbEncrypt(g_link.channel.readerRandom, g_link.channel.hostRandom, clear,
                                   lc + 8, request + 8);
    SecureWipe(clear, sizeof clear);
    if (!ok) return LINK_ERR_GENERAL;
    request[0] = frame[0];
    request[1] = static_cast<std::uint8_t>((l + 8) >> 8);
    request[2] = static_cast<std::uint8_t>(l + 8);
    std::memcpy(request + 3, frame + 3, 4);
    request[7] = static_cast<std::uint8_t>(lc + 8);
    const std::uint32_t total = 8 + lc + 8;
    request[total] = FrameChecksum(request, total);
    return ReaderExchange(request, total + 1, response, responseLength);
}
