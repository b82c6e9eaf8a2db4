// The credential store.  Every operation opens the current user's root itself and closes what it
// opened; nothing is kept in memory between calls.  A password is kept masked, or, with the
// ProtectPasswords switch, protected for the current user by the system (DPAPI): callers see the
// masked text either way, and every clear copy made here is wiped before the call returns.
//
// Beside each pair a record (REG_BINARY PairRecord, InputPairRecord) says where the pair came from
// and how it is kept: the IDm of the card it was read from (none for a typed pair), a check value
// of the mask its password was masked with (never the mask), and a digest binding the record to the
// pair's stored values.  The record is written before the values, so a write that fails part-way
// leaves a record that matches nothing, and the pair reads as none.  A pair reads as none when its
// record does not match it, names another mask than the one in force, or names a card the lists
// refuse; a pair whose card is revoked is deleted.  A pair without a record was stored by an
// earlier version, always under the build's own mask: it is read only while that mask is in force.
#include "settings/credentials.h"

#include <cstdio>
#include <cstring>

#include "platform/protect.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/config.h"
#include "settings/hex.h"
#include "settings/registry.h"
#include "settings/revocation.h"
#include "settings/settings_state.h"
#include "settings/sha256.h"
#include "zuk_build_constants.h"

namespace {

const int kMaskSize = PASSWORD_MASK_SIZE;
const std::uint8_t kBuiltInMask[kMaskSize] = ZUK_PASSWORD_MASK_INIT;

// The mask table is copied from the record for each use and wiped afterwards, so no working copy
// outlives the call.  False when the mask is unusable.
bool BuildPasswordMask(std::uint8_t mask[kMaskSize]) {
    if (!g_passwordMask.usable) return false;
    std::memcpy(mask, g_passwordMask.bytes, kMaskSize);
    return true;
}

struct PairNames {
    const char *key;
    bool keyVolatile;
    const char *idName;
    const char *passwordName;   // the masked form
    const char *protectedName;  // the protected form
    const char *recordName;     // the pair's record
    bool storesPassword;
};

PairNames RememberedNames(bool durable) {
    return PairNames{durable ? ZUK_NONVOLATILE_KEY : ZUK_VOLATILE_KEY,
                     !durable,
                     "UserID",
                     "Password",
                     "PasswordProtected",
                     "PairRecord",
                     GetRememberItems() == kRememberIdAndPassword};
}

PairNames EnteredNames() {
    return PairNames{ZUK_VOLATILE_KEY,
                     true,
                     "InputUserID",
                     "InputPassword",
                     "InputPasswordProtected",
                     "InputPairRecord",
                     GetInputItems() == kInputIdAndPassword};
}

PairNames NamesFor(CredentialKind kind) {
    if (kind == Entered) return EnteredNames();
    return RememberedNames(GetRememberStore() == kRememberStoreNonVolatile);
}

// How a pair's password is stored; part of what the record's digest covers.
enum StoredForm : std::uint8_t { kFormNone = 0, kFormMasked = 1, kFormProtected = 2 };

// The record: format, flags, the card's IDm, the mask check, the digest of the pair.
const std::uint8_t kRecordFormat = 1;
const std::uint8_t kRecordCard = 0x01;  // read from a card: the IDm is its
const std::uint8_t kRecordMasked =
    0x02;  // the password is stored masked: the mask check is its mask's
const std::size_t kRecordIdm = 2, kRecordCheck = 10, kRecordDigest = 14;
const std::uint32_t kRecordSize = 22;

// A check value of a mask: 4 bytes of a digest over it, which tell two masks apart and give away
// nothing of either.
void MaskCheck(const std::uint8_t mask[kMaskSize], std::uint8_t check[4]) {
    static const char kLabel[] = "ZUKcntrl password mask check";
    Sha256Context context;
    Sha256Init(&context);
    Sha256Update(&context, kLabel, sizeof kLabel);
    Sha256Update(&context, mask, kMaskSize);
    std::uint8_t digest[SHA256_SIZE];
    Sha256Final(&context, digest);
    std::memcpy(check, digest, 4);
    PlatSecureWipe(digest, sizeof digest);
}

// What the record binds: the ID, the form and the stored password (masked text or protected blob)
// as they are stored, trailing zero bytes left out as the string reads drop them.
void PairDigest(const char *id, std::int32_t idLength, StoredForm form, const std::uint8_t *stored,
                std::uint32_t storedLength, std::uint8_t digest[8]) {
    static const char kLabel[] = "ZUKcntrl stored pair";
    std::uint32_t n = idLength > 0 ? static_cast<std::uint32_t>(idLength) : 0;
    while (n > 0 && id[n - 1] == '\0') --n;
    while (storedLength > 0 && stored[storedLength - 1] == 0) --storedLength;
    const std::uint8_t lengths[9] = {static_cast<std::uint8_t>(n >> 24),
                                     static_cast<std::uint8_t>(n >> 16),
                                     static_cast<std::uint8_t>(n >> 8),
                                     static_cast<std::uint8_t>(n),
                                     form,
                                     static_cast<std::uint8_t>(storedLength >> 24),
                                     static_cast<std::uint8_t>(storedLength >> 16),
                                     static_cast<std::uint8_t>(storedLength >> 8),
                                     static_cast<std::uint8_t>(storedLength)};
    Sha256Context context;
    Sha256Init(&context);
    Sha256Update(&context, kLabel, sizeof kLabel);
    Sha256Update(&context, lengths, sizeof lengths);
    Sha256Update(&context, id, n);
    Sha256Update(&context, stored, storedLength);
    std::uint8_t full[SHA256_SIZE];
    Sha256Final(&context, full);
    std::memcpy(digest, full, 8);
}

void MakeRecord(const std::uint8_t *cardIdm, const char *id, std::int32_t idLength, StoredForm form,
                const std::uint8_t *stored, std::uint32_t storedLength,
                std::uint8_t record[kRecordSize]) {
    std::memset(record, 0, kRecordSize);
    record[0] = kRecordFormat;
    if (cardIdm != nullptr) {
        record[1] |= kRecordCard;
        std::memcpy(record + kRecordIdm, cardIdm, 8);
    }
    if (form == kFormMasked) {
        record[1] |= kRecordMasked;
        MaskCheck(g_passwordMask.bytes, record + kRecordCheck);
    }
    PairDigest(id, idLength, form, stored, storedLength, record + kRecordDigest);
}

bool BuiltInMaskInForce() {
    return g_passwordMask.usable && std::memcmp(g_passwordMask.bytes, kBuiltInMask, kMaskSize) == 0;
}

// Deletes every value of a pair, whatever happens to the others.
void DeletePairValues(PlatKey user, const PairNames &names) {
    DeleteRegValue(user, names.key, names.idName);
    DeleteRegValue(user, names.key, names.passwordName);
    DeleteRegValue(user, names.key, names.protectedName);
    DeleteRegValue(user, names.key, names.recordName);
}

enum PairVerdict { kPairUsable, kPairNone, kPairRevoked };

// Whether a pair read from the store may be handed out.  unmasks: its password is handed out
// from its masked form, so the mask it was masked with must be the one in force.
PairVerdict JudgePair(PlatKey user, const PairNames &names, const char *id, std::int32_t idLength,
                      StoredForm form, const std::uint8_t *stored, std::uint32_t storedLength,
                      bool unmasks) {
    std::uint8_t record[kRecordSize + 1];
    std::uint32_t size = sizeof record;
    const long error = ReadRegBinary(user, names.key, names.recordName, record, &size);
    if (error == PLAT_ERROR_FILE_NOT_FOUND) {
        // Stored by an earlier version, which masked with the build's own mask alone.
        if (unmasks && !BuiltInMaskInForce()) return kPairNone;
        // Its card is not known; only an account that is a card's IDm (FeliCa=IDM) names one.
        std::uint64_t idm = 0;
        if (idLength > 0 && ParseRevokedIdm(id, static_cast<std::size_t>(idLength), &idm)) {
            std::uint8_t bytes[8];
            for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(idm >> (56 - 8 * i));
            const CardStanding standing = CardRevocationStanding(bytes);
            if (standing == kCardRevoked) return kPairRevoked;
            if (standing != kCardAccepted) return kPairNone;
        }
        return kPairUsable;
    }
    if (error != 0 || size != kRecordSize || record[0] != kRecordFormat) return kPairNone;
    std::uint8_t digest[8];
    PairDigest(id, idLength, form, stored, storedLength, digest);
    if (std::memcmp(digest, record + kRecordDigest, sizeof digest) != 0) return kPairNone;
    if (unmasks && (record[1] & kRecordMasked)) {
        std::uint8_t check[4];
        MaskCheck(g_passwordMask.bytes, check);
        if (std::memcmp(check, record + kRecordCheck, sizeof check) != 0) return kPairNone;
    }
    if (record[1] & kRecordCard) {
        const CardStanding standing = CardRevocationStanding(record + kRecordIdm);
        if (standing == kCardRevoked) return kPairRevoked;
        if (standing != kCardAccepted) return kPairNone;  // the lists cannot say: never hand it out
    }
    return kPairUsable;
}

// Mixed into every protected password, so that a blob another program made with the system's
// data protection for the same user does not open here (nor one of ours there).
const std::uint8_t kEntropy[] = {'K', 'O', 'R', 'V', 'A', ' ', 'Z', 'U', 'K', 'c', 'n', 't',
                                 'r', 'l', ' ', 'p', 'a', 's', 's', 'w', 'o', 'r', 'd'};
// What is protected: this format byte, then the password.  The byte keeps the protected data from
// ever being empty (an empty password is common: the card gives the user ID alone) and tells an
// opened blob of this store from other data protected with the same entropy.
const std::uint8_t kProtectedFormat = 1;

// The password a masked text stands for, protected for the current user into blob (*blobSize
// bytes); every clear copy is wiped.  False when the text stands for more than the store keeps or
// the system refuses.
bool ProtectPassword(const char *masked, std::int32_t length, std::uint8_t *blob,
                     std::uint32_t *blobSize) {
    std::uint8_t clear[1 + kStoredTextSize];
    clear[0] = kProtectedFormat;
    const std::int32_t n = length > 0 ? UnscramblePassword(masked, length, clear + 1) : 0;
    *blobSize = PLAT_PROTECT_MAX;
    const bool done = n <= kMaxStoredPassword &&
                      PlatProtectData(clear, static_cast<std::uint32_t>(1 + n), kEntropy,
                                      sizeof kEntropy, PLAT_PROTECT_USER, blob, blobSize) == 0;
    PlatSecureWipe(clear, sizeof clear);
    return done;
}

enum ProtectedRead { kProtectedAbsent, kProtectedOpened, kProtectedUnusable };

// A pair's protected password, masked into password (capacity bytes; *length its length, 0 when
// the masked text does not fit, as a masked value too long for the buffer reads); the blob as
// stored comes back in blob (*blobSize: PLAT_PROTECT_MAX in, its size out).  Unusable when
// the value is there but cannot be read or opened: another user's, another machine's, damaged,
// made with other entropy, or too long for the store.
ProtectedRead ReadProtectedPassword(PlatKey user, const PairNames &names, char *password,
                                    std::int32_t capacity, std::uint32_t *length,
                                    std::uint8_t *blob, std::uint32_t *blobSize) {
    *length = 0;
    const long error = ReadRegBinary(user, names.key, names.protectedName, blob, blobSize);
    if (error == PLAT_ERROR_FILE_NOT_FOUND) return kProtectedAbsent;
    if (error != 0) return kProtectedUnusable;
    std::uint8_t clear[PLAT_PROTECT_MAX];
    std::uint32_t clearSize = sizeof clear;
    char text[kStoredTextSize];
    ProtectedRead result = kProtectedUnusable;
    if (PlatUnprotectData(blob, *blobSize, kEntropy, sizeof kEntropy, clear, &clearSize) == 0 &&
        clearSize >= 1 && clearSize <= 1 + kMaxStoredPassword && clear[0] == kProtectedFormat) {
        const std::int32_t size = static_cast<std::int32_t>(clearSize) - 1;
        const std::int32_t n = size > 0 ? ScramblePassword(clear + 1, size, text) : 0;
        if (size == 0 || n > 0) {
            result = kProtectedOpened;
            if (n > 0 && n <= capacity) {
                std::memcpy(password, text, static_cast<std::size_t>(n));
                *length = static_cast<std::uint32_t>(n);
            }
        }
    }
    PlatSecureWipe(text, sizeof text);
    PlatSecureWipe(clear, sizeof clear);
    return result;
}

// A deletion that found nothing to delete has done its work.
bool Deleted(long error) { return error == 0 || error == PLAT_ERROR_FILE_NOT_FOUND; }

// Writes a pair's ID, then its password: protected (blob given; the masked value of the pair is
// deleted) or masked as it came.
int WriteValues(PlatKey user, const PairNames &names, const char *id, std::int32_t idLength,
                const char *password, std::int32_t passwordLength, const std::uint8_t *blob,
                std::uint32_t blobSize) {
    if (idLength < 0 ||
        WriteRegString(user, names.key, names.idName, reinterpret_cast<const std::uint8_t *>(id),
                       static_cast<std::uint32_t>(idLength), names.keyVolatile) != 0) {
        return kStoreWriteFailed;
    }
    if (!names.storesPassword) return kStoreOk;
    if (blob != nullptr) {
        return WriteRegBinary(user, names.key, names.protectedName, blob, blobSize,
                              names.keyVolatile) == 0 &&
                       Deleted(DeleteRegValue(user, names.key, names.passwordName))
                   ? kStoreOk
                   : kStoreWriteFailed;
    }
    return passwordLength >= 0 && WriteRegString(user, names.key, names.passwordName,
                                                 reinterpret_cast<const std::uint8_t *>(password),
                                                 static_cast<std::uint32_t>(passwordLength),
                                                 names.keyVolatile) == 0
               ? kStoreOk
               : kStoreWriteFailed;
}

}  // namespace

