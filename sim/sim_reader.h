// The simulated card reader/writer, seen from the reader's side: it parses the frames the host
// sends, keeps the reader's state (line speed, key state, held key set, authentication, session
// key, sequence number, key table) and queues its answers.  It shares only the DES primitives
// with the library.  Every frame in both directions is logged, and faults can be injected.
#ifndef ZUK_SIM_SIM_READER_H
#define ZUK_SIM_SIM_READER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A card in the reader's field: gets a card command body, writes the card's answer body and
// returns its length (at most `capacity`); 0 means the card said nothing.
typedef std::size_t (*SimCardHook)(void *context, const std::uint8_t *command, std::size_t length,
                                   std::uint8_t *answer, std::size_t capacity);

// The answer body a reader gives for a card command when no card answers.
constexpr std::uint8_t SIM_NO_CARD_ANSWER = 0xEF;

struct SimFaults {
    // The next `classCount` frames get an empty answer of this class (0x80 busy, 0x81 ...); the
    // reader adds 0x20 for reader and card frames.  Such frames are not acted on.
    std::uint8_t answerClass = 0x80;
    int classCount = 0;
    // Answers leave in pieces of this many bytes (0: whole); the program pauses between pieces.
    std::size_t splitPiece = 0;
    std::uint32_t splitDelayMs = 0;
    bool wrongSequence = false;  // next secured answer carries another sequence number
    bool badAuthAnswer = false;  // next authentication answer carries a wrong T3
    bool emptySecured = false;   // next secured answer has an empty body
    int innerLengthExtra = 0;    // next secured answer claims this many body bytes more
    // Commands with this INS answer this status word instead (count < 0: always).
    std::uint8_t statusIns = 0;
    std::uint16_t statusWord = 0x9000;
    int statusCount = 0;
    // Line noise: the next secured answer has its last ciphertext byte changed (the frame's
    // checksum still matches), or the next answer of any kind has a wrong frame checksum.
    bool flipSecuredByte = false;
    bool badChecksum = false;
    bool silent = false;  // the reader takes frames and never answers
    // The next `cutCount` answers to secured frames are cut short on the line: only their header
    // and part of their body leave, the rest never.  Whether the reader counted the command whose
    // answer was lost (moved to the next sequence number, as a real reader does) or not.
    int cutCount = 0;
    bool cutUncounted = false;
    // The next `dropCount` plain reader commands with instruction `dropIns` get no answer at all:
    // with dropActed the reader carries each out and its answer is lost on the line, else the
    // command is lost before the reader sees it.
    std::uint8_t dropIns = 0;
    int dropCount = 0;
    bool dropActed = true;
    bool closed = false;  // the line is closed: writes fail, nothing arrives
};

struct SimLogEntry {
    bool fromHost;
    std::vector<std::uint8_t> bytes;
    std::uint32_t baud;  // the host's line speed for requests, the reader's for answers
};

struct SimKeyTableEntry {
    std::uint8_t p1;
    std::uint8_t p2;
    std::vector<std::uint8_t> data;
};

struct SimReader {
    std::uint8_t initialKeys[24];
    std::uint8_t operationalKeys[24];
    std::uint8_t heldKeys[24];  // the set the reader authenticates with
    std::uint8_t keyState[3];   // a zero byte: not configured, authentication runs in clear
    std::uint32_t speed;        // the reader's own line speed
    bool checkSpeed;            // drop reader and card frames sent at another speed
    bool started;
    bool active;
    std::uint8_t setting[2];
    // Authentication and the secured channel.
    bool challengeIssued;
    bool authenticated;
    bool clearSession;  // the session was authenticated in clear (while the key state was
                        // incomplete)
    std::uint8_t readerRandom[8];
    std::uint8_t hostRandom[8];
    std::uint8_t sessionKey[8];
    std::uint16_t expectedSequence;
    std::uint32_t randomState;
    int authentications;
    // The card.
    bool cardPresent;
    SimCardHook cardHook;
    void *cardContext;
    int cardCommands;  // card commands passed on to the field, answered or not
    std::vector<SimKeyTableEntry> keyTable;
    // Line.
    std::vector<std::uint8_t> input;
    std::deque<std::uint8_t> output;
    std::vector<SimLogEntry> log;
    std::vector<std::string> events;
    SimFaults faults;
};

// A reader that holds the initial key set with an unconfigured key state (provisioned = false),
// or one that holds the operational set with key state 02 11 02.  Speed 9600.
void SimReaderInit(SimReader *reader, const std::uint8_t initialKeys[24],
                   const std::uint8_t operationalKeys[24], bool provisioned);
// Bytes from the host at the host's line speed (0: unknown).  False when the line is closed.
bool SimReaderReceive(SimReader *reader, const std::uint8_t *data, std::size_t length,
                      std::uint32_t hostBaud);
// Takes up to `capacity` answer bytes (one piece at most when answers are split).
std::size_t SimReaderTransmit(SimReader *reader, std::uint8_t *out, std::size_t capacity);
// Drops partial input and pending output.
void SimReaderPurge(SimReader *reader);

// Hex text of bytes, upper case, space-separated ("08 00 05 ...").
std::string SimHex(const std::uint8_t *data, std::size_t length);
std::string SimHex(const std::vector<std::uint8_t> &bytes);
// The logged frames of one direction, as hex text.
std::vector<std::string> SimLogFrames(const SimReader &reader, bool fromHost);
// Parses hex text (spaces allowed) into bytes; false on a bad digit or odd count.
bool SimParseHex(const std::string &text, std::vector<std::uint8_t> *bytes);

#endif
