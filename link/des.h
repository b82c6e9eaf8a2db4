// DES and two-key triple DES on 8-byte blocks, no padding: the two primitives of the reader's
// secure channel (triple DES in ECB mode for authentication and key wrapping, single DES in CBC
// mode for secured frames).  Each call sets up its key schedule afresh and keeps no state.
#ifndef ZUK_LINK_DES_H
#define ZUK_LINK_DES_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t DES_BLOCK_SIZE = 8;

// Every function returns false, and leaves the output unspecified, when a pointer is missing or the
// length is not a multiple of 8.  Input and output may be the same buffer or overlap.  Nothing is
// allocated.  A length of 0 succeeds and writes nothing.

// Two-key triple DES (E with K1, D with K2, E with K1) in ECB mode; key bundle K1 K2 K1.
bool TdeaEcbEncrypt(const std::uint8_t k1[8], const std::uint8_t k2[8], const std::uint8_t *input,
                    std::size_t length, std::uint8_t *output);
bool TdeaEcbDecrypt(const std::uint8_t k1[8], const std::uint8_t k2[8], const std::uint8_t *input,
                    std::size_t length, std::uint8_t *output);

// Single DES in CBC mode with the given initialisation vector.
bool DesCbcEncrypt(const std::uint8_t key[8], const std::uint8_t iv[8], const std::uint8_t *input,
                   std::size_t length, std::uint8_t *output);
bool DesCbcDecrypt(const std::uint8_t key[8], const std::uint8_t iv[8], const std::uint8_t *input,
                   std::size_t length, std::uint8_t *output);

// Overwrites a buffer with zeros in a way the compiler does not drop.
void SecureWipe(void *data, std::size_t length);

#endif