PasswordMask &g_passwordMask = g_settingsState.passwordMask;

void PasswordMaskReset() { UsePasswordMask(kBuiltInMask); }

void UsePasswordMask(const std::uint8_t *mask) {
    if (mask == nullptr) {
        PlatSecureWipe(g_passwordMask.bytes, sizeof g_passwordMask.bytes);
        g_passwordMask.usable = false;
        return;
    }
    std::memmove(g_passwordMask.bytes, mask, sizeof g_passwordMask.bytes);
    g_passwordMask.usable = true;
}

int ReadCredentials(char *id, std::int32_t *idLength, char *password, std::int32_t *passwordLength,
                    CredentialKind kind) {
    if (!g_passwordMask.usable) {  // the site's mask cannot be had: nothing stored can be read
        *idLength = 0;
        *passwordLength = 0;
        return kStoreOk;
    }
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ, &user) != 0) return kStoreSystem;
    PairNames names = NamesFor(kind);

    std::uint32_t length = *idLength > 0 ? static_cast<std::uint32_t>(*idLength) : 0;
    if (length == 0 || ReadRegString(user, names.key, names.idName,
                                     reinterpret_cast<std::uint8_t *>(id), &length) != 0) {
        length = 0;
    }
    *idLength = static_cast<std::int32_t>(length);

    // Both forms are read whatever the switch says, so turning it either way keeps the pairs
    // stored before; a protected password wins over a masked one.
    // A password the configuration does not hand out is still read as stored (not opened), for
    // the record's digest: the record covers what is stored whatever the configuration says.
    ProtectedRead found = kProtectedAbsent;
    StoredForm form = kFormNone;
    std::uint8_t blob[PLAT_PROTECT_MAX];
    std::uint32_t blobSize = sizeof blob;
    char unused[kStoredTextSize];
    char *masked = names.storesPassword ? password : unused;
    const std::int32_t maskedCapacity =
        names.storesPassword ? *passwordLength : static_cast<std::int32_t>(sizeof unused);
    length = 0;
    if (names.storesPassword) {
        found =
            ReadProtectedPassword(user, names, password, *passwordLength, &length, blob, &blobSize);
        if (found == kProtectedOpened) form = kFormProtected;
    } else if (ReadRegBinary(user, names.key, names.protectedName, blob, &blobSize) == 0) {
        form = kFormProtected;
    }
    std::uint32_t maskedLength = 0;
    if (found == kProtectedAbsent && form == kFormNone && maskedCapacity > 0) {
        maskedLength = static_cast<std::uint32_t>(maskedCapacity);
        if (ReadRegString(user, names.key, names.passwordName,
                          reinterpret_cast<std::uint8_t *>(masked), &maskedLength) == 0) {
            form = kFormMasked;
        } else {
            maskedLength = 0;
        }
        if (names.storesPassword) length = maskedLength;
    }
    PairVerdict verdict = kPairNone;
    if (found != kProtectedUnusable && *idLength > 0) {
        verdict = form == kFormProtected
                      ? JudgePair(user, names, id, *idLength, form, blob, blobSize, false)
                      : JudgePair(user, names, id, *idLength, form,
                                  reinterpret_cast<const std::uint8_t *>(masked), maskedLength,
                                  names.storesPassword && maskedLength > 0);
    }
    PlatSecureWipe(unused, sizeof unused);
    if (verdict == kPairRevoked) DeletePairValues(user, names);
    if (verdict != kPairUsable) {
        // A password that cannot be had, or a pair that must not be handed out, is no pair at all,
        // never the ID with a wrong password.
        std::memset(id, 0, static_cast<std::size_t>(*idLength));
        std::memset(password, 0, length);
        *idLength = 0;
        length = 0;
    }
    *passwordLength = static_cast<std::int32_t>(length);
    PlatRegCloseKey(user);
    return kStoreOk;
}

