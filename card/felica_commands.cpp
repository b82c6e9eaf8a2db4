// The FeliCa command operations: the common exchange (build, wrap, send through the secure
// channel, check length and answer code), the block commands, and polling with the card state it
// keeps in the card record (the polling codes and the current IDm).
#include <cstring>

#include "card/felica.h"

#include "card/card_state.h"
#include "link/channel.h"
#include "link/link.h"
#include "link/reader.h"
#include "platform/system.h"

namespace {

// One answer as the link hands it back: the whole frame and its body.
struct Answer {
    std::uint8_t frame[FRAME_BUFFER_SIZE];
    std::uint32_t length;
    const std::uint8_t *body;
    std::size_t bodyLength;
};

// Block data (a PIN, a password) must not outlive the command that read it.
void WipeAnswer(Answer *answer) { PlatSecureWipe(answer->frame, sizeof answer->frame); }

// Sends an already-built frame and checks the answer's length field; `body` then points at
// bodyLength (>= 1) received body bytes.
CardStatus ExchangeFrame(const std::uint8_t *frame, std::size_t frameLength, Answer *answer) {
    answer->length = sizeof answer->frame;
    const LinkStatus st = ChannelExchange(frame, static_cast<std::uint32_t>(frameLength),
                                          answer->frame, &answer->length);
    if (st != LINK_OK) return st;
    if (answer->length < FRAME_OVERHEAD ||
        FrameBodyLength(answer->frame) + FRAME_OVERHEAD != answer->length)
        return CARD_ERR_LENGTH;
    answer->body = answer->frame + FRAME_BODY_OFFSET;
    answer->bodyLength = FrameBodyLength(answer->frame);
    // A frame without a body has no response code to examine.
    if (answer->bodyLength == 0) return CARD_ERR_LENGTH;
    return CARD_OK;
}

// Wraps a card command body into a 0x2C frame and exchanges it.
CardStatus ExchangeBody(const std::uint8_t *body, std::size_t bodyLength, Answer *answer) {
    std::uint8_t frame[FRAME_BUFFER_SIZE];
    if (bodyLength + FRAME_OVERHEAD > sizeof frame) return BUILD_ERR_TOO_LONG;
    std::uint32_t frameLength = sizeof frame;
    const LinkStatus st =
        ReaderBuildCardFrame(frame, &frameLength, body, static_cast<std::uint32_t>(bodyLength));
    if (st != LINK_OK) return st;
    return ExchangeFrame(frame, frameLength, answer);
}

// The answer's response code must be `expected`, and the body must hold `minimum` bytes for the
// fields the command reads; a shorter body is a length disagreement.
CardStatus ExpectAnswer(const Answer &answer, std::uint8_t expected, std::size_t minimum) {
    if (answer.body[0] != expected) return CARD_RESPONSE_CODE_BASE + answer.body[0];
    if (answer.bodyLength < minimum) return CARD_ERR_LENGTH;
    return CARD_OK;
}

// Status pair of the reader's authentication and several-codes polling answers.
CardStatus ReaderStatusPair(const Answer &answer) {
    const std::uint8_t s1 = answer.body[2];
    const std::uint8_t s2 = answer.body[3];
    if (s2 == 0) return CARD_OK;
    if (s2 == 0xEF) return CARD_ERR_NO_ANSWER;
    return CARD_READER_STATUS_BASE + s1 * 256u + s2;
}

// Status flags of a Read or Write answer.
CardStatus StatusFlags(const Answer &answer) {
    if (answer.body[9] == 0) return CARD_OK;
    return CARD_STATUS_FLAG_BASE + answer.body[9] * 256u + answer.body[10];
}

CardStatus KeySelect(int keyNumber, int keyVersion) {
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    CardStatus st = FelicaBuildKeySelect(keyNumber, keyVersion, body, sizeof body, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st != CARD_OK) return st;
    return ExpectAnswer(answer, FELICA_ANSWER_KEY_SELECT, 1);
}

// Copies `blocks` blocks of block data starting at body[offset], after checking that the count
// is no more than was asked and that the received body holds them.  A count beyond either is
// reported as a length disagreement and nothing is copied.
CardStatus CopyBlocks(const Answer &answer, std::size_t offset, int asked, int count, int capacity,
                      std::uint8_t *out, int *outLength) {
    const std::size_t bytes = FELICA_BLOCK_SIZE * static_cast<std::size_t>(count);
    if (count > asked || offset + bytes > answer.bodyLength) return CARD_ERR_LENGTH;
    if (bytes > static_cast<std::size_t>(capacity)) return CARD_ERR_BUFFER;
    std::memcpy(out, answer.body + offset, bytes);
    *outLength = static_cast<int>(bytes);
    return CARD_OK;
}

}  // namespace

