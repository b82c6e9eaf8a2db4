// Decoding of the internal status codes: fixed codes by a table, the codes that carry bytes
// (response codes, card status flags, reader status bytes, status words) by their fields.
#include "card/status_names.h"

#include <cstdio>
#include <cstring>

#include "card/card_status.h"
#include "link/link.h"

namespace {

const char kSession[] = "session";
const char kCard[] = "card command";
const char kBuild[] = "command builder";
const char kLink[] = "reader link";

const char kCauseProgram[] = "a fault of the calling program or of the library: report it with the trace";
const char kCausePort[] = "the port: check the COM port name, the USB-serial driver and the cable "
                          "(zukcli status tries the port)";
const char kCauseLine[] = "the serial line: a loose cable, a reader without power, or another program "
                          "on the port";
const char kCauseReader[] = "the reader refused a command: unplug and replug it; if it stays, the "
                            "reader may need service";
const char kCauseKeys[] = "the reader's keys differ from the library's build keys (a reader "
                          "provisioned for another deployment), or line noise";
const char kCauseCard[] = "the card: lay it flat on the reader and keep it there; a card of "
                          "another system or an unformatted card has no ZUKcntrl data";

const StatusName kNames[] = {
    {SESSION_ERR_ALREADY_OPEN, kSession, "the card session is already open", "ZUKOpen called twice"},
    {SESSION_ERR_NOT_OPEN, kSession, "the card session is not open", "a card call before ZUKOpen"},
    {SESSION_ERR_ARGUMENT, kSession, "an argument is invalid", kCauseProgram},
    {SESSION_ERR_BUFFER, kSession, "the caller's buffer is too small for the card's data",
     "give a larger buffer (ZUKGetMaxLength gives the sizes)"},
    {SESSION_ERR_NO_ITEM, kSession, "the card holds no such item", kCauseCard},
    {SESSION_ERR_NO_PIN, kSession, "the card holds no PIN", "a card issued without a PIN"},
    {SESSION_ERR_WRONG_PIN, kSession, "wrong PIN", "the user typed another PIN"},
    {SESSION_ERR_NO_CARD, kSession, "the card no longer answers", kCauseCard},
    {SESSION_ERR_PIN_LOCKED, kSession, "the card's PIN is locked", "too many wrong PINs: the card must be reset by its issuer"},
    {SESSION_ERR_NOW_LOCKED, kSession, "wrong PIN, and this failure locked the PIN", "too many wrong PINs"},
    {CARD_ERR_ARGUMENT, kCard, "invalid argument", kCauseProgram},
    {CARD_ERR_BUFFER, kCard, "the data in a response is larger than the receiving buffer", kCauseCard},
    {CARD_ERR_NO_SYSTEM_CODE, kCard, "no system code is set for polling",
     "[FeliCa] SystemCode holds no valid code"},
    {CARD_ERR_NO_READER, kCard, "reader not found",
     "[Device] DeviceName is not PR300, or no PortName is set and the USB-serial driver's registry "
     "entries name no port (driver not installed, reader not plugged in)"},
    {CARD_ERR_LENGTH, kCard, "a response's length field disagrees with the bytes received", kCauseLine},
    {CARD_ERR_NO_ANSWER, kCard, "no card answered (response code 0xEF)", "no card on the reader, or a card of another system code"},
    {BUILD_ERR_LIMIT, kBuild, "an argument of a card command is outside its limits", kCauseProgram},
    {BUILD_ERR_TOO_LONG, kBuild, "a card command does not fit its frame", kCauseProgram},
    {LINK_ERR_ARGUMENT, kLink, "missing buffer, zero length or over-long body", kCauseProgram},
    {LINK_ERR_FRAME_TOO_LONG, kLink, "a frame does not fit the receiving buffer", kCauseLine},
    {LINK_ERR_INCOMPLETE, kLink, "the reader's answer stayed incomplete after five reads", kCauseLine},
    {LINK_ERR_ALREADY_OPEN, kLink, "the serial port is already open", "ZUKOpen called twice"},
    {LINK_ERR_NOT_OPEN, kLink, "the serial port is not open", "a card call before ZUKOpen"},
    {LINK_ERR_OPEN, kLink, "the serial port cannot be opened", kCausePort},
    {LINK_ERR_CLOSE, kLink, "the serial port cannot be closed", "the USB-serial adapter was unplugged while open"},
    {LINK_ERR_GET_STATE, kLink, "the port's settings cannot be read", kCausePort},
    {LINK_ERR_SET_STATE, kLink, "the port's settings cannot be changed", kCausePort},
    {LINK_ERR_PURGE, kLink, "the port cannot be purged", kCausePort},
    {LINK_ERR_WRITE, kLink, "writing to the port failed", kCauseLine},
    {LINK_ERR_READ, kLink, "reading from the port failed, or the reader did not answer", kCauseLine},
    {LINK_ANSWER_RESEND, kLink, "the reader asked for a resend twice (answer class 0x80/0xA0)", kCauseLine},
    {LINK_ANSWER_CLASS_81, kLink, "the reader answered with class 0x81/0xA1", kCauseReader},
    {LINK_ANSWER_CLASS_82, kLink, "the reader answered with class 0x82/0xA2", kCauseReader},
    {LINK_ANSWER_CLASS_83, kLink, "the reader answered with class 0x83/0xA3", kCauseReader},
    {LINK_ANSWER_CLASS_84, kLink, "the reader answered with class 0x84/0xA4", kCauseReader},
    {LINK_ANSWER_CLASS_87, kLink, "the reader answered with class 0x87/0xA7", kCauseReader},
    {LINK_ERR_GENERAL, kLink, "malformed answer, unknown answer class or a cipher failure", kCauseLine},
    {LINK_ERR_AUTH, kLink, "the reader's authentication or a sequence number check failed", kCauseKeys},
    {LINK_ERR_EMPTY_ANSWER, kLink, "a secured answer came back empty", kCauseLine},
};

// FeliCa status flag 2 (meaningful when flag 1 is not 0).
const char *StatusFlag2Text(unsigned flag2) {
    switch (flag2) {
    case 0xA1: return "illegal number of services";
    case 0xA2: return "illegal number of blocks";
    case 0xA3: return "block list points past the service list";
    case 0xA4: return "illegal service type";
    case 0xA5: return "access not allowed";
    case 0xA6: return "service does not exist";
    case 0xA7: return "illegal access mode";
    case 0xA8: return "block number out of range";
    case 0x70: return "memory error";
    case 0x71: return "rewrite-count warning";
    default: return "unlisted status";
    }
}

void Fill(StatusDescription *out, const char *family, const char *cause, const char *meaning) {
    out->family = family;
    out->cause = cause;
    std::snprintf(out->meaning, sizeof out->meaning, "%s", meaning);
}

}  // namespace

