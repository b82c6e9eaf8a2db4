// SHA-256 (FIPS 180-4), for the check values of site key files.  Nothing is allocated; a context
// that held secret input is wiped by Sha256Final.
#ifndef ZUK_SETTINGS_SHA256_H
#define ZUK_SETTINGS_SHA256_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t SHA256_SIZE = 32;

struct Sha256Context {
    std::uint32_t state[8];
    std::uint64_t length;    // bytes taken so far
    std::uint8_t block[64];  // the unfinished block
    std::size_t used;        // bytes of it in use
};

void Sha256Init(Sha256Context *context);
void Sha256Update(Sha256Context *context, const void *data, std::size_t length);
// Writes the digest and wipes the context.
void Sha256Final(Sha256Context *context, std::uint8_t digest[SHA256_SIZE]);

// The digest of one buffer.
void Sha256(const void *data, std::size_t length, std::uint8_t digest[SHA256_SIZE]);

#endif