CardStatus ClearCurrentIdm() {
    std::memset(g_card.idm, 0, sizeof g_card.idm);
    return CARD_OK;
}

CardStatus SetPollingCodes(const std::uint8_t *codes, int count) {
    if (codes == nullptr || count <= 0 || count > FELICA_MAX_POLL_CODES) return CARD_ERR_ARGUMENT;
    std::memset(g_card.pollingCodes, 0, sizeof g_card.pollingCodes);
    std::memcpy(g_card.pollingCodes, codes, 2 * static_cast<std::size_t>(count));
    g_card.pollingCodeCount = count;
    return CARD_OK;
}

CardStatus CardPoll(std::uint8_t idm[8], std::uint8_t pmm[8]) {
    if (idm == nullptr || pmm == nullptr) return CARD_ERR_ARGUMENT;
    if (g_card.pollingCodeCount == 0) return CARD_ERR_NO_SYSTEM_CODE;
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    CardStatus st = g_card.pollingCodeCount == 1
                        ? FelicaBuildPolling(g_card.pollingCodes, body, sizeof body, &length)
                        : FelicaBuildPollingMulti(g_card.pollingCodeCount, g_card.pollingCodes,
                                                  body, sizeof body, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st != CARD_OK) return st;
    std::size_t idmAt = 0;
    if (answer.body[0] == FELICA_ANSWER_POLLING) {
        if (answer.bodyLength < 17) return CARD_ERR_LENGTH;
        idmAt = 1;
    } else if (answer.body[0] == FELICA_ANSWER_POLLING_MULTI) {
        if (answer.bodyLength < 4) return CARD_ERR_LENGTH;
        st = ReaderStatusPair(answer);
        if (st != CARD_OK) return st;
        if (answer.bodyLength < 20) return CARD_ERR_LENGTH;
        idmAt = 4;
    } else {
        return CARD_RESPONSE_CODE_BASE + answer.body[0];
    }
    std::memcpy(idm, answer.body + idmAt, FELICA_IDM_SIZE);
    std::memcpy(g_card.idm, answer.body + idmAt, FELICA_IDM_SIZE);
    std::memcpy(pmm, answer.body + idmAt + FELICA_IDM_SIZE, FELICA_PMM_SIZE);
    return CARD_OK;
}

CardStatus CardRequestResponse(std::uint8_t *mode) {
    if (mode == nullptr) return CARD_ERR_ARGUMENT;
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    CardStatus st = FelicaBuildRequestResponse(g_card.idm, body, sizeof body, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st != CARD_OK) return st;
    st = ExpectAnswer(answer, FELICA_ANSWER_REQUEST_RESPONSE, 10);
    if (st != CARD_OK) return st;
    *mode = answer.body[9];
    return CARD_OK;
}

CardStatus CardReadBlocks(int n, const std::uint8_t *blocks, int capacity, std::uint8_t *out,
                          int *outLength) {
    if (n <= 0 || capacity <= 0 || blocks == nullptr || out == nullptr || outLength == nullptr)
        return CARD_ERR_ARGUMENT;
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    CardStatus st = FelicaBuildRead(g_card.idm, n, blocks, body, sizeof body, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st == CARD_OK) st = ExpectAnswer(answer, FELICA_ANSWER_READ, 11);
    if (st == CARD_OK) st = StatusFlags(answer);
    if (st == CARD_OK && answer.bodyLength < 12) st = CARD_ERR_LENGTH;
    if (st == CARD_OK) st = CopyBlocks(answer, 12, n, answer.body[11], capacity, out, outLength);
    WipeAnswer(&answer);
    return st;
}

