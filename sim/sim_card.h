// The simulated FeliCa card, seen from the card's side: its IDm, PMm and system code, five
// services of 16-byte blocks each opened by a read key and a write key, and its answers to the
// card commands the reader passes on (polling, Request Response, key selection, authentication,
// authenticated read, Read, Write).  It sits behind the simulated reader's card hook.
//
// Key rule: a key selection names a key number; an authentication (or authenticated read) opens
// the listed service codes only when every one of them exists and has the selected key number.
// Read and Write then act only on services opened by the last authentication of this card, and
// Write only through a read/write service code (low byte 0x08).  Anything else is refused with
// status flags (FF A5 access not allowed, FF A6 no such service, FF A8 block out of range).
// An authentication that opens a read/write service code also needs the card's key for the
// selected key number in the key table the reader loaded last (slot N holds key number N): a
// reader loaded with the library's table, whose write slots 2, 6, 8 and 10 are empty, can write
// the PIN control block only; the issuing station's table opens every item for writing.
#ifndef ZUK_SIM_SIM_CARD_H
#define ZUK_SIM_SIM_CARD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "card/issue/card_description.h"
#include "sim/sim_reader.h"

constexpr int SIM_CARD_SERVICES = 5;  // service numbers 0x198, 0x19C, 0x1A0, 0x1A4, 0x1A8
constexpr int SIM_CARD_BLOCKS = 32;   // blocks per service
constexpr std::size_t SIM_CARD_BLOCK_SIZE = 16;
constexpr int SIM_CARD_KEYS = 11;  // key numbers 0-10

struct SimCardFaults {
    int readFlagCount = 0;  // the next reads (Read or authenticated read) fail ...
    std::uint8_t readFlag1 = 0x01, readFlag2 = 0xA8;  // ... with these status flags
    int writeFlagCount = 0;                           // the next Writes fail with these flags
    std::uint8_t writeFlag1 = 0x01, writeFlag2 = 0x70;
    int silentAfter = -1;       // after answering this many more commands the card goes quiet
    int removeAfterReads = -1;  // the card leaves the field after this many more reads
    int overcountRead = 0;      // a Read answer claims this many blocks more than it carries
    int removeAtWrite = -1;     // the card leaves the field when the Nth next Write arrives
};

struct SimCard {
    std::uint8_t idm[8];
    std::uint8_t pmm[8];
    std::uint8_t systemCode[2];
    // Per service: the 0x..0A read-only code's key number and the 0x..08 read/write code's one.
    int readKey[SIM_CARD_SERVICES];
    int writeKey[SIM_CARD_SERVICES];
    std::uint8_t keys[SIM_CARD_KEYS][8];  // the card's key of each key number
    std::uint8_t blocks[SIM_CARD_SERVICES][SIM_CARD_BLOCKS][SIM_CARD_BLOCK_SIZE];
    // Session of the card: the selected key, the service codes the last authentication opened.
    int selectedKey;
    std::vector<std::uint16_t> opened;
    std::uint8_t mode;
    SimCardFaults faults;
    SimReader *reader = nullptr;  // the reader it was placed in: removal faults, the key table
    std::vector<std::string> commands;  // every command body received, as hex text
    int writes;                         // Writes carried out
};

// The card content a description file gives (the shared card description format).
using SimCardDescription = CardDescription;

// Reads a description (see ParseCardDescription).
bool SimCardParseDescription(const std::string &text, SimCardDescription *out, std::string *error);
// Reads a description file (zuk-reader-sim --card, the tests' and the benchmark's cards); false
// with `error` set ("cannot read PATH", or the parse's reason) when it cannot be read or parsed.
bool SimCardReadDescriptionFile(const std::string &path, SimCardDescription *out,
                                std::string *error);
// A card holding the description's content, laid out as the library expects it (a card already
// placed stays with its reader).
void SimCardInit(SimCard *card, const SimCardDescription &description);
// Gives the card the keys of a key table (slot N: its key of key number N); SimCardInit gives it
// the build's issuing table.
void SimCardUseKeys(SimCard *card, const std::uint8_t table[SIM_CARD_KEYS * 8]);
// Places the card in the reader's field (behind its hook) or takes it out.
void SimCardPlace(SimCard *card, SimReader *reader);
void SimCardRemove(SimReader *reader);
// The card hook itself.
std::size_t SimCardAnswer(void *context, const std::uint8_t *command, std::size_t length,
                          std::uint8_t *answer, std::size_t capacity);
// Hex dump of one service's blocks (service index 0-4), one block a line.
std::string SimCardDump(const SimCard &card, int service);

#endif
