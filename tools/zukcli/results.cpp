// Names and meanings of the result codes.  A code outside the table is printed as unknown, with
// its value in decimal and hexadecimal, so a newer library's code is still visible.
#include "tools/zukcli/results.h"

#include "ZUKcntrl.h"

namespace {

const ResultInfo kResults[] = {
    {ZUK_OK, "ZUK_OK", "success"},
    {ZUK_CANCELLED, "ZUK_CANCELLED", "the user ended the prompt with Cancel; the outputs are empty"},
    {ZUK_ERR_INCOMPLETE, "ZUK_ERR_INCOMPLETE",
     "a prompt could not be shown, or the reader's answer stayed incomplete"},
    {ZUK_ERR_NO_DATA, "ZUK_ERR_NO_DATA", "the card holds no user account, or no PIN to verify"},
    {ZUK_ERR_PIN_WRONG, "ZUK_ERR_PIN_WRONG",
     "the PIN does not match (the card counted the failure), or PIN entry ended without success"},
    {ZUK_ERR_DISABLED, "ZUK_ERR_DISABLED",
     "the library is switched off (registry Mode 0), or Mode is not 256 or 768 for an account "
     "with a reader"},
    {ZUK_ERR_NO_CARD, "ZUK_ERR_NO_CARD", "no card answered on the reader"},
    {ZUK_ERR_CARD_LOCKED, "ZUK_ERR_CARD_LOCKED",
     "the card's PIN failure count has reached the card's limit, or the card is revoked on this "
     "machine (the raw code says which)"},
    {ZUK_ERR_PIN_LOCKED_NOW, "ZUK_ERR_PIN_LOCKED_NOW",
     "wrong PIN, and this failure locked the card"},
    {ZUK_ERR_ACCOUNT_STORE, "ZUK_ERR_ACCOUNT_STORE",
     "the credential store cannot be written or cleared, or holds no usable account"},
    {ZUK_ERR_VERSION, "ZUK_ERR_VERSION", "the account request's Version is not 0x10000"},
    {ZUK_ERR_ALREADY_OPEN, "ZUK_ERR_ALREADY_OPEN", "the card session or serial port is already open"},
    {ZUK_ERR_NOT_OPEN, "ZUK_ERR_NOT_OPEN", "the card session or serial port is not open"},
    {ZUK_ERR_PORT_CLOSE, "ZUK_ERR_PORT_CLOSE", "the serial port cannot be closed"},
    {ZUK_ERR_PORT_OPEN, "ZUK_ERR_PORT_OPEN",
     "the serial port cannot be opened, the reader model is not supported or its port is not "
     "found, or the reader failed while the link was opened"},
    {ZUK_ERR_LINK_CLOSE, "ZUK_ERR_LINK_CLOSE",
     "the reader reported a failure while the link was being closed"},
    {ZUK_ERR_BUSY, "ZUK_ERR_BUSY",
     "another call of the library is in progress in this process, or another process held the reader "
     "longer than ZUKOpen's OpenWait"},
    {ZUK_ERR_HANDLE, "ZUK_ERR_HANDLE", "the reader handle is not 1 (open the reader first)"},
    {ZUK_ERR_PORT_IO, "ZUK_ERR_PORT_IO", "configuring, purging, writing or reading the serial port failed"},
    {ZUK_ERR_READER_STATUS, "ZUK_ERR_READER_STATUS",
     "the reader answered with an error status, or another reader or card failure"},
    {ZUK_ERR_PARAM, "ZUK_ERR_PARAM",
     "an argument is invalid (null pointer, bad size, unknown mode, or a window that does not exist)"},
    {ZUK_ERR_BUFFER, "ZUK_ERR_BUFFER", "a buffer given by the caller is too small for the data"},
    {ZUK_ERR_SYSTEM, "ZUK_ERR_SYSTEM",
     "a system facility failed (the current user's registry, or the card-access window), or the site "
     "keys stored on the machine cannot be used (zukcli keys status names the fault)"},
    {ZUK_ERR_CARD_IO, "ZUK_ERR_CARD_IO", "the reader's answer was malformed or a card command failed"},
    {ZUK_ERR_UNEXPECTED, "ZUK_ERR_UNEXPECTED",
     "a prompt returned an unexpected value, or an internal status has no mapping"},
};

}  // namespace

const ResultInfo *ResultTable(std::size_t *count) {
    if (count) *count = sizeof kResults / sizeof kResults[0];
    return kResults;
}

const ResultInfo *FindResult(int code) {
    for (const ResultInfo &r : kResults) {
        if (r.code == code) return &r;
    }
    return nullptr;
}