int WriteCredentials(const char *id, std::int32_t idLength, const char *password,
                     std::int32_t passwordLength, CredentialKind kind,
                     const std::uint8_t *cardIdm) {
    if (!g_passwordMask.usable) return kStoreWriteFailed;
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ | PLAT_KEY_WRITE, &user) != 0) return kStoreSystem;
    PairNames names = NamesFor(kind);
    const bool protect = names.storesPassword && GetProtectPasswords();
    int result = kStoreOk;
    std::uint8_t blob[PLAT_PROTECT_MAX];
    std::uint32_t blobSize = 0;
    // Protected before anything is written: a refusal leaves the stored pair as it was.
    if (protect &&
        (passwordLength < 0 || !ProtectPassword(password, passwordLength, blob, &blobSize))) {
        result = kStoreWriteFailed;
    }
    // A protected password left from before would win over the masked one written now.
    if (!protect && names.storesPassword &&
        !Deleted(DeleteRegValue(user, names.key, names.protectedName))) {
        result = kStoreWriteFailed;
    }
    // The ID alone: a password left from before belongs to another pair.
    if (!names.storesPassword && (!Deleted(DeleteRegValue(user, names.key, names.passwordName)) ||
                                  !Deleted(DeleteRegValue(user, names.key, names.protectedName)))) {
        result = kStoreWriteFailed;
    }
    if (result == kStoreOk) {
        // The record first: should a value below fail, the record matches nothing stored.
        const StoredForm form = !names.storesPassword ? kFormNone
                                : protect             ? kFormProtected
                                                      : kFormMasked;
        std::uint8_t record[kRecordSize];
        const std::uint32_t passwordSize =
            passwordLength > 0 ? static_cast<std::uint32_t>(passwordLength) : 0;
        MakeRecord(cardIdm, id, idLength, form,
                   form == kFormProtected ? blob : reinterpret_cast<const std::uint8_t *>(password),
                   form == kFormProtected ? blobSize
                   : form == kFormMasked  ? passwordSize
                                          : 0,
                   record);
        if (idLength < 0 || WriteRegBinary(user, names.key, names.recordName, record, kRecordSize,
                                           names.keyVolatile) != 0) {
            result = kStoreWriteFailed;
        }
    }
    if (result == kStoreOk) {
        result = WriteValues(user, names, id, idLength, password, passwordLength,
                             protect ? blob : nullptr, blobSize);
    }
    PlatRegCloseKey(user);
    return result;
}

