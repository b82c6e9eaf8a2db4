// The card layer's process-wide state in one record: the session's open flag, the polling list and
// the card it found, the shared read areas and the last failure status for the trace.  One card
// session per process.
#ifndef ZUK_CARD_CARD_STATE_H
#define ZUK_CARD_CARD_STATE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr std::size_t FELICA_IDM_SIZE = 8;
constexpr std::size_t FELICA_PMM_SIZE = 8;
constexpr int FELICA_MAX_POLL_CODES = 16;  // codes a polling list may hold
constexpr int CARD_DATA_AREA_SIZE = 1024;  // the item reads' shared area
constexpr int CARD_BLOCK_LIST_SIZE = 1024;
constexpr int CARD_READER_KEYS_SIZE = 56;  // the key-carrying slots 0, 1, 3, 4, 5, 7 and 9

struct CardState {
    int sessionOpen;  // 1 from a successful open until a close that closed the port
    // The polling list last taken (at most 16 codes, two bytes each); a sense with the same list
    // asks the card found again instead of polling.
    std::uint8_t pollingCodes[2 * FELICA_MAX_POLL_CODES];
    int pollingCodeCount;
    // The card the last poll found (zero: none); card commands address its IDm.
    std::uint8_t idm[FELICA_IDM_SIZE];
    std::uint8_t pmm[FELICA_PMM_SIZE];
    std::uint8_t blockList[CARD_BLOCK_LIST_SIZE];  // the block list of the item being accessed
    std::uint8_t dataArea[CARD_DATA_AREA_SIZE];    // what the item reads fill
    std::atomic<std::uint32_t> lastStatus;         // the last failure status (0: none yet)
    // The reader key table's keys a session loads (the built-in ones after a reset, or a site's),
    // and why no session may open (0: they may): the status of the site keys stored on the
    // machine that cannot be used, so that no session ever runs on the built-in keys instead.
    std::uint8_t readerKeys[CARD_READER_KEYS_SIZE];
    std::uint32_t keyFault;
};

extern CardState g_card;

// Back to the state at load: session closed (the link is not touched), no list, no card, areas
// wiped, no last status, the built-in reader keys.
void CardStateReset();

#endif
