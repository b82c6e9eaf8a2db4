// DES (DEA) and two-key triple DES, written from the published algorithm: the initial and final
// permutations, sixteen Feistel rounds with the expansion, the eight S-boxes and the P permutation,
// and the key schedule of PC-1, rotations and PC-2.  Bits are numbered 1..n from the most
// significant bit, as the standard's tables number them.  The tables are turned once, on first
// use, into lookup tables: every permutation becomes one lookup per input byte, and each S-box is
// merged with the P permutation, so a block costs sixteen rounds of eight lookups.  Nothing is
// allocated: the work is done in the caller's output buffer.
#include "link/des.h"

#include <cstring>

namespace {

// The tables keep the rows they are published in (the formatter leaves them as they are).
// clang-format off
const std::uint8_t kInitialPerm[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const std::uint8_t kFinalPerm[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

const std::uint8_t kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

const std::uint8_t kRoundPerm[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                     2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const std::uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                               10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                               63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                               14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

const std::uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                               23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                               41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                               44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

const std::uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-boxes: row (outer bits) times 16 plus column (inner four bits).
const std::uint8_t kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};
// clang-format on

// Picks bits of an inBits-wide value by the table (1-based, from the most significant bit).
std::uint64_t Permute(std::uint64_t in, int inBits, const std::uint8_t *table, int outBits) {
    std::uint64_t out = 0;
    for (int i = 0; i < outBits; ++i) {
        out = (out << 1) | ((in >> (inBits - table[i])) & 1u);
    }
    return out;
}

std::uint64_t LoadBlock(const std::uint8_t *p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

void StoreBlock(std::uint64_t v, std::uint8_t *p) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(v & 0xFF);
        v >>= 8;
    }
}

// A bit permutation of an input of up to eight bytes as one table per input byte: the output is
// the OR of the tables' entries for the input's bytes.
struct ByteTables {
    std::uint64_t t[8][256];
};

void BuildByteTables(ByteTables *bt, int inBits, const std::uint8_t *table, int outBits) {
    for (int byte = 0; byte < inBits / 8; ++byte) {
        // Where each of the byte's eight bits lands; a value's entry is the OR of its bits'.
        std::uint64_t bit[8];
        for (int b = 0; b < 8; ++b) {
            bit[b] = Permute(std::uint64_t{0x80u >> b} << (inBits - 8 * (byte + 1)), inBits, table,
                             outBits);
        }
        bt->t[byte][0] = 0;
        for (int value = 1; value < 256; ++value) {
            int low = 7;
            while (((value >> (7 - low)) & 1) == 0) --low;  // the value's lowest set bit
            bt->t[byte][value] = bt->t[byte][value & (value - 1)] | bit[low];
        }
    }
}

std::uint64_t Apply(const ByteTables &bt, std::uint64_t in, int inBits) {
    std::uint64_t out = 0;
    for (int byte = 0; byte < inBits / 8; ++byte) {
        out |= bt.t[byte][(in >> (inBits - 8 * (byte + 1))) & 0xFF];
    }
    return out;
}

struct Tables {
    ByteTables initial, final, pc1, pc2;
    // S-box `box` for a six-bit input, already through the P permutation.
    std::uint32_t sp[8][64];
};

Tables BuildTables() {
    Tables t;
    BuildByteTables(&t.initial, 64, kInitialPerm, 64);
    BuildByteTables(&t.final, 64, kFinalPerm, 64);
    BuildByteTables(&t.pc1, 64, kPc1, 56);
    BuildByteTables(&t.pc2, 56, kPc2, 48);
    for (int box = 0; box < 8; ++box) {
        for (unsigned six = 0; six < 64; ++six) {
            const unsigned row = ((six >> 4) & 2u) | (six & 1u);
            const unsigned col = (six >> 1) & 0x0Fu;
            const std::uint64_t s = static_cast<std::uint64_t>(kSBox[box][row * 16 + col])
                                    << (28 - 4 * box);
            t.sp[box][six] = static_cast<std::uint32_t>(Permute(s, 32, kRoundPerm, 32));
        }
    }
    return t;
}

const Tables &GetTables() {
    static const Tables tables = BuildTables();  // built once, thread-safe
    return tables;
}

// The sixteen round keys of one DES key, each as the eight six-bit pieces its S-boxes take.
// PC-1 drops the eight parity bits, so the low bit of each key byte never influences it.
struct KeySchedule {
    std::uint8_t round[16][8];
};

void MakeSchedule(const Tables &t, const std::uint8_t key[8], KeySchedule *ks) {
    const std::uint64_t cd = Apply(t.pc1, LoadBlock(key), 64);
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28) & 0x0FFFFFFFu;
    std::uint32_t d = static_cast<std::uint32_t>(cd) & 0x0FFFFFFFu;
    for (int r = 0; r < 16; ++r) {
        for (int s = 0; s < kRotations[r]; ++s) {
            c = ((c << 1) | (c >> 27)) & 0x0FFFFFFFu;
            d = ((d << 1) | (d >> 27)) & 0x0FFFFFFFu;
        }
        const std::uint64_t k = Apply(t.pc2, (static_cast<std::uint64_t>(c) << 28) | d, 56);
        for (int box = 0; box < 8; ++box) {
            ks->round[r][box] = static_cast<std::uint8_t>((k >> (42 - 6 * box)) & 0x3F);
        }
    }
}

// The expansion takes, for S-box b, the six bits 4b..4b+5 of R (bit 0 being bit 32 and bit 33
// bit 1): with R framed by its last bit in front and its first bit behind, they lie together.
std::uint32_t RoundFunction(const Tables &t, std::uint32_t r, const std::uint8_t *subkey) {
    const std::uint64_t framed = (static_cast<std::uint64_t>(r & 1u) << 33) |
                                 (static_cast<std::uint64_t>(r) << 1) | (r >> 31);
    std::uint32_t f = 0;
    for (int box = 0; box < 8; ++box) {
        const unsigned six = static_cast<unsigned>(framed >> (28 - 4 * box)) & 0x3Fu;
        f |= t.sp[box][six ^ subkey[box]];
    }
    return f;
}

// The sixteen rounds between the initial and the final permutation; decryption runs the round
// keys backwards.  Works on the permuted block, so that triple DES permutes only once.
std::uint64_t Rounds(const Tables &t, std::uint64_t block, const KeySchedule &ks, bool decrypt) {
    std::uint32_t l = static_cast<std::uint32_t>(block >> 32);
    std::uint32_t r = static_cast<std::uint32_t>(block);
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t next = l ^ RoundFunction(t, r, ks.round[decrypt ? 15 - i : i]);
        l = r;
        r = next;
    }
    return (static_cast<std::uint64_t>(r) << 32) | l;
}

