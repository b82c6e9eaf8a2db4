// Every public result code of ZUKcntrl.h, in one table: its name, its value, the short meaning the
// header states beside it, the full meaning, what a host should do, and whether it is a reader
// error (the prompts offer Retry for it and a host may try again).  zukcli's names and meanings,
// the retry set (IsReaderError) and the results table of docs/api.md are made from these rows;
// result_table.cpp checks every value against the header at compile time, and a native test
// checks the header's names and comments against the rows.
//
// The public header stays plain C for hosts and defines the codes itself; a new result code is one
// #define there and one row here, in the header's order.
//
// Columns:  R(name, value, header comment, meaning, what a host should do, reader error)
// Texts may quote names in `backticks` and link a document as [title](file.md#anchor): docs/api.md
// shows them so, zukcli prints "title in file.md" and drops the marks.
#ifndef ZUK_STATUS_RESULT_TABLE_H
#define ZUK_STATUS_RESULT_TABLE_H

#include <cstddef>
#include <cstdint>

#define ZUK_RESULTS(R)                                                                             \
    R(ZUK_OK, 0, "", "success", "use the outputs", false)                                          \
    R(ZUK_CANCELLED, (-1), "the user ended a prompt with Cancel, or ZUKCancel ended a wait",       \
      "the user ended a prompt of `ZUKGetUserAccount` with Cancel, or `ZUKCancel` ended a "        \
      "waiting call; the outputs are emptied",                                                     \
      "treat as \"the user declined\"; do not retry on your own", false)                           \
    R(ZUK_ERR_INCOMPLETE, 1, "a prompt cannot be shown, or the reader's answer stayed incomplete", \
      "a prompt dialog could not be shown, or the reader's answer stayed incomplete",              \
      "check that the process may show windows (interactive desktop, not a service); check the "   \
      "reader's cable; retry later",                                                               \
      false)                                                                                       \
    R(ZUK_ERR_NO_DATA, 2, "the card holds no account, or no PIN to verify",                        \
      "the card holds no user account, or no PIN when one is to be verified",                      \
      "the card is not issued for this system: ask for another card", false)                       \
    R(ZUK_ERR_PIN_WRONG, 3, "the PIN does not match; the card's failure count was raised",         \
      "the PIN does not match (the card counted the failure); from `ZUKGetUserAccount`: PIN "      \
      "entry ended without success",                                                               \
      "tell the user; each further wrong PIN brings the card closer to its lock", false)           \
    R(ZUK_ERR_DISABLED, 4, "the library is switched off (registry Mode 0 or unsupported)",         \
      "the registry `Mode` is 0 (library switched off); from `ZUKGetUserAccount` with a reader, "  \
      "also a `Mode` other than 256 and 768",                                                      \
      "fall back to the host's own log-on, or fix `Mode` (`zukcli status`)", false)                \
    R(ZUK_ERR_NO_CARD, 5, "no card answered on the reader", "no card answered on the reader",      \
      "ask the user to lay the card on the reader; call `ZUKSenseCard` again", false)              \
    R(ZUK_ERR_CARD_LOCKED, 6,                                                                      \
      "the card's PIN failure count has reached its limit, or the card is revoked on this "        \
      "machine",                                                                                   \
      "the card's PIN failure count has reached the card's limit, or the card is revoked on this " \
      "machine (the raw code in the trace says which; see "                                        \
      "[Revoked cards](configuration.md#revoked-cards))",                                          \
      "the card must be unlocked by its issuer, or taken off the revocation list; do not offer "   \
      "PIN entry",                                                                                 \
      false)                                                                                       \
    R(ZUK_ERR_PIN_LOCKED_NOW, 7, "wrong PIN, and this failure locked the card",                    \
      "wrong PIN, and this failure locked the card",                                               \
      "as 6; tell the user that the card is now locked", false)                                    \
    R(ZUK_ERR_ACCOUNT_STORE, 16, "the credential store cannot be written or holds no usable pair", \
      "the credential store in the user's registry cannot be written or cleared, or no usable "    \
      "stored account exists (pick-up mode)",                                                      \
      "for pick-up: make the hand-over call first; otherwise check the user's registry", false)    \
    R(ZUK_ERR_VERSION, 48, "AccountRequest.Version is not 0x10000",                                \
      "`AccountRequest.Version` is not 0x10000",                                                   \
      "programming error: set `Version` to `ZUK_ACCOUNT_REQUEST_VERSION`", false)                  \
    R(ZUK_ERR_ALREADY_OPEN, 256, "the card session or serial port is already open",                \
      "the card session or serial port is already open",                                           \
      "programming error: `ZUKOpen` once, `ZUKClose` once", true)                                  \
    R(ZUK_ERR_NOT_OPEN, 512, "the card session or serial port is not open",                        \
      "the card session or serial port is not open", "call `ZUKOpen` first (in this process)",     \
      true)                                                                                        \
    R(ZUK_ERR_PORT_CLOSE, 768, "the serial port cannot be closed",                                 \
      "the serial port cannot be closed",                                                          \
      "the reader was probably unplugged; the session is over, open again later", true)            \
    R(ZUK_ERR_PORT_OPEN, 1280, "the serial port cannot be opened, or the reader is not found",     \
      "the serial port cannot be opened, the configured reader model is not PR300, the reader's "  \
      "port is not found, or the reader failed while the link was opened",                         \
      "check the cable and driver, `[Device]` in the INI, and that no other program holds the "    \
      "port",                                                                                      \
      true)                                                                                        \
    R(ZUK_ERR_LINK_CLOSE, 1536, "the reader reported a failure while the link was being closed",   \
      "the reader reported a failure while the link was being closed",                             \
      "nothing to do for this session; if it persists, reconnect the reader", true)                \
    R(ZUK_ERR_BUSY, 1792,                                                                          \
      "another call of the library is in progress in this process, or another process holds the "  \
      "reader past OpenWait",                                                                      \
      "another call of the library is in progress in this process, or (from `ZUKOpen`) another "   \
      "process holds the reader past `OpenWait`",                                                  \
      "do not call the library re-entrantly; wait for the running call; open again later", true)   \
    R(ZUK_ERR_HANDLE, 2048, "the reader handle is not 1", "the reader handle is not 1",            \
      "pass the handle `ZUKOpen` returned (open the reader first); with `Device` 0 there is no "   \
      "reader and the card operations always answer this",                                         \
      true)                                                                                        \
    R(ZUK_ERR_PORT_IO, 2304, "configuring, purging, writing or reading the port failed",           \
      "configuring, purging, writing or reading the serial port failed",                           \
      "the reader was unplugged or the driver failed: `ZUKClose`, then `ZUKOpen` again", true)     \
    R(ZUK_ERR_READER_STATUS, 2560, "the reader answered with an error status",                     \
      "the reader answered with an error status, or another reader or card failure",               \
      "retry; if it persists, reconnect the reader", true)                                         \
    R(ZUK_ERR_PARAM, 0x10000, "an argument is invalid",                                            \
      "an argument is invalid: null pointer, size of 0 or below, a request mode outside the "      \
      "list, a window that does not exist",                                                        \
      "programming error: fix the call", false)                                                    \
    R(ZUK_ERR_BUFFER, 0x20000, "a caller's buffer is too small for the data",                      \
      "a buffer given by the caller is too small for the data",                                    \
      "use the sizes from `ZUKGetMaxLength` (128 and 256) or larger buffers", false)               \
    R(ZUK_ERR_SYSTEM, 0x40000,                                                                     \
      "a system facility failed, or the site keys stored on the machine cannot be used",           \
      "a system facility failed: the current user's registry, or the card-access window; or the "  \
      "site keys stored on the machine cannot be used (raw status 0x10000009-0x1000000E; no "      \
      "Retry is offered then); or the revocation lists cannot be held whole, and every card is "   \
      "refused (0x10000020, 0x10000021)",                                                          \
      "check the user profile and that the process may create windows; `zukcli keys status` "      \
      "names a site key fault, `zukcli status` a revocation list fault",                           \
      false)                                                                                       \
    R(ZUK_ERR_CARD_IO, 0x1000000, "the reader's answer was malformed or a card command failed",    \
      "the reader's answer was malformed, or a card command failed (the card was moved away "      \
      "during the operation)",                                                                     \
      "ask the user to leave the card on the reader and retry", false)                             \
    R(ZUK_ERR_UNEXPECTED, 0x7F000000, "an unexpected prompt result or unmapped internal status",   \
      "a prompt returned a value no branch expects, or an internal status has no mapping",         \
      "report it with the trace log", false)

// One result code, for zukcli, the documentation and the tests.
struct ResultRow {
    std::int32_t value;
    const char *name;
    const char *headerComment;  // the comment beside its #define in ZUKcntrl.h ("" for none)
    const char *meaning;
    const char *action;  // what a host should do
    bool readerError;
};

// Every result code, in the header's order.
const ResultRow *ResultRows(std::size_t *count);

// The row of a code, or null for a code the library does not define.
const ResultRow *FindResultRow(std::int32_t code);

// The reader errors: the results for which the prompts offer Retry and a host may try again.
bool ResultIsReaderError(std::int32_t code);

#endif
