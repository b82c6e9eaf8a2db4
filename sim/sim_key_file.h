// A site key file as the simulated reader takes it: the reader's two channel key sets, the
// library's card key table and, when present, the issuing table.  Read with the simulator's own
// small parser (the device side shares no code with the library's reader of the format, only the
// rule of weak keys, settings/key_strength.h, which refuses the file): the header line
// "ZUKcntrl site keys 1", then "name = HEX" lines; `initial`, `operational` and `reader` are
// required, `issuer` optional, `mask` (checked for weakness only) and `check` are allowed.
#ifndef ZUK_SIM_SIM_KEY_FILE_H
#define ZUK_SIM_SIM_KEY_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t SIM_KEY_SET_SIZE = 24;      // KA KB KC
constexpr std::size_t SIM_READER_KEYS_SIZE = 56;  // slots 0, 1, 3, 4, 5, 7 and 9
constexpr std::size_t SIM_KEY_TABLE_SIZE = 88;    // eleven 8-byte slots, slot N for key number N

struct SimSiteKeys {
    std::uint8_t initial[SIM_KEY_SET_SIZE];
    std::uint8_t operational[SIM_KEY_SET_SIZE];
    std::uint8_t reader[SIM_READER_KEYS_SIZE];
    std::uint8_t issuer[SIM_KEY_TABLE_SIZE];  // all zero unless hasIssuer
    bool hasIssuer;
};

// Reads the text of a key file; false with the reason (and its line) in *error.
bool SimParseSiteKeys(const std::string &text, SimSiteKeys *out, std::string *error);

// The key table the library loads from its reader keys: slots 0-1, 3-5, 7 and 9 filled, the
// write slots 2, 6, 8 and 10 zero.
void SimLibraryKeyTable(const std::uint8_t reader[SIM_READER_KEYS_SIZE],
                        std::uint8_t table[SIM_KEY_TABLE_SIZE]);

// The card keys of a site: its issuing table, or without one its reader keys in their slots and
// the write slots of `fallback` (an issuing table).
void SimCardKeyTable(const SimSiteKeys &keys, const std::uint8_t fallback[SIM_KEY_TABLE_SIZE],
                     std::uint8_t table[SIM_KEY_TABLE_SIZE]);

// The key check value of a DES key: the first 3 bytes of its encryption of 8 zero bytes, as six
// upper-case hexadecimal digits.
std::string SimKeyCheckValue(const std::uint8_t key[8]);

#endif
