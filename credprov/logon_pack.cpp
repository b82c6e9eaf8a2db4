#include "credprov/logon_pack.h"

#include <cstring>

namespace {

void PutLe(std::uint8_t *at, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Copies `length` code units and a terminator into `to` (kLogonNameMax + 1 units).
bool CopyPart(std::uint16_t *to, const std::uint16_t *from, std::size_t length) {
    if (length > kLogonNameMax) return false;
    std::memcpy(to, from, length * sizeof *from);
    to[length] = 0;
    return true;
}

const std::size_t kUnicodeStringMax = 32767;  // code units a USHORT byte length can carry

}  // namespace

std::size_t Utf16Length(const std::uint16_t *text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

SplitResult SplitAccount(const std::uint16_t *account, const std::uint16_t *computerName,
                         LogonNames *out) {
    out->domain[0] = 0;
    out->user[0] = 0;
    if (account == nullptr || account[0] == 0) return kSplitEmpty;
    const std::size_t length = Utf16Length(account);
    std::size_t backslash = length, at = length;
    for (std::size_t i = 0; i < length; ++i) {
        if (account[i] == u'\\' && backslash == length) backslash = i;
        if (account[i] == u'@' && at == length) at = i;
    }
    if (backslash < length) {
        if (backslash == 0 || backslash + 1 == length) return kSplitEmpty;
        const bool thisComputer = backslash == 1 && account[0] == u'.';
        const std::uint16_t *domain = thisComputer ? computerName : account;
        const std::size_t domainLength = thisComputer ? Utf16Length(computerName) : backslash;
        if (domainLength == 0) return kSplitEmpty;
        if (!CopyPart(out->domain, domain, domainLength) ||
            !CopyPart(out->user, account + backslash + 1, length - backslash - 1)) {
            out->domain[0] = 0;
            return kSplitTooLong;
        }
        return kSplitOk;
    }
    if (at < length) {
        if (at == 0 || at + 1 == length) return kSplitEmpty;
        return CopyPart(out->user, account, length) ? kSplitOk : kSplitTooLong;
    }
    const std::size_t computerLength = computerName ? Utf16Length(computerName) : 0;
    if (computerLength == 0) return kSplitEmpty;
    if (!CopyPart(out->domain, computerName, computerLength) ||
        !CopyPart(out->user, account, length)) {
        out->domain[0] = 0;
        return kSplitTooLong;
    }
    return kSplitOk;
}

bool LogonLayoutFor(unsigned pointerSize, LogonLayout *out) {
    if (pointerSize != 4 && pointerSize != 8) return false;
    // UNICODE_STRING: USHORT Length, USHORT MaximumLength, then PWSTR Buffer at its alignment.
    const std::size_t stringSize = 2 * pointerSize;
    out->bufferInField = pointerSize;
    // KERB_INTERACTIVE_LOGON: the 4-byte MessageType, then three UNICODE_STRINGs aligned to the
    // pointer; KERB_INTERACTIVE_UNLOCK_LOGON adds the 8-byte, 4-aligned LUID.
    out->domainField = pointerSize;
    out->userField = out->domainField + stringSize;
    out->passwordField = out->userField + stringSize;
    out->logonId = out->passwordField + stringSize;
    out->recordSize = out->logonId + 8;
    return true;
}

std::size_t PackedLogonSize(unsigned pointerSize, std::size_t domainLength, std::size_t userLength,
                            std::size_t passwordLength) {
    LogonLayout layout;
    if (!LogonLayoutFor(pointerSize, &layout)) return 0;
    if (domainLength > kUnicodeStringMax || userLength > kUnicodeStringMax ||
        passwordLength > kUnicodeStringMax) {
        return 0;
    }
    return layout.recordSize + 2 * (domainLength + userLength + passwordLength);
}

std::size_t PackInteractiveUnlockLogon(unsigned pointerSize, std::uint32_t messageType,
                                       const std::uint16_t *domain, std::size_t domainLength,
                                       const std::uint16_t *user, std::size_t userLength,
                                       const std::uint16_t *password, std::size_t passwordLength,
                                       std::uint8_t *out, std::size_t capacity) {
    const std::size_t size = PackedLogonSize(pointerSize, domainLength, userLength, passwordLength);
    LogonLayout layout;
    if (size == 0 || out == nullptr || capacity < size || !LogonLayoutFor(pointerSize, &layout)) {
        return 0;
    }
    std::memset(out, 0, layout.recordSize);
    PutLe(out, messageType, 4);
    struct Part {
        std::size_t field;
        const std::uint16_t *text;
        std::size_t length;
    };
    const Part parts[3] = {{layout.domainField, domain, domainLength},
                           {layout.userField, user, userLength},
                           {layout.passwordField, password, passwordLength}};
    std::size_t next = layout.recordSize;
    for (const Part &part : parts) {
        const std::size_t bytes = 2 * part.length;
        PutLe(out + part.field, bytes, 2);      // Length
        PutLe(out + part.field + 2, bytes, 2);  // MaximumLength
        // An empty text keeps a null Buffer, as an empty UNICODE_STRING has.
        PutLe(out + part.field + layout.bufferInField, bytes ? next : 0, pointerSize);
        for (std::size_t i = 0; i < part.length; ++i) PutLe(out + next + 2 * i, part.text[i], 2);
        next += bytes;
    }
    return next;
}
