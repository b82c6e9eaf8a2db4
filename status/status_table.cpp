// The status table expanded: the result mapping, the decoder and the rows for the documentation.
#include "status/status_table.h"

#include <cstdio>

#include "ZUKcntrl.h"

namespace {

const char kCauseNone[] = "";
const char kCauseProgram[] =
    "a fault of the calling program or of the library: report it with the trace";
const char kCausePort[] = "the port: check the COM port name, the USB-serial driver and the cable "
                          "(zukcli status tries the port)";
const char kCauseLine[] =
    "the serial line: a loose cable, a reader without power, or another program "
    "on the port";
const char kCauseReader[] = "the reader refused a command: unplug and replug it; if it stays, the "
                            "reader may need service";
// The remedies of a reader that holds other channel keys than the library uses.
#define ZUK_KEYS_REMEDY                                                                            \
    "the reader holds other keys than the library: a reader still on the built-in or another "     \
    "site's keys is moved to this site's with zukcard move-reader; a machine without this site's " \
    "keys gets them with zukcli keys install (zukcli status says which keys the reader accepts)"
const char kCauseKeys[] = ZUK_KEYS_REMEDY "; or line noise";
const char kCauseKeysRefused[] = ZUK_KEYS_REMEDY;
// A status word 63 xx is how a reader refuses a failed verification, the authentication among
// them: a trace of a library that did not yet tell the authentication's refusals apart shows the
// key mismatch so.
const char kCauseWord63[] = "the reader refused a verification: if it was the authentication while "
                            "opening the link, " ZUK_KEYS_REMEDY "; otherwise unplug and replug it";
#undef ZUK_KEYS_REMEDY
const char kCauseCard[] = "the card: lay it flat on the reader and keep it there; a card of "
                          "another system or an unformatted card has no ZUKcntrl data";
const char kCauseOpenTwice[] = "ZUKOpen called twice";
const char kCauseNotOpen[] = "a card call before ZUKOpen";
const char kCauseUnplugged[] = "the USB-serial adapter was unplugged while open";
const char kCauseSystemCode[] = "[FeliCa] SystemCode holds no valid code";
const char kCauseNoReader[] =
    "[Device] DeviceName is not PR300, or no PortName is set and the USB-serial driver's registry "
    "entries name no port (driver not installed, reader not plugged in)";
const char kCauseNoCard[] = "no card on the reader, or a card of another system code";
const char kCauseNoPin[] = "a card issued without a PIN";
const char kCauseWrongPin[] = "the user typed another PIN";
const char kCausePinLocked[] = "too many wrong PINs: the card must be reset by its issuer";
const char kCauseManyWrongPins[] = "too many wrong PINs";
const char kCauseRevoked[] =
    "an administrator revoked the card (Group Policy or zukcli revoke): it "
    "identifies nobody here; zukcli revoked lists the entries";
const char kCauseRevocationList[] =
    "the revocation lists (Group Policy's and the machine's) name more than "
    "32,768 distinct cards, hold a REG_MULTI_SZ value over 64 KB, or cannot be "
    "read: zukcli status says which; shorten or mend them";
const char kCauseSiteKeys[] = "site keys installed on another machine, damaged or changed in the "
                              "registry: the library uses no keys at all until the site's key file "
                              "is installed again (zukcli keys install) or removed (zukcli keys "
                              "remove); zukcli keys status names the fault";
const char kCauseWeakSiteKeys[] =
    "site keys stored before this library refused weak keys, or written by "
    "other means: the library uses no keys at all until a key file from "
    "zukcli keys generate is installed (zukcli keys install; readers and "
    "cards move to it) or the keys are removed (zukcli keys remove)";
const char kCauseSmallBuffer[] = "give a larger buffer (ZUKGetMaxLength gives the sizes)";

const char kLink[] = "reader link";
const char kBuild[] = "command builder";
const char kCard[] = "card command";
const char kSession[] = "session";

#define ZUK_LINK_ROW(name, value, result, meaning, cause)                                          \
    {#name, value, result, #result, kLink, meaning, cause, 0},
#define ZUK_BUILD_ROW(name, value, result, meaning, cause)                                         \
    {#name, value, result, #result, kBuild, meaning, cause, 0},
#define ZUK_CARD_ROW(name, value, result, meaning, cause)                                          \
    {#name, value, result, #result, kCard, meaning, cause, 0},
#define ZUK_SESSION_ROW(name, value, result, meaning, cause)                                       \
    {#name, value, result, #result, kSession, meaning, cause, 0},
#define ZUK_FIELD_ROW(name, value, bytes, result, meaning, cause)                                  \
    {#name, value, result, #result, (value >> 24) == 0x02 ? kLink : kCard, meaning, cause, bytes},

const StatusRow kRows[] = {ZUK_LINK_STATUSES(ZUK_LINK_ROW) ZUK_BUILD_STATUSES(ZUK_BUILD_ROW)
                               ZUK_CARD_STATUSES(ZUK_CARD_ROW) ZUK_SESSION_STATUSES(ZUK_SESSION_ROW)
                                   ZUK_FIELD_STATUSES(ZUK_FIELD_ROW)};

#undef ZUK_LINK_ROW
#undef ZUK_BUILD_ROW
#undef ZUK_CARD_ROW
#undef ZUK_SESSION_ROW
#undef ZUK_FIELD_ROW

#define ZUK_PHASE_ROW(name, bit, wordResult, otherResult, suffix)                                  \
    {#name, bit, wordResult, #wordResult, otherResult, #otherResult, suffix},
const StatusPhase kPhases[] = {ZUK_PHASE_BITS(ZUK_PHASE_ROW)};
#undef ZUK_PHASE_ROW

constexpr std::uint32_t kPhaseBits = LINK_PHASE_OPEN | LINK_PHASE_CLOSE;

std::uint32_t FieldMask(int bytes) { return bytes == 1 ? 0xFFFFFF00u : 0xFFFF0000u; }

// The fixed row of a value, or null.
const StatusRow *FixedRow(std::uint32_t value) {
    for (const StatusRow &row : kRows) {
        if (row.bytes == 0 && row.value == value) return &row;
    }
    return nullptr;
}

// The field row whose base the value carries bytes on, or null.
const StatusRow *FieldRow(std::uint32_t value) {
    for (const StatusRow &row : kRows) {
        if (row.bytes != 0 && (value & FieldMask(row.bytes)) == row.value) return &row;
    }
    return nullptr;
}

// A link status carrying one phase bit: the status without it and the bit; false otherwise.
bool SplitPhase(std::uint32_t status, std::uint32_t *base, std::uint32_t *phase) {
    *phase = status & kPhaseBits;
    *base = status & ~kPhaseBits;
    return (status >> 24) == 0x02 && *phase != 0 && *phase != kPhaseBits;
}

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

}  // namespace

bool StatusIsSuccess(std::uint32_t status) {
    switch (status) {
    case 0:
    case LINK_OK:
    case BUILD_OK:
    case CARD_OK:
    case CARD_RESPONSE_OK:
    case SESSION_OK: return true;
    default: return false;
    }
}

std::int32_t StatusResult(std::uint32_t status) {
    switch (status) {
    case 0: return ZUK_OK;
#define ZUK_STATUS_CASE(name, value, result, ...)                                                  \
    case value: return result;
        ZUK_ALL_STATUSES(ZUK_STATUS_CASE)
#undef ZUK_STATUS_CASE
    default: break;
    }
    std::uint32_t base = 0, phase = 0;
    if (SplitPhase(status, &base, &phase)) {
        const std::uint32_t field = base & FieldMask(2);
        const bool word = field == LINK_STATUS_WORD_BASE || field == LINK_AUTH_REFUSED_BASE;
#define ZUK_PHASE_CASE(name, bit, wordResult, otherResult, suffix)                                 \
    if (phase == bit) return word ? wordResult : otherResult;
        ZUK_PHASE_BITS(ZUK_PHASE_CASE)
#undef ZUK_PHASE_CASE
    }
    if (const StatusRow *row = FieldRow(status)) return row->result;
    return ZUK_ERR_UNEXPECTED;
}

bool StatusTakesPhase(std::uint32_t status) {
    // The answer classes and the authentication; the port, frame and cipher failures say the same
    // in every phase and stay unmarked.
    if ((status >= LINK_ANSWER_RESEND && status <= LINK_ANSWER_CLASS_87) || status == LINK_ERR_AUTH)
        return true;
    const StatusRow *row = FixedRow(status);
    return row == nullptr || row->family != kLink;
}

bool DescribeStatus(std::uint32_t status, StatusDescription *out) {
    if (out == nullptr) return false;
    std::uint32_t base = status, phase = 0;
    const char *suffix = "";
    if ((status >> 24) == 0x02 && (status & kPhaseBits) != 0) {
        if (!SplitPhase(status, &base, &phase)) return false;
#define ZUK_PHASE_SUFFIX(name, bit, wordResult, otherResult, text)                                 \
    if (phase == bit) suffix = text;
        ZUK_PHASE_BITS(ZUK_PHASE_SUFFIX)
#undef ZUK_PHASE_SUFFIX
    }
    StatusDescription d;
    if (const StatusRow *row = FixedRow(base)) {
        d.family = row->family;
        d.cause = row->cause;
        std::snprintf(d.meaning, sizeof d.meaning, "%s%s", row->meaning, suffix);
        *out = d;
        return true;
    }
    const StatusRow *row = FieldRow(base);
    if (row == nullptr) return false;
    const unsigned high = (base >> 8) & 0xFF;
    const unsigned low = base & 0xFF;
    char bytes[16];
    if (row->bytes == 1) {
        std::snprintf(bytes, sizeof bytes, " 0x%02X", low);
    } else {
        std::snprintf(bytes, sizeof bytes, " %02X %02X", high, low);
    }
    const bool flags = row->value == CARD_STATUS_FLAG_BASE;
    std::snprintf(d.meaning, sizeof d.meaning, "%s%s%s%s%s", row->meaning, bytes, flags ? ": " : "",
                  flags ? StatusFlag2Text(low) : "", suffix);
    d.family = row->family;
    d.cause = row->value == LINK_STATUS_WORD_BASE && high == 0x63 ? kCauseWord63 : row->cause;
    *out = d;
    return true;
}

const StatusRow *StatusTable(std::size_t *count) {
    if (count) *count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const StatusPhase *StatusPhases(std::size_t *count) {
    if (count) *count = sizeof kPhases / sizeof kPhases[0];
    return kPhases;
}
