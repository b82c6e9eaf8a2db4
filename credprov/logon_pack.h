// The logon record the sign-in screen hands to the Negotiate package: KERB_INTERACTIVE_UNLOCK_LOGON
// packed into one buffer (the three UNICODE_STRING texts follow the record, each Buffer pointer
// replaced by its offset from the record's start), and the split of a card's account text into the
// domain and user names that record carries.  Platform-neutral: texts are UTF-16 code units, and
// the layout is written for the pointer size asked (4: the 32-bit record, 8: the 64-bit one).
#ifndef ZUK_CREDPROV_LOGON_PACK_H
#define ZUK_CREDPROV_LOGON_PACK_H

#include <cstddef>
#include <cstdint>

// KERB_LOGON_SUBMIT_TYPE values of the record's MessageType.
const std::uint32_t kKerbInteractiveLogon = 2;        // sign-in (and the credentials dialog)
const std::uint32_t kKerbWorkstationUnlockLogon = 7;  // unlocking the workstation

// The longest domain or user name the split hands out, in code units (without a terminator).
const std::size_t kLogonNameMax = 256;

struct LogonNames {
    std::uint16_t domain[kLogonNameMax + 1];  // zero-terminated
    std::uint16_t user[kLogonNameMax + 1];    // zero-terminated
};

enum SplitResult {
    kSplitOk = 0,
    kSplitEmpty,    // no account text, or an empty user or domain part ("CORP\", "\bob", "@corp")
    kSplitTooLong,  // a part longer than kLogonNameMax
};

// Splits an account text (zero-terminated UTF-16):
//   "DOMAIN\user"  -> domain DOMAIN, user "user" (at the first backslash; "." names this computer)
//   "user@domain"  -> a user principal name: user "user@domain" whole, domain empty
//   "user"         -> domain computerName, user "user"
SplitResult SplitAccount(const std::uint16_t *account, const std::uint16_t *computerName,
                         LogonNames *out);

// Bytes of the packed record for the given text lengths (code units) and pointer size (4 or 8);
// 0 for another pointer size or texts a UNICODE_STRING cannot hold (above 32767 code units).
std::size_t PackedLogonSize(unsigned pointerSize, std::size_t domainLength, std::size_t userLength,
                            std::size_t passwordLength);

// Writes the packed KERB_INTERACTIVE_UNLOCK_LOGON (LogonId zero) into out (capacity bytes, at
// least PackedLogonSize); returns the bytes written, 0 when it does not fit or the size is 0.
std::size_t PackInteractiveUnlockLogon(unsigned pointerSize, std::uint32_t messageType,
                                       const std::uint16_t *domain, std::size_t domainLength,
                                       const std::uint16_t *user, std::size_t userLength,
                                       const std::uint16_t *password, std::size_t passwordLength,
                                       std::uint8_t *out, std::size_t capacity);

// Where each part of the packed record lies, for a pointer size: used by the packer and by the
// checks that read a record back.
struct LogonLayout {
    std::size_t domainField;    // offset of the UNICODE_STRING LogonDomainName
    std::size_t userField;      // UserName
    std::size_t passwordField;  // Password
    std::size_t bufferInField;  // offset of Buffer inside a UNICODE_STRING
    std::size_t logonId;        // LUID LogonId
    std::size_t recordSize;     // the record without its texts
};
bool LogonLayoutFor(unsigned pointerSize, LogonLayout *out);

// Length of a zero-terminated UTF-16 text.
std::size_t Utf16Length(const std::uint16_t *text);

#endif
