// Every internal status of the library, in one table: its name, its value, the result code of
// ZUKcntrl.h it becomes, its meaning and its typical cause.  The constants below are made from the
// table, so a status cannot exist without a row; the result mapping (StatusResult) and the decoder
// (DescribeStatus) are made from it too, and so is the raw-code table of docs/api.md: the status
// test (tests/native/status, StatusTable.TheDocumentsRawCodeTableIsTheTable) makes the table from
// these rows and fails when the text between the document's markers differs, writing the table it
// made to status-table.md in the build folder to be put between them.
//
// Four families, told apart by the top byte; each family's base value means success:
//   0x02 reader link, 0x04 command builder, 0x08 card command, 0x10 session.
// A lower layer's status is passed up unchanged, so a session operation may end in a link status.
//
// Columns of the fixed rows:  X(name, value, result, meaning, cause)
// The result and cause columns are names that only status_table.cpp expands (the public result
// codes and the shared cause texts), so this header needs neither.
#ifndef ZUK_STATUS_STATUS_TABLE_H
#define ZUK_STATUS_STATUS_TABLE_H

#include <cstddef>
#include <cstdint>

#define ZUK_LINK_STATUSES(X)                                                                       \
    X(LINK_OK, 0x2000000, ZUK_OK, "success", kCauseNone)                                           \
    X(LINK_ERR_ARGUMENT, 0x2000001, ZUK_ERR_PARAM,                                                 \
      "missing buffer, zero length or over-long body", kCauseProgram)                              \
    X(LINK_ERR_FRAME_TOO_LONG, 0x2000002, ZUK_ERR_BUFFER,                                          \
      "a frame does not fit the receiving buffer", kCauseLine)                                     \
    X(LINK_ERR_INCOMPLETE, 0x2000003, ZUK_ERR_INCOMPLETE,                                          \
      "the reader's answer stayed incomplete after five reads", kCauseLine)                        \
    X(LINK_ERR_ALREADY_OPEN, 0x2000011, ZUK_ERR_ALREADY_OPEN, "the serial port is already open",   \
      kCauseOpenTwice)                                                                             \
    X(LINK_ERR_NOT_OPEN, 0x2000012, ZUK_ERR_NOT_OPEN, "the serial port is not open",               \
      kCauseNotOpen)                                                                               \
    X(LINK_ERR_OPEN, 0x2000013, ZUK_ERR_PORT_OPEN, "the serial port cannot be opened", kCausePort) \
    X(LINK_ERR_CLOSE, 0x2000014, ZUK_ERR_PORT_CLOSE, "the serial port cannot be closed",           \
      kCauseUnplugged)                                                                             \
    X(LINK_ERR_GET_STATE, 0x2000015, ZUK_ERR_PORT_IO, "the port's settings cannot be read",        \
      kCausePort)                                                                                  \
    X(LINK_ERR_SET_STATE, 0x2000016, ZUK_ERR_PORT_IO, "the port's settings cannot be changed",     \
      kCausePort)                                                                                  \
    X(LINK_ERR_PURGE, 0x2000017, ZUK_ERR_PORT_IO, "the port cannot be purged", kCausePort)         \
    X(LINK_ERR_WRITE, 0x2000018, ZUK_ERR_PORT_IO, "writing to the port failed", kCauseLine)        \
    X(LINK_ERR_READ, 0x2000019, ZUK_ERR_PORT_IO,                                                   \
      "reading from the port failed, or the reader did not answer", kCauseLine)                    \
    X(LINK_ANSWER_RESEND, 0x2000100, ZUK_ERR_READER_STATUS,                                        \
      "the reader asked for a resend twice (answer class 0x80/0xA0)", kCauseLine)                  \
    X(LINK_ANSWER_CLASS_81, 0x2000200, ZUK_ERR_READER_STATUS,                                      \
      "the reader answered with class 0x81/0xA1", kCauseReader)                                    \
    X(LINK_ANSWER_CLASS_82, 0x2000300, ZUK_ERR_READER_STATUS,                                      \
      "the reader answered with class 0x82/0xA2", kCauseReader)                                    \
    X(LINK_ANSWER_CLASS_83, 0x2000400, ZUK_ERR_READER_STATUS,                                      \
      "the reader answered with class 0x83/0xA3", kCauseReader)                                    \
    X(LINK_ANSWER_CLASS_84, 0x2000500, ZUK_ERR_READER_STATUS,                                      \
      "the reader answered with class 0x84/0xA4", kCauseReader)                                    \
    X(LINK_ANSWER_CLASS_87, 0x2000600, ZUK_ERR_READER_STATUS,                                      \
      "the reader answered with class 0x87/0xA7", kCauseReader)                                    \
    X(LINK_ERR_GENERAL, 0x2000700, ZUK_ERR_CARD_IO,                                                \
      "malformed answer, unknown answer class or a cipher failure", kCauseLine)                    \
    X(LINK_ERR_AUTH, 0x2001200, ZUK_ERR_CARD_IO,                                                   \
      "the reader's authentication or a sequence number check failed", kCauseKeys)                 \
    X(LINK_ERR_EMPTY_ANSWER, 0x2001300, ZUK_ERR_CARD_IO, "a secured answer came back empty",       \
      kCauseLine)

