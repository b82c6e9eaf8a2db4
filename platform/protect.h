// Protection of secrets at rest with the system's data protection (DPAPI), as thin as the two calls
// it stands for.  A blob made for the local machine opens only on that machine; one made for the
// user only for that user.  The entropy is mixed into the blob: opening it needs the same bytes.
#ifndef ZUK_PLATFORM_PROTECT_H
#define ZUK_PLATFORM_PROTECT_H

#include <cstdint>

// The largest blob or opened value these calls handle (the callers' buffers).
constexpr std::uint32_t PLAT_PROTECT_MAX = 2048;

enum PlatProtectScope { PLAT_PROTECT_MACHINE, PLAT_PROTECT_USER };

// The platform's errors these calls give (Win32 values): the blob is damaged, was made on another
// machine, for another user or with other entropy; the output does not fit.
const long PLAT_ERROR_INVALID_DATA = 13;
const long PLAT_ERROR_INSUFFICIENT_BUFFER = 122;

// CryptProtectData (with CRYPTPROTECT_LOCAL_MACHINE for the machine scope; never a prompt).
// *outSize: capacity in, blob size out.  0 or the system's error.  On Windows crypt32.dll is loaded
// at the first call, so a process that never protects anything never loads it.
long PlatProtectData(const std::uint8_t *data, std::uint32_t size, const std::uint8_t *entropy,
                     std::uint32_t entropySize, PlatProtectScope scope, std::uint8_t *out,
                     std::uint32_t *outSize);

// CryptUnprotectData: the value a blob protects, into out (*outSize: capacity in, size out).  The
// system's copy is wiped before it is freed.  0 or the system's error.
long PlatUnprotectData(const std::uint8_t *blob, std::uint32_t size, const std::uint8_t *entropy,
                       std::uint32_t entropySize, std::uint8_t *out, std::uint32_t *outSize);

#endif
