// Reader frame protocol: builds the management commands, runs exchanges with the single resend,
// and classifies answers and status words.
#include "link/reader.h"

#include <cstring>

#include "link/link_state.h"
#include "link/transport.h"
#include "platform/system.h"

namespace {

constexpr std::uint32_t RESEND_PAUSE_MS = 100;
constexpr std::uint32_t SPEED_SLOWEST = 1200;

// Reads one answer frame; in strict mode a frame whose checksum does not match is malformed.
// An answer that could not be read whole is purged from the line, so that its late tail is not
// taken for the start of the next answer (which would put every later exchange out of step).
LinkStatus ReadAnswer(std::uint8_t *response, std::uint32_t *responseLength) {
    const LinkStatus st = SerialReadFrame(response, responseLength);
    if (st == LINK_ERR_INCOMPLETE || st == LINK_ERR_FRAME_TOO_LONG || st == LINK_ERR_READ) {
        (void)SerialPurge();
        return st;
    }
    if (st != LINK_OK || !g_link.strictChecks) return st;
    const std::uint32_t n = *responseLength;
    if (FrameChecksum(response, n - 1) != response[n - 1]) return LINK_ERR_GENERAL;
    return LINK_OK;
}

// Builds type, length, body and checksum into a frame buffer; false when it does not fit.
bool BuildFrame(std::uint8_t type, const std::uint8_t *body, std::size_t count, std::uint8_t *out,
                std::size_t capacity, std::uint32_t *outLength) {
    if (count > 0xFFFF || count + FRAME_OVERHEAD > capacity) return false;
    out[0] = type;
    out[1] = static_cast<std::uint8_t>(count >> 8);
    out[2] = static_cast<std::uint8_t>(count);
    if (count > 0) std::memcpy(out + FRAME_BODY_OFFSET, body, count);
    out[FRAME_HEADER_SIZE + count] = FrameChecksum(out, FRAME_HEADER_SIZE + count);
    *outLength = static_cast<std::uint32_t>(count + FRAME_OVERHEAD);
    return true;
}

}  // namespace