// The final permutation undoes the initial one, so between two DES passes they cancel.
std::uint64_t DesBlock(const Tables &t, std::uint64_t block, const KeySchedule &ks, bool decrypt) {
    return Apply(t.final, Rounds(t, Apply(t.initial, block, 64), ks, decrypt), 64);
}

bool ArgumentsValid(const void *a, const void *b, const std::uint8_t *in, std::size_t length,
                    std::uint8_t *out) {
    if (a == nullptr || b == nullptr) return false;
    if (length % DES_BLOCK_SIZE != 0) return false;
    if (length > 0 && (in == nullptr || out == nullptr)) return false;
    return true;
}

bool TdeaEcb(const std::uint8_t k1[8], const std::uint8_t k2[8], const std::uint8_t *input,
             std::size_t length, std::uint8_t *output, bool decrypt) {
    if (!ArgumentsValid(k1, k2, input, length, output)) return false;
    if (length == 0) return true;
    // The input is moved into the output first (they may overlap) and worked on there.
    std::memmove(output, input, length);
    const Tables &t = GetTables();
    KeySchedule s1;
    KeySchedule s2;
    MakeSchedule(t, k1, &s1);
    MakeSchedule(t, k2, &s2);
    for (std::size_t off = 0; off < length; off += DES_BLOCK_SIZE) {
        std::uint64_t b = Apply(t.initial, LoadBlock(output + off), 64);
        // Encryption is E(K1) D(K2) E(K1); decryption the inverse, D(K1) E(K2) D(K1).  The final
        // and initial permutations between the passes cancel, so only the rounds run there.
        b = Rounds(t, b, s1, decrypt);
        b = Rounds(t, b, s2, !decrypt);
        b = Rounds(t, b, s1, decrypt);
        StoreBlock(Apply(t.final, b, 64), output + off);
    }
    SecureWipe(&s1, sizeof s1);
    SecureWipe(&s2, sizeof s2);
    return true;
}

bool DesCbc(const std::uint8_t key[8], const std::uint8_t iv[8], const std::uint8_t *input,
            std::size_t length, std::uint8_t *output, bool decrypt) {
    if (!ArgumentsValid(key, iv, input, length, output)) return false;
    if (length == 0) return true;
    std::uint64_t chain = LoadBlock(iv);  // read before the output (which may be the IV) changes
    std::memmove(output, input, length);
    const Tables &t = GetTables();
    KeySchedule ks;
    MakeSchedule(t, key, &ks);
    for (std::size_t off = 0; off < length; off += DES_BLOCK_SIZE) {
        const std::uint64_t in = LoadBlock(output + off);
        std::uint64_t out;
        if (decrypt) {
            out = DesBlock(t, in, ks, true) ^ chain;
            chain = in;
        } else {
            out = DesBlock(t, in ^ chain, ks, false);
            chain = out;
        }
        StoreBlock(out, output + off);
    }
    SecureWipe(&ks, sizeof ks);
    return true;
}

}  // namespace

void SecureWipe(void *data, std::size_t length) {
    volatile std::uint8_t *p = static_cast<volatile std::uint8_t *>(data);
    for (std::size_t i = 0; i < length; ++i) p[i] = 0;
}

bool TdeaEcbEncrypt(const std::uint8_t k1[8], const std::uint8_t k2[8], const std::uint8_t *input,
                    std::size_t length, std::uint8_t *output) {
    return TdeaEcb(k1, k2, input, length, output, false);
}

bool TdeaEcbDecrypt(const std::uint8_t k1[8], const std::uint8_t k2[8], const std::uint8_t *input,
                    std::size_t length, std::uint8_t *output) {
    return TdeaEcb(k1, k2, input, length, output, true);
}

bool DesCbcEncrypt(const std::uint8_t key[8], const std::uint8_t iv[8], const std::uint8_t *input,
                   std::size_t length, std::uint8_t *output) {
    return DesCbc(key, iv, input, length, output, false);
}

bool DesCbcDecrypt(const std::uint8_t key[8], const std::uint8_t iv[8], const std::uint8_t *input,
                   std::size_t length, std::uint8_t *output) {
    return DesCbc(key, iv, input, length, output, true);
}