CardStatus CardWriteBlocks(int n, const std::uint8_t *blocks, const std::uint8_t *data) {
    if (n <= 0 || blocks == nullptr || data == nullptr) return CARD_ERR_ARGUMENT;
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    CardStatus st = FelicaBuildWrite(g_card.idm, n, blocks, data, body, sizeof body, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st != CARD_OK) return st;
    st = ExpectAnswer(answer, FELICA_ANSWER_WRITE, 11);
    if (st != CARD_OK) return st;
    return StatusFlags(answer);
}

CardStatus CardAuthenticate(int keyNumber, int keyVersion, int na, const std::uint8_t *areas,
                            int ns, const std::uint8_t *services) {
    if (na <= 0 || ns <= 0 || areas == nullptr || services == nullptr) return CARD_ERR_ARGUMENT;
    CardStatus st = KeySelect(keyNumber, keyVersion);
    if (st != CARD_OK) return st;
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    st = FelicaBuildAuth(g_card.idm, na, areas, ns, services, body, sizeof body, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st != CARD_OK) return st;
    st = ExpectAnswer(answer, FELICA_ANSWER_AUTH, 4);
    if (st != CARD_OK) return st;
    return ReaderStatusPair(answer);
}

CardStatus CardAuthRead(int keyNumber, int keyVersion, int na, const std::uint8_t *areas, int ns,
                        const std::uint8_t *services, int nb, const std::uint8_t *blocks,
                        int capacity, std::uint8_t *out, int *outLength) {
    if (na <= 0 || ns <= 0 || nb <= 0 || capacity <= 0 || areas == nullptr || services == nullptr ||
        blocks == nullptr || out == nullptr || outLength == nullptr)
        return CARD_ERR_ARGUMENT;
    CardStatus st = KeySelect(keyNumber, keyVersion);
    if (st != CARD_OK) return st;
    std::uint8_t body[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    st = FelicaBuildAuthRead(g_card.idm, na, areas, ns, services, nb, blocks, body, sizeof body,
                             &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeBody(body, length, &answer);
    if (st == CARD_OK) st = ExpectAnswer(answer, FELICA_ANSWER_AUTH_READ, 4);
    if (st == CARD_OK) st = ReaderStatusPair(answer);
    if (st == CARD_OK && answer.bodyLength < 31) st = CARD_ERR_LENGTH;
    // The count is the answer's block count kept to its low 8 bits; with at most 12 blocks asked
    // that bounds it, and CopyBlocks refuses more than was asked or than the body holds.
    if (st == CARD_OK) st = CopyBlocks(answer, 31, nb, answer.body[30], capacity, out, outLength);
    WipeAnswer(&answer);
    return st;
}

CardStatus ReaderWriteKeyTable(int p1, int p2, int slots, const std::uint8_t *data) {
    if (slots <= 0 || data == nullptr) return CARD_ERR_ARGUMENT;
    std::uint8_t frame[FRAME_BUFFER_SIZE];
    std::size_t length = 0;
    CardStatus st = FelicaBuildKeyTableFrame(p1, p2, slots, data, frame, sizeof frame, &length);
    if (st != BUILD_OK) return st;
    Answer answer;
    st = ExchangeFrame(frame, length, &answer);
    if (st != CARD_OK) return st;
    if (answer.bodyLength < 2) return CARD_ERR_LENGTH;
    if (answer.body[0] == 0x90 && answer.body[1] == 0x00) return CARD_OK;
    return CARD_STATUS_FLAG_BASE + answer.body[0] * 256u + answer.body[1];
}
