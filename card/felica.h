// The FeliCa command layer: body builders for every card and reader-card command, the common
// exchange through the secure channel with its answer checks, the block-level commands, and the
// process-wide command state (current IDm, polling codes).
#ifndef ZUK_CARD_FELICA_H
#define ZUK_CARD_FELICA_H

#include <cstddef>
#include <cstdint>

#include "card/card_state.h"
#include "card/card_status.h"

constexpr std::size_t FELICA_BLOCK_SIZE = 16;
constexpr int FELICA_MAX_READ_BLOCKS = 12;
constexpr int FELICA_MAX_WRITE_BLOCKS = 8;
constexpr int FELICA_MAX_LIST = 16;  // areas or services in one authentication
constexpr int FELICA_MAX_KEY_SLOTS = 32;

// Answer codes (body[0] of the reader's answer).
constexpr std::uint8_t FELICA_ANSWER_POLLING = 0x01;
constexpr std::uint8_t FELICA_ANSWER_POLLING_MULTI = 0x61;
constexpr std::uint8_t FELICA_ANSWER_REQUEST_RESPONSE = 0x05;
constexpr std::uint8_t FELICA_ANSWER_READ = 0x15;
constexpr std::uint8_t FELICA_ANSWER_WRITE = 0x17;
constexpr std::uint8_t FELICA_ANSWER_KEY_SELECT = 0x43;
constexpr std::uint8_t FELICA_ANSWER_AUTH = 0x53;
constexpr std::uint8_t FELICA_ANSWER_AUTH_READ = 0x57;

// Body builders: each writes one command body into `out` (capacity `cap`) and sets *length.
// Limits outside the command's range give BUILD_ERR_LIMIT, a body that does not fit
// BUILD_ERR_TOO_LONG; BUILD_OK otherwise.  Lists are 2-byte elements copied unchanged.
CardStatus FelicaBuildPolling(const std::uint8_t code[2], std::uint8_t *out, std::size_t cap,
                              std::size_t *length);
CardStatus FelicaBuildPollingMulti(int n, const std::uint8_t *codes, std::uint8_t *out,
                                   std::size_t cap, std::size_t *length);
CardStatus FelicaBuildRequestResponse(const std::uint8_t idm[8], std::uint8_t *out, std::size_t cap,
                                      std::size_t *length);
CardStatus FelicaBuildRead(const std::uint8_t idm[8], int n, const std::uint8_t *blocks,
                           std::uint8_t *out, std::size_t cap, std::size_t *length);
CardStatus FelicaBuildWrite(const std::uint8_t idm[8], int n, const std::uint8_t *blocks,
                            const std::uint8_t *data, std::uint8_t *out, std::size_t cap,
                            std::size_t *length);
CardStatus FelicaBuildKeySelect(int keyNumber, int keyVersion, std::uint8_t *out, std::size_t cap,
                                std::size_t *length);
CardStatus FelicaBuildAuth(const std::uint8_t idm[8], int na, const std::uint8_t *areas, int ns,
                           const std::uint8_t *services, std::uint8_t *out, std::size_t cap,
                           std::size_t *length);
CardStatus FelicaBuildAuthRead(const std::uint8_t idm[8], int na, const std::uint8_t *areas, int ns,
                               const std::uint8_t *services, int nb, const std::uint8_t *blocks,
                               std::uint8_t *out, std::size_t cap, std::size_t *length);
// The whole 0x28 reader-command frame of the key table: 00 89 P1 P2 Lc, Lc = 8 * slots data.
CardStatus FelicaBuildKeyTableFrame(int p1, int p2, int slots, const std::uint8_t *data,
                                    std::uint8_t *out, std::size_t cap, std::size_t *length);

// Command operations (card command codes; CARD_OK is success).
CardStatus CardPoll(std::uint8_t idm[8], std::uint8_t pmm[8]);
CardStatus CardRequestResponse(std::uint8_t *mode);
CardStatus CardReadBlocks(int n, const std::uint8_t *blocks, int capacity, std::uint8_t *out,
                          int *outLength);
CardStatus CardWriteBlocks(int n, const std::uint8_t *blocks, const std::uint8_t *data);
CardStatus CardAuthenticate(int keyNumber, int keyVersion, int na, const std::uint8_t *areas,
                            int ns, const std::uint8_t *services);
CardStatus CardAuthRead(int keyNumber, int keyVersion, int na, const std::uint8_t *areas, int ns,
                        const std::uint8_t *services, int nb, const std::uint8_t *blocks,
                        int capacity, std::uint8_t *out, int *outLength);
CardStatus ReaderWriteKeyTable(int p1, int p2, int slots, const std::uint8_t *data);
CardStatus SetPollingCodes(const std::uint8_t *codes, int count);
CardStatus ClearCurrentIdm();

#endif