std::uint8_t FrameChecksum(const std::uint8_t *bytes, std::size_t count) {
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

LinkStatus ReaderBuildCardFrame(std::uint8_t *output, std::uint32_t *outLength,
                                const std::uint8_t *body, std::uint32_t bodyLength) {
    if (output == nullptr || outLength == nullptr || (body == nullptr && bodyLength > 0)) {
        return LINK_ERR_ARGUMENT;
    }
    if (bodyLength > 0xFFFF) return LINK_ERR_ARGUMENT;
    return BuildFrame(FRAME_TYPE_CARD, body, bodyLength, output, bodyLength + FRAME_OVERHEAD,
                      outLength)
               ? LINK_OK
               : LINK_ERR_ARGUMENT;
}

void ReaderSetStrictChecks(bool on) { g_link.strictChecks = on; }
bool ReaderStrictChecks() { return g_link.strictChecks; }

LinkStatus ReaderClassifyAnswer(std::uint8_t typeByte) {
    switch (typeByte) {
    case 0x00:
    case 0x20: return LINK_OK;
    case 0x80:
    case 0xA0: return LINK_ANSWER_RESEND;
    case 0x81:
    case 0xA1: return LINK_ANSWER_CLASS_81;
    case 0x82:
    case 0xA2: return LINK_ANSWER_CLASS_82;
    case 0x83:
    case 0xA3: return LINK_ANSWER_CLASS_83;
    case 0x84:
    case 0xA4: return LINK_ANSWER_CLASS_84;
    case 0x87:
    case 0xA7: return LINK_ANSWER_CLASS_87;
    default: return LINK_ERR_GENERAL;
    }
}

LinkStatus ReaderExchange(const std::uint8_t *request, std::uint32_t requestLength,
                          std::uint8_t *response, std::uint32_t *responseLength) {
    if (request == nullptr || requestLength == 0 || response == nullptr ||
        responseLength == nullptr || *responseLength == 0 || requestLength > 0x7FFFFFFF) {
        return LINK_ERR_ARGUMENT;
    }
    const std::uint32_t capacity = *responseLength;
    LinkStatus st = SerialWrite(request, static_cast<std::int32_t>(requestLength));
    if (st != LINK_OK) return st;
    st = ReadAnswer(response, responseLength);
    if (st != LINK_OK) return st;
    st = ReaderClassifyAnswer(response[0]);
    if (st != LINK_ANSWER_RESEND) return st;

    // The reader was busy: once more, after a pause and with both directions purged.
    PlatSleep(RESEND_PAUSE_MS);
    (void)SerialPurge();
    st = SerialWrite(request, static_cast<std::int32_t>(requestLength));
    if (st != LINK_OK) return st;
    *responseLength = capacity;
    st = ReadAnswer(response, responseLength);
    if (st != LINK_OK) return st;
    return ReaderClassifyAnswer(response[0]);
}

LinkStatus ReaderCheckStatusWord(const std::uint8_t *response) {
    if (response == nullptr) return LINK_ERR_ARGUMENT;
    const std::size_t l = FrameBodyLength(response);
    if (l < 2) return LINK_ERR_GENERAL;
    const std::uint8_t sw1 = response[l + 1];
    const std::uint8_t sw2 = response[l + 2];
    if (sw1 == 0x90 && sw2 == 0x00) return LINK_OK;
    return LINK_STATUS_WORD_BASE + sw1 * 256u + sw2;
}

LinkStatus ReaderCommand(std::uint8_t type, const std::uint8_t *body, std::size_t count,
                         std::uint8_t *answer, std::uint32_t *answerLength) {
    std::uint8_t request[FRAME_BUFFER_SIZE];
    std::uint32_t requestLength = 0;
    if (!BuildFrame(type, body, count, request, sizeof request, &requestLength)) {
        return LINK_ERR_ARGUMENT;
    }
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t responseLength = sizeof response;
    LinkStatus st = ReaderExchange(request, requestLength, response, &responseLength);
    if (st != LINK_OK) return st;
    st = ReaderCheckStatusWord(response);
    if (st != LINK_OK) return st;
    if (answer != nullptr) {
        std::memcpy(answer, response, responseLength);
        if (answerLength != nullptr) *answerLength = responseLength;
    }
    return LINK_OK;
}

std::uint8_t ReaderSpeedCode(std::uint32_t lineSpeed) {
    switch (lineSpeed) {
    case 9600: return 0x00;
    case 14400: return 0x10;
    case 19200: return 0x01;
    case 28800: return 0x11;
    case 38400: return 0x02;
    case 57600: return 0x12;
    default: return 0x13;
    }
}

LinkStatus ReaderSetSpeed(std::uint32_t lineSpeed) {
    const std::uint8_t body[] = {0x00, 0x07, ReaderSpeedCode(lineSpeed), 0x00};
    return ReaderCommand(FRAME_TYPE_LINK, body, sizeof body, nullptr, nullptr);
}

LinkStatus ReaderNegotiateSpeed() {
    std::uint32_t rate = 0;
    LinkStatus st = SerialGetBaudRate(&rate);
    if (st != LINK_OK) return st;
    if (rate == SPEED_SLOWEST) {
        st = SerialSetBaudRate(READER_SPEED_SAFE);
        if (st != LINK_OK) return st;
    }
    const std::uint8_t opening[] = {0x00, 0x01, 0x00, 0x00, 0x01};
    st = ReaderCommand(FRAME_TYPE_LINK, opening, sizeof opening, nullptr, nullptr);
    if (st != LINK_OK) return st;
    st = SerialGetBaudRate(&rate);
    if (st != LINK_OK) return st;
    if (rate != READER_SPEED_SAFE) {
        st = SerialSetBaudRate(READER_SPEED_SAFE);
        if (st != LINK_OK) return st;
    }
    st = ReaderSetSpeed(READER_SPEED_FAST);
    if (st != LINK_OK) return st;
    return SerialSetBaudRate(READER_SPEED_FAST);
}

LinkStatus ReaderInitialise() {
    static const std::uint8_t kSteps[3][4] = {
        {0x00, 0x01, 0x00, 0x00},  // reader start
        {0x00, 0x11, 0x01, 0x00},  // activate
        {0x00, 0x13, 0x04, 0x05},  // reader setting 04 05
    };
    for (const auto &step : kSteps) {
        const LinkStatus st = ReaderCommand(FRAME_TYPE_READER, step, sizeof step, nullptr, nullptr);
        if (st != LINK_OK) return st;
    }
    return LINK_OK;
}

void ReaderDeactivate() {
    const std::uint8_t body[] = {0x00, 0x11, 0x00, 0x00};
    (void)ReaderCommand(FRAME_TYPE_READER, body, sizeof body, nullptr, nullptr);
}

LinkStatus LinkQualifyStatus(LinkStatus code, LinkStatus phaseBits) {
    return StatusTakesPhase(code) ? (code | phaseBits) : code;
}
