// Names and meanings of the result codes.  A code outside the table is printed as unknown, with
// its value in decimal and hexadecimal, so a newer library's code is still visible.
#include "tools/zukcli/results.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "ZUKcntrl.h"
#include "api/frame.h"
#include "card/card_status.h"
#include "card/status_names.h"
#include "tools/zukcli/calls.h"
#include "tools/zukcli/report.h"

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
     "the card's PIN failure count has reached the card's limit"},
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
    {ZUK_ERR_BUSY, "ZUK_ERR_BUSY", "another call of the library is in progress in this process"},
    {ZUK_ERR_HANDLE, "ZUK_ERR_HANDLE", "the reader handle is not 1 (open the reader first)"},
    {ZUK_ERR_PORT_IO, "ZUK_ERR_PORT_IO", "configuring, purging, writing or reading the serial port failed"},
    {ZUK_ERR_READER_STATUS, "ZUK_ERR_READER_STATUS",
     "the reader answered with an error status, or another reader or card failure"},
    {ZUK_ERR_PARAM, "ZUK_ERR_PARAM",
     "an argument is invalid (null pointer, bad size, unknown mode, or a window that does not exist)"},
    {ZUK_ERR_BUFFER, "ZUK_ERR_BUFFER", "a buffer given by the caller is too small for the data"},
    {ZUK_ERR_SYSTEM, "ZUK_ERR_SYSTEM",
     "a system facility failed (the current user's registry, or the card-access window)"},
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

bool ListResultCodes(Report *report) {
    Entry e;
    e.command = "codes";
    std::string json = "[";
    for (const ResultInfo &r : kResults) {
        char line[64];
        std::snprintf(line, sizeof line, "%-23s %10d  0x%08x  ", r.name, r.code, static_cast<unsigned>(r.code));
        e.lines.push_back(line + std::string(r.meaning));
        json += std::string(json.size() > 1 ? "," : "") + "{\"code\":" + std::to_string(r.code) +
                ",\"name\":" + JsonString(r.name) + ",\"meaning\":" + JsonString(r.meaning) + "}";
    }
    e.AddJson("codes", json + "]");
    report->Add(e);
    return true;
}

// Numbers on the command line (zukcard links this file too).
bool ParseInteger(const std::string &text, long long *value) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < -2147483648LL || v > 4294967295LL) return false;
    *value = v;
    return true;
}

namespace {

std::string ResultLabel(int code) {
    const ResultInfo *r = FindResult(code);
    return (r ? std::string(r->name) : std::string("unknown")) + " (" + std::to_string(code) + ")";
}

}  // namespace

bool DecodeCode(const std::string &text, Report *report) {
    Entry e;
    e.command = "codes";
    long long value = 0;
    ParseInteger(text, &value);  // checked by the command line already
    const int code = static_cast<int>(static_cast<std::uint32_t>(value));
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(code));
    e.AddNumber("code", code);
    e.Only(Field::JsonOnly);
    e.AddText("hex", hex);
    if (const ResultInfo *r = FindResult(code)) {
        e.AddText("kind", "result code");
        e.AddText("name", r->name);
        e.AddText("meaning", r->meaning);
        report->Add(e);
        return true;
    }
    const int folded = NormaliseResult(code);
    if (folded != code) {  // a card-layer result that the exports fold before returning it
        e.AddText("kind", "result code, folded");
        e.AddText("meaning", "a reader or card status; the exports return it as " + ResultLabel(folded));
        e.AddNumber("result", folded);
        e.AddText("resultName", FindResult(folded)->name);
        report->Add(e);
        return true;
    }
    StatusDescription d;
    if (!DescribeCardStatus(static_cast<std::uint32_t>(code), &d)) {
        e.AddText("kind", "unknown");
        e.AddText("meaning", "neither a result code of ZUKcntrl.h nor a raw code the library writes");
        e.failed = true;
        report->Add(e);
        return false;
    }
    const int result = NormaliseResult(MapCardStatus(static_cast<std::uint32_t>(code)));
    e.AddText("kind", "raw code (trace LOW line)");
    e.AddText("family", d.family);
    e.AddText("meaning", d.meaning);
    e.AddText("cause", d.cause);
    e.AddNumber("result", result);
    e.AddText("resultName", FindResult(result) ? FindResult(result)->name : "unknown");
    report->Add(e);
    return true;
}