int DeleteCredentials() {
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ | PLAT_KEY_WRITE, &user) != 0) return kStoreSystem;
    // Every value is deleted whatever happens to the others, so no password of the pair outlives
    // a failure.  Success: the ID and a password in either form were there and are gone.
    const long id = DeleteRegValue(user, ZUK_VOLATILE_KEY, "InputUserID");
    const long masked = DeleteRegValue(user, ZUK_VOLATILE_KEY, "InputPassword");
    const long sealed = DeleteRegValue(user, ZUK_VOLATILE_KEY, "InputPasswordProtected");
    DeleteRegValue(user, ZUK_VOLATILE_KEY, "InputPairRecord");
    PlatRegCloseKey(user);
    const bool gone = id == 0 && (masked == 0 || sealed == 0) && Deleted(masked) && Deleted(sealed);
    return gone ? kStoreOk : kStoreWriteFailed;
}

void ForgetPairsOfCard(const std::uint8_t idm[8]) {
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ | PLAT_KEY_WRITE, &user) != 0) return;
    const PairNames pairs[] = {RememberedNames(true), RememberedNames(false), EnteredNames()};
    for (const PairNames &names : pairs) {
        std::uint8_t record[kRecordSize + 1];
        std::uint32_t size = sizeof record;
        if (ReadRegBinary(user, names.key, names.recordName, record, &size) == 0 &&
            size == kRecordSize && record[0] == kRecordFormat && (record[1] & kRecordCard) != 0 &&
            std::memcmp(record + kRecordIdm, idm, 8) == 0) {
            DeletePairValues(user, names);
        }
    }
    PlatRegCloseKey(user);
}

