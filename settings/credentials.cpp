// The credential store.  Every operation opens the current user's root itself and closes what it
// opened; nothing is kept in memory between calls.
#include "settings/credentials.h"

#include <cstdio>
#include <cstring>

#include "platform/registry.h"
#include "platform/system.h"
#include "settings/config.h"
#include "settings/hex.h"
#include "settings/registry.h"
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
    const char *passwordName;
    bool storesPassword;
};

PairNames NamesFor(CredentialKind kind) {
    if (kind == Entered) {
        return PairNames{ZUK_VOLATILE_KEY, true, "InputUserID", "InputPassword",
                         GetInputItems() == kInputIdAndPassword};
    }
    bool durable = GetRememberStore() == kRememberStoreNonVolatile;
    return PairNames{durable ? ZUK_NONVOLATILE_KEY : ZUK_VOLATILE_KEY, !durable, "UserID",
                     "Password", GetRememberItems() == kRememberIdAndPassword};
}

}  // namespace

PasswordMask g_passwordMask = {ZUK_PASSWORD_MASK_INIT, true};

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

    length = 0;
    if (names.storesPassword && *passwordLength > 0) {
        length = static_cast<std::uint32_t>(*passwordLength);
        if (ReadRegString(user, names.key, names.passwordName,
                          reinterpret_cast<std::uint8_t *>(password), &length) != 0) {
            length = 0;
        }
    }
    *passwordLength = static_cast<std::int32_t>(length);
    PlatRegCloseKey(user);
    return kStoreOk;
}

int WriteCredentials(const char *id, std::int32_t idLength, const char *password,
                     std::int32_t passwordLength, CredentialKind kind) {
    if (!g_passwordMask.usable) return kStoreWriteFailed;
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ | PLAT_KEY_WRITE, &user) != 0) return kStoreSystem;
    PairNames names = NamesFor(kind);
    int result = kStoreOk;
    if (idLength < 0 || WriteRegString(user, names.key, names.idName,
                                       reinterpret_cast<const std::uint8_t *>(id),
                                       static_cast<std::uint32_t>(idLength), names.keyVolatile) != 0) {
        result = kStoreWriteFailed;
    } else if (names.storesPassword &&
               (passwordLength < 0 ||
                WriteRegString(user, names.key, names.passwordName,
                               reinterpret_cast<const std::uint8_t *>(password),
                               static_cast<std::uint32_t>(passwordLength), names.keyVolatile) != 0)) {
        result = kStoreWriteFailed;
    }
    PlatRegCloseKey(user);
    return result;
}

int DeleteCredentials() {
    PlatKey user = 0;
    if (OpenCurrentUserRoot(PLAT_KEY_READ | PLAT_KEY_WRITE, &user) != 0) return kStoreSystem;
    int result = kStoreOk;
    if (DeleteRegValue(user, ZUK_VOLATILE_KEY, "InputUserID") != 0 ||
        DeleteRegValue(user, ZUK_VOLATILE_KEY, "InputPassword") != 0) {
        result = kStoreWriteFailed;
    }
    PlatRegCloseKey(user);
    return result;
}

std::int32_t ScramblePassword(const std::uint8_t *password, std::int32_t length, char *stored) {
    if (!stored) return 0;
    stored[0] = '\0';
    if (!password || length <= 0 || length > kMaxStoredPassword) return 0;
    std::uint8_t mask[kMaskSize];
    if (!BuildPasswordMask(mask)) return 0;
    const unsigned offset = (password[0] + static_cast<unsigned>(length)) % kMaskSize;
    static const char kDigits[] = "0123456789abcdef";
    stored[0] = kDigits[offset >> 4];
    stored[1] = kDigits[offset & 0xF];
    for (std::int32_t i = 0; i < length; ++i) {
        std::uint8_t b = password[i] ^ mask[(offset + static_cast<unsigned>(i)) % kMaskSize];
        stored[2 + 2 * i] = kDigits[b >> 4];
        stored[3 + 2 * i] = kDigits[b & 0xF];
    }
    stored[2 + 2 * length] = '\0';
    PlatSecureWipe(mask, sizeof mask);
    return 2 + 2 * length;
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