#define ZUK_BUILD_STATUSES(X)                                                                      \
    X(BUILD_OK, 0x4000000, ZUK_OK, "success", kCauseNone)                                          \
    X(BUILD_ERR_LIMIT, 0x4000001, ZUK_ERR_PARAM,                                                   \
      "an argument of a card command is outside its limits", kCauseProgram)                        \
    X(BUILD_ERR_TOO_LONG, 0x4000002, ZUK_ERR_BUFFER, "a card command does not fit its frame",      \
      kCauseProgram)

#define ZUK_CARD_STATUSES(X)                                                                       \
    X(CARD_OK, 0x8000000, ZUK_OK, "success", kCauseNone)                                           \
    X(CARD_ERR_ARGUMENT, 0x8000001, ZUK_ERR_PARAM, "invalid argument", kCauseProgram)              \
    X(CARD_ERR_BUFFER, 0x8000002, ZUK_ERR_BUFFER,                                                  \
      "the data in a response is larger than the receiving buffer", kCauseCard)                    \
    X(CARD_ERR_NO_SYSTEM_CODE, 0x8000003, ZUK_ERR_NO_DATA, "no system code is set for polling",    \
      kCauseSystemCode)                                                                            \
    X(CARD_ERR_NO_READER, 0x8000004, ZUK_ERR_PORT_OPEN, "reader not found", kCauseNoReader)        \
    X(CARD_ERR_LENGTH, 0x8000005, ZUK_ERR_CARD_IO,                                                 \
      "a response's length field disagrees with the bytes received", kCauseLine)                   \
    X(CARD_RESPONSE_OK, 0x8040000, ZUK_OK, "success (the expected response code)", kCauseNone)     \
    X(CARD_ERR_RESPONSE_EB, 0x80400EB, ZUK_ERR_CARD_IO, "unexpected response code 0xEB",           \
      kCauseCard)                                                                                  \
    X(CARD_ERR_RESPONSE_ED, 0x80400ED, ZUK_ERR_READER_STATUS, "unexpected response code 0xED",     \
      kCauseCard)                                                                                  \
    X(CARD_ERR_NO_ANSWER, 0x80400EF, ZUK_ERR_NO_CARD, "no card answered (response code 0xEF)",     \
      kCauseNoCard)                                                                                \
    X(CARD_ERR_RESPONSE_FB, 0x80400FB, ZUK_ERR_CARD_IO, "unexpected response code 0xFB",           \
      kCauseCard)                                                                                  \
    X(CARD_ERR_RESPONSE_FD, 0x80400FD, ZUK_ERR_READER_STATUS, "unexpected response code 0xFD",     \
      kCauseCard)                                                                                  \
    X(CARD_ERR_RESPONSE_FF, 0x80400FF, ZUK_ERR_READER_STATUS, "unexpected response code 0xFF",     \
      kCauseCard)