std::int32_t ScramblePassword(const std::uint8_t *password, std::int32_t length, char *stored) {
    if (!stored) return 0;
    stored[0] = '\0';
    if (!password || length <= 0 || length > kMaxStoredPassword) return 0;
    std::uint8_t mask[kMaskSize];
    if (!BuildPasswordMask(mask)) return 0;
    const unsigned offset = (password[0] + static_cast<unsigned>(length)) % kMaskSize;
    // The offset, then the masked bytes, as lower-case hexadecimal.
    std::uint8_t masked[1 + kMaxStoredPassword];
    masked[0] = static_cast<std::uint8_t>(offset);
    for (std::int32_t i = 0; i < length; ++i) {
        masked[1 + i] = password[i] ^ mask[(offset + static_cast<unsigned>(i)) % kMaskSize];
    }
    const bool fits =
        BytesToLowerHex(masked, 1 + static_cast<std::size_t>(length), stored, kStoredTextSize);
    PlatSecureWipe(masked, sizeof masked);
    PlatSecureWipe(mask, sizeof mask);
    return fits ? 2 + 2 * length : 0;
}

std::int32_t UnscramblePassword(const char *stored, std::int32_t length, std::uint8_t *password) {
    if (!stored || !password || length <= 0 || length > kStoredTextSize) return 0;
    std::uint8_t bytes[kStoredTextSize / 2];
    std::size_t count = HexToBytes(stored, static_cast<std::size_t>(length), bytes, sizeof bytes);
    if (count < 2) {
        PlatSecureWipe(bytes, sizeof bytes);
        return 0;
    }
    std::uint8_t mask[kMaskSize];
    if (!BuildPasswordMask(mask)) {
        PlatSecureWipe(bytes, sizeof bytes);
        return 0;
    }
    const unsigned offset = bytes[0];
    for (std::size_t i = 0; i + 1 < count; ++i) {
        password[i] = bytes[i + 1] ^ mask[(offset + i) % kMaskSize];
    }
    PlatSecureWipe(mask, sizeof mask);
    PlatSecureWipe(bytes, sizeof bytes);
    return static_cast<std::int32_t>(count - 1);
}
