// Real line time for the simulated reader: a byte costs 11 bit times (start, 8 data, even parity,
// stop) at the line speed in each direction, and the reader and the card take their own
// processing time before an answer leaves.  The pseudo-terminal itself moves bytes at once; the
// program holds each answer back until the moment a real line would have delivered it.
#ifndef ZUK_SIM_LINE_PACE_H
#define ZUK_SIM_LINE_PACE_H

#include <cstddef>
#include <cstdint>

// Processing times a PR300 reader and a FeliCa card plausibly take: the reader parses, checks and
// (for secured frames) decrypts and encrypts in about a millisecond; a card command adds the radio
// exchange with the card and the card's own work, a few milliseconds.
constexpr std::uint32_t SIM_DEFAULT_READER_US = 1000;
constexpr std::uint32_t SIM_DEFAULT_CARD_US = 3000;
constexpr std::uint32_t SIM_BITS_PER_BYTE = 11;

struct SimLinePace {
    bool on = false;
    std::uint32_t readerUs = SIM_DEFAULT_READER_US;  // per frame the reader answers
    std::uint32_t cardUs = SIM_DEFAULT_CARD_US;      // per command the card is given
    std::int64_t hostLineFreeNs = 0;                 // when the last host byte has arrived
    std::int64_t readerLineFreeNs = 0;               // when the last answer byte has arrived
};

// Nanoseconds `bytes` bytes take on the line at `baud` bit/s (0 counts as 9600).
std::int64_t SimLineNs(std::size_t bytes, std::uint32_t baud);
// CLOCK_MONOTONIC in nanoseconds.
std::int64_t SimNowNs();
// Sleeps until the monotonic clock reaches `ns` (returns at once when it has passed).
void SimSleepUntilNs(std::int64_t ns);
// Host bytes read at `nowNs`: they arrive one after the other once the line is free; returns
// when the last of them has arrived.
std::int64_t SimPaceReceive(SimLinePace *pace, std::int64_t nowNs, std::size_t bytes,
                            std::uint32_t baud);
// Writes `length` answer bytes to `fd`, each at the moment its last bit would arrive, the first
// starting no earlier than `readyNs`.  Returns false when a write fails.
bool SimPaceTransmit(SimLinePace *pace, int fd, const std::uint8_t *data, std::size_t length,
                     std::uint32_t baud, std::int64_t readyNs);

#endif