#define ZUK_SESSION_STATUSES(X)                                                                    \
    X(SESSION_OK, 0x10000000, ZUK_OK, "success", kCauseNone)                                       \
    X(SESSION_ERR_NO_PIN, 0x10000002, ZUK_ERR_NO_DATA, "the card holds no PIN", kCauseNoPin)       \
    X(SESSION_ERR_WRONG_PIN, 0x10000003, ZUK_ERR_PIN_WRONG, "wrong PIN", kCauseWrongPin)           \
    X(SESSION_ERR_NO_CARD, 0x10000005, ZUK_ERR_NO_CARD, "the card no longer answers", kCauseCard)  \
    X(SESSION_ERR_PIN_LOCKED, 0x10000006, ZUK_ERR_CARD_LOCKED, "the card's PIN is locked",         \
      kCausePinLocked)                                                                             \
    X(SESSION_ERR_NOW_LOCKED, 0x10000007, ZUK_ERR_PIN_LOCKED_NOW,                                  \
      "wrong PIN, and this failure locked the PIN", kCauseManyWrongPins)                           \
    X(SESSION_ERR_REVOKED, 0x10000008, ZUK_ERR_CARD_LOCKED,                                        \
      "the card is revoked on this machine: its IDm is on a revocation list", kCauseRevoked)       \
    X(SESSION_ERR_REVOCATION_TOO_LONG, 0x10000020, ZUK_ERR_SYSTEM,                                 \
      "the revocation lists name more cards than the library holds: every card is refused",        \
      kCauseRevocationList)                                                                        \
    X(SESSION_ERR_REVOCATION_UNREADABLE, 0x10000021, ZUK_ERR_SYSTEM,                               \
      "the revocation lists could not be read whole: every card is refused", kCauseRevocationList) \
    X(SESSION_ERR_KEYS_UNREADABLE, 0x10000009, ZUK_ERR_SYSTEM,                                     \
      "the stored site keys cannot be read from the registry", kCauseSiteKeys)                     \
    X(SESSION_ERR_KEYS_UNDECRYPTABLE, 0x1000000A, ZUK_ERR_SYSTEM,                                  \
      "the stored site keys cannot be decrypted on this machine", kCauseSiteKeys)                  \
    X(SESSION_ERR_KEYS_VERSION, 0x1000000B, ZUK_ERR_SYSTEM,                                        \
      "the stored site keys are of another format or version", kCauseSiteKeys)                     \
    X(SESSION_ERR_KEYS_LENGTH, 0x1000000C, ZUK_ERR_SYSTEM,                                         \
      "the stored site keys have a wrong length", kCauseSiteKeys)                                  \
    X(SESSION_ERR_KEYS_CHECK, 0x1000000D, ZUK_ERR_SYSTEM,                                          \
      "the stored site keys do not match their check value", kCauseSiteKeys)                       \
    X(SESSION_ERR_KEYS_WEAK, 0x1000000E, ZUK_ERR_SYSTEM,                                           \
      "the stored site keys are weak (a key or the mask the library refuses)", kCauseWeakSiteKeys) \
    X(SESSION_ERR_ALREADY_OPEN, 0x10000100, ZUK_ERR_ALREADY_OPEN,                                  \
      "the card session is already open", kCauseOpenTwice)                                         \
    X(SESSION_ERR_NOT_OPEN, 0x10000200, ZUK_ERR_NOT_OPEN, "the card session is not open",          \
      kCauseNotOpen)                                                                               \
    X(SESSION_ERR_ARGUMENT, 0x10010000, ZUK_ERR_PARAM, "an argument is invalid", kCauseProgram)    \
    X(SESSION_ERR_BUFFER, 0x10020000, ZUK_ERR_BUFFER,                                              \
      "the caller's buffer is too small for the card's data", kCauseSmallBuffer)                   \
    X(SESSION_ERR_NO_ITEM, 0x10040000, ZUK_ERR_SYSTEM, "the card holds no such item", kCauseCard)

#define ZUK_ALL_STATUSES(X)                                                                        \
    ZUK_LINK_STATUSES(X) ZUK_BUILD_STATUSES(X) ZUK_CARD_STATUSES(X) ZUK_SESSION_STATUSES(X)