const StatusName *KnownCardStatuses(std::size_t *count) {
    if (count) *count = sizeof kNames / sizeof kNames[0];
    return kNames;
}

bool DescribeCardStatus(std::uint32_t code, StatusDescription *out) {
    if (out == nullptr) return false;
    // Link codes met while opening or closing the link carry a phase bit.
    const std::uint32_t top = code >> 24;
    std::uint32_t base = code;
    const char *phase = "";
    if (top == 0x02) {
        if ((code & LINK_PHASE_OPEN) != 0) phase = " while opening the link";
        if ((code & LINK_PHASE_CLOSE) != 0) phase = " while closing the link";
        if ((code & (LINK_PHASE_OPEN | LINK_PHASE_CLOSE)) == (LINK_PHASE_OPEN | LINK_PHASE_CLOSE)) return false;
        base = code & ~(LINK_PHASE_OPEN | LINK_PHASE_CLOSE);
    }
    for (const StatusName &n : kNames) {
        if (n.code == base) {
            StatusDescription d;
            d.family = n.family;
            d.cause = n.cause;
            std::snprintf(d.meaning, sizeof d.meaning, "%s%s", n.meaning, phase);
            *out = d;
            return true;
        }
    }
    const unsigned high = (base >> 8) & 0xFF;
    const unsigned low = base & 0xFF;
    char meaning[160];
    if ((base & 0xFFFF0000u) == LINK_STATUS_WORD_BASE) {
        std::snprintf(meaning, sizeof meaning, "the reader answered with status word %02X %02X%s", high, low, phase);
        Fill(out, kLink, kCauseReader, meaning);
        return true;
    }
    if (top == 0x02) return false;
    if ((code & 0xFFFFFF00u) == CARD_RESPONSE_CODE_BASE && low != 0) {
        std::snprintf(meaning, sizeof meaning, "unexpected response code 0x%02X", low);
        Fill(out, kCard, kCauseCard, meaning);
        return true;
    }
    if ((code & 0xFFFF0000u) == CARD_STATUS_FLAG_BASE && high != 0) {
        std::snprintf(meaning, sizeof meaning, "the card answered status flags %02X %02X: %s", high, low,
                      StatusFlag2Text(low));
        Fill(out, kCard, kCauseCard, meaning);
        return true;
    }
    if ((code & 0xFFFF0000u) == CARD_READER_STATUS_BASE && low != 0) {
        std::snprintf(meaning, sizeof meaning, "the reader answered status bytes %02X %02X", high, low);
        Fill(out, kCard, kCauseReader, meaning);
        return true;
    }
    return false;
}
