// Data protection in memory: a blob carries its scope, the identity of the machine or user it was
// made for, a digest of the entropy and the value masked, with a digest over all of it.  Opening it
// checks all of that, so a damaged blob, one made "on another machine" or "for another user"
// (FakeSetProtectIdentity) or with other entropy fails as DPAPI does.  Not a cipher: tests only.
#include <cstring>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/protect.h"

namespace {

const char kMagic[8] = {'F', 'A', 'K', 'E', 'P', 'R', 'O', 'T'};
constexpr std::uint32_t kHeader = 8 + 1 + 4 + 4;  // magic, scope, identity, entropy digest
constexpr std::uint32_t kTrailer = 4;             // digest of everything before it

std::uint32_t g_machine = 1;
std::uint32_t g_user = 1;

std::uint32_t Digest(const std::uint8_t *data, std::uint32_t size) {
    std::uint32_t h = 2166136261u;
    for (std::uint32_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

void PutWord(std::uint8_t *at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetWord(const std::uint8_t *at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

void FakeSetProtectIdentity(std::uint32_t machine, std::uint32_t user) {
    g_machine = machine;
    g_user = user;
}

void FakeProtectReset() { FakeSetProtectIdentity(1, 1); }

long PlatProtectData(const std::uint8_t *data, std::uint32_t size, const std::uint8_t *entropy,
                     std::uint32_t entropySize, PlatProtectScope scope, std::uint8_t *out,
                     std::uint32_t *outSize) {
    long error = 0;
    if (FakeCallFails(FAKE_CALL_PROTECT, &error)) return error;
    const std::uint32_t total = kHeader + size + kTrailer;
    if (size > PLAT_PROTECT_MAX || total > *outSize) return PLAT_ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(out, kMagic, 8);
    out[8] = scope == PLAT_PROTECT_MACHINE ? 'M' : 'U';
    PutWord(out + 9, scope == PLAT_PROTECT_MACHINE ? g_machine : g_user);
    PutWord(out + 13, Digest(entropy, entropySize));
    for (std::uint32_t i = 0; i < size; ++i)
        out[kHeader + i] = static_cast<std::uint8_t>(data[i] ^ 0xA5);
    PutWord(out + kHeader + size, Digest(out, kHeader + size));
    *outSize = total;
    return 0;
}

long PlatUnprotectData(const std::uint8_t *blob, std::uint32_t size, const std::uint8_t *entropy,
                       std::uint32_t entropySize, std::uint8_t *out, std::uint32_t *outSize) {
    long error = 0;
    if (FakeCallFails(FAKE_CALL_UNPROTECT, &error)) return error;
    if (blob == nullptr || size < kHeader + kTrailer || std::memcmp(blob, kMagic, 8) != 0 ||
        GetWord(blob + size - kTrailer) != Digest(blob, size - kTrailer)) {
        return PLAT_ERROR_INVALID_DATA;
    }
    const std::uint32_t identity = blob[8] == 'M' ? g_machine : blob[8] == 'U' ? g_user : 0;
    if (identity == 0 || GetWord(blob + 9) != identity ||
        GetWord(blob + 13) != Digest(entropy, entropySize)) {
        return PLAT_ERROR_INVALID_DATA;
    }
    const std::uint32_t length = size - kHeader - kTrailer;
    if (length > *outSize) return PLAT_ERROR_INSUFFICIENT_BUFFER;
    for (std::uint32_t i = 0; i < length; ++i)
        out[i] = static_cast<std::uint8_t>(blob[kHeader + i] ^ 0xA5);
    *outSize = length;
    return 0;
}