// Statuses that carry bytes: base + the bytes (one: + rr; two: + xx * 256 + yy).
// Columns:  P(name, base, bytes, result, meaning (the bytes follow it), cause)
#define ZUK_FIELD_STATUSES(P)                                                                      \
    P(LINK_STATUS_WORD_BASE, 0x2010000, 2, ZUK_ERR_READER_STATUS,                                  \
      "the reader answered with status word", kCauseReader)                                        \
    P(LINK_AUTH_REFUSED_BASE, 0x2030000, 2, ZUK_ERR_READER_STATUS,                                 \
      "the reader refused the library's authentication with status word", kCauseKeysRefused)       \
    P(CARD_STATUS_FLAG_BASE, 0x8010000, 2, ZUK_ERR_READER_STATUS,                                  \
      "the card answered status flags", kCauseCard)                                                \
    P(CARD_READER_STATUS_BASE, 0x8020000, 2, ZUK_ERR_READER_STATUS,                                \
      "the reader answered status bytes", kCauseReader)                                            \
    P(CARD_RESPONSE_CODE_BASE, 0x8040000, 1, ZUK_ERR_UNEXPECTED, "unexpected response code",       \
      kCauseCard)

// A status word the reader gave in answer to the host's half of the mutual authentication (its
// check of the host's answer failed: the host used other keys than the reader holds) is kept under
// LINK_AUTH_REFUSED_BASE instead of LINK_STATUS_WORD_BASE, so that it names its cause; it gives the
// results of a status word everywhere.
//
// Phase bits OR-ed into a link status that arose while the link was opened or closed (the answer
// classes, the authentication and the status words; see LinkQualifyStatus).  A status word keeps
// a result of its own in each phase; every other qualified status gives ZUK_ERR_UNEXPECTED, as it
// always has (a reader that fails its authentication or answers busy while the link opens).
// Columns:  Q(name, bit, words' result, others' result, meaning suffix)
#define ZUK_PHASE_BITS(Q)                                                                          \
    Q(LINK_PHASE_OPEN, 0x100000, ZUK_ERR_PORT_OPEN, ZUK_ERR_UNEXPECTED, " while opening the link") \
    Q(LINK_PHASE_CLOSE, 0x200000, ZUK_ERR_LINK_CLOSE, ZUK_ERR_UNEXPECTED, " while closing the link")

#define ZUK_STATUS_CONSTANT(name, value, ...) constexpr std::uint32_t name = value;
ZUK_ALL_STATUSES(ZUK_STATUS_CONSTANT)
ZUK_FIELD_STATUSES(ZUK_STATUS_CONSTANT)
ZUK_PHASE_BITS(ZUK_STATUS_CONSTANT)
#undef ZUK_STATUS_CONSTANT

// The result code of ZUKcntrl.h that a status becomes: ZUK_OK for a family's success value (and
// for 0), ZUK_ERR_UNEXPECTED for a value that is no status.
std::int32_t StatusResult(std::uint32_t status);

bool StatusIsSuccess(std::uint32_t status);

// Whether a link status is marked with the phase it arose in (LinkQualifyStatus): the answer
// classes, the authentication, the status words, and any value that is no fixed link status.
bool StatusTakesPhase(std::uint32_t status);

// A status decoded for people: the family, the meaning (fields and phase decoded) and the cause.
struct StatusDescription {
    const char *family;  // "session", "card command", "command builder", "reader link"
    char meaning[160];
    const char *cause;
};
// False (and out untouched) for a value that is no status the library writes.
bool DescribeStatus(std::uint32_t status, StatusDescription *out);

// The rows of the table, for the documentation and the tests.  A field status has its base as
// value and the number of bytes it carries (the meaning is followed by them); fixed rows have 0.
struct StatusRow {
    const char *name;
    std::uint32_t value;
    std::int32_t result;
    const char *resultName;
    const char *family;
    const char *meaning;
    const char *cause;
    int bytes;
};
const StatusRow *StatusTable(std::size_t *count);

// The phase bits, for the documentation and the tests.
struct StatusPhase {
    const char *name;
    std::uint32_t bit;
    std::int32_t wordResult;  // a status word met in this phase
    const char *wordResultName;
    std::int32_t otherResult;  // any other status marked with the phase
    const char *otherResultName;
    const char *meaning;
};
const StatusPhase *StatusPhases(std::size_t *count);

#endif
