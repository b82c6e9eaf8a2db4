// The simulated FeliCa card: parses each command body the reader passes on, checks it against the
// card's own state and answers as the card (or stays silent when not addressed).
#include "sim/sim_card.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "zuk_issuer_keys.h"

namespace {

constexpr int kReadKeys[SIM_CARD_SERVICES] = {1, 3, 5, 7, 9};
constexpr int kWriteKeys[SIM_CARD_SERVICES] = {2, 4, 6, 8, 10};

// Bounded reading of a command body.
struct Cursor {
    const std::uint8_t *p;
    std::size_t n;
    std::size_t at;
    bool ok;

    std::uint8_t Byte() {
        if (at >= n) {
            ok = false;
            return 0;
        }
        return p[at++];
    }
    const std::uint8_t *Take(std::size_t count) {
        if (count > n - at) {
            ok = false;
            return nullptr;
        }
        const std::uint8_t *q = p + at;
        at += count;
        return q;
    }
};

// Service index (0-4) of a service code, or -1; `writable` tells a 0x..08 code from a 0x..0A one.
int ServiceIndex(std::uint16_t code, bool *writable) {
    const int attribute = code & 0x3F;
    const int number = code >> 6;
    if (attribute != 0x08 && attribute != 0x0A) return -1;
    if (number < 0x198 || number > 0x1A8 || (number - 0x198) % 4 != 0) return -1;
    *writable = attribute == 0x08;
    return (number - 0x198) / 4;
}

int KeyOf(const SimCard &card, std::uint16_t code) {
    bool writable = false;
    const int s = ServiceIndex(code, &writable);
    if (s < 0) return -1;
    return writable ? card.writeKey[s] : card.readKey[s];
}

struct BlockRef {
    int listIndex;
    int block;
};

// Reads n block-list elements (2-byte with bit 7 set, else 3-byte with a little-endian number).
bool ParseBlockList(Cursor *c, int n, std::vector<BlockRef> *out) {
    for (int i = 0; i < n; ++i) {
        const std::uint8_t head = c->Byte();
        int block = 0;
        if (head & 0x80) {
            block = c->Byte();
        } else {
            const std::uint8_t lo = c->Byte();
            block = lo | (c->Byte() << 8);
        }
        if (!c->ok) return false;
        out->push_back({head & 0x0F, block});
    }
    return true;
}

// Status flags for access to `refs` through `services`; 0 0 when all may be served.
void CheckAccess(const std::vector<std::uint16_t> &services, const std::vector<BlockRef> &refs,
                 bool write, std::uint8_t *f1, std::uint8_t *f2) {
    *f1 = 0;
    *f2 = 0;
    for (const BlockRef &r : refs) {
        if (r.listIndex >= static_cast<int>(services.size())) {
            *f1 = 0xFF;
            *f2 = 0xA5;
            return;
        }
        bool writable = false;
        const int s = ServiceIndex(services[r.listIndex], &writable);
        if (s < 0) {
            *f1 = 0xFF;
            *f2 = 0xA6;
            return;
        }
        if (write && !writable) {
            *f1 = 0xFF;
            *f2 = 0xA5;
            return;
        }
        if (r.block >= SIM_CARD_BLOCKS) {
            *f1 = 0xFF;
            *f2 = 0xA8;
            return;
        }
    }
}

std::uint8_t *BlockOf(SimCard *card, std::uint16_t code, int block) {
    bool writable = false;
    return card->blocks[ServiceIndex(code, &writable)][block];
}

// Whether the key table the reader loaded last holds the card's key of `key` (never an empty one).
bool ReaderCarriesKey(const SimCard &card, int key) {
    if (card.reader == nullptr || card.reader->keyTable.empty()) return false;
    if (key < 0 || key >= SIM_CARD_KEYS) return false;
    const std::vector<std::uint8_t> &table = card.reader->keyTable.back().data;
    const std::size_t at = 8 * static_cast<std::size_t>(key);
    if (table.size() < at + 8) return false;
    static const std::uint8_t kEmpty[8] = {};
    return std::memcmp(card.keys[key], kEmpty, 8) != 0 &&
           std::memcmp(&table[at], card.keys[key], 8) == 0;
}

// Parses "na areas ns services" and opens the services when the selected key opens all of them.
bool Authenticate(SimCard *card, Cursor *c, std::vector<std::uint16_t> *services) {
    const int na = c->Byte();
    c->Take(2 * static_cast<std::size_t>(na));
    const int ns = c->Byte();
    const std::uint8_t *codes = c->Take(2 * static_cast<std::size_t>(ns));
    if (!c->ok || ns == 0) return false;
    services->clear();
    for (int i = 0; i < ns; ++i) services->push_back(codes[2 * i] | (codes[2 * i + 1] << 8));
    card->opened.clear();
    for (std::uint16_t code : *services) {
        if (KeyOf(*card, code) != card->selectedKey) return false;
        if ((code & 0x3F) == 0x08 && !ReaderCarriesKey(*card, card->selectedKey)) return false;
    }
    card->opened = *services;
    card->mode = 2;
    return true;
}

bool Addressed(const SimCard &card, Cursor *c) {
    const std::uint8_t *idm = c->Take(8);
    return c->ok && std::memcmp(idm, card.idm, 8) == 0;
}

std::size_t Emit(const std::vector<std::uint8_t> &bytes, std::uint8_t *answer,
                 std::size_t capacity) {
    if (bytes.empty() || bytes.size() > capacity) return 0;
    std::memcpy(answer, bytes.data(), bytes.size());
    return bytes.size();
}

// Counts a read towards the removal fault; true when the card has just left the field.
bool ReadRemoves(SimCard *card) {
    if (card->faults.removeAfterReads < 0) return false;
    if (card->faults.removeAfterReads == 0) {
        card->faults.removeAfterReads = -1;
        if (card->reader != nullptr) SimCardRemove(card->reader);
        return true;
    }
    --card->faults.removeAfterReads;
    return false;
}

bool ReadFault(SimCard *card, std::uint8_t *f1, std::uint8_t *f2) {
    if (card->faults.readFlagCount <= 0) return false;
    --card->faults.readFlagCount;
    *f1 = card->faults.readFlag1;
    *f2 = card->faults.readFlag2;
    return true;
}

// Polling, one system code (command code 0x00).
std::vector<std::uint8_t> Polling(SimCard *card, Cursor &c) {
    std::vector<std::uint8_t> out;
    const std::uint8_t *sc = c.Take(2);
    const std::uint8_t request = c.Byte();
    c.Byte();
    if (!c.ok) return {};
    const bool match = (sc[0] == 0xFF || sc[0] == card->systemCode[0]) &&
                       (sc[1] == 0xFF || sc[1] == card->systemCode[1]);
    if (!match) return {};
    card->mode = 0;
    card->opened.clear();
    out = {0x01};
    out.insert(out.end(), card->idm, card->idm + 8);
    out.insert(out.end(), card->pmm, card->pmm + 8);
    if (request == 0x01) out.insert(out.end(), card->systemCode, card->systemCode + 2);
    return out;
}

// Polling for several system codes (command code 0x60).
std::vector<std::uint8_t> PollingMulti(SimCard *card, Cursor &c) {
    std::vector<std::uint8_t> out;
    const int n = c.Byte() - 0x80;
    if (!c.ok || n < 0 || n > 16) return {};
    const std::uint8_t *codes = c.Take(2 * static_cast<std::size_t>(n));
    if (!c.ok) return {};
    for (int i = 0; i < n; ++i) {
        if (codes[2 * i] == card->systemCode[0] && codes[2 * i + 1] == card->systemCode[1]) {
            card->mode = 0;
            card->opened.clear();
            out = {0x61, static_cast<std::uint8_t>(i), 0x00, 0x00};
            out.insert(out.end(), card->idm, card->idm + 8);
            out.insert(out.end(), card->pmm, card->pmm + 8);
            return out;
        }
    }
    return {};
}

// Request Response (command code 0x04).
std::vector<std::uint8_t> RequestResponse(SimCard *card, Cursor &c) {
    std::vector<std::uint8_t> out;
    if (!Addressed(*card, &c)) return {};
    out = {0x05};
    out.insert(out.end(), card->idm, card->idm + 8);
    out.push_back(card->mode);
    return out;
}

// Key selection (command code 0x42).
std::vector<std::uint8_t> KeySelect(SimCard *card, Cursor &c) {
    const std::uint8_t key = c.Byte();
    c.Byte();
    if (!c.ok) return {};
    card->selectedKey = key;
    card->opened.clear();
    card->mode = 1;
    return {0x43};
}

// Authentication (command code 0x52).
std::vector<std::uint8_t> Authentication(SimCard *card, Cursor &c) {
    if (c.Byte() != 0x81 || !Addressed(*card, &c)) return {};
    std::vector<std::uint16_t> services;
    const bool ok = Authenticate(card, &c, &services);
    if (!c.ok) return {};
    return {0x53, 0x00, static_cast<std::uint8_t>(ok ? 0x00 : 0x01),
            static_cast<std::uint8_t>(ok ? 0x00 : 0xA5)};
}

// Authentication and read (command code 0x56).
std::vector<std::uint8_t> AuthenticatedRead(SimCard *card, Cursor &c) {
    std::vector<std::uint8_t> out;
    if (c.Byte() != 0x81 || !Addressed(*card, &c)) return {};
    std::vector<std::uint16_t> services;
    const bool ok = Authenticate(card, &c, &services);
    const int nb = c.Byte();
    std::vector<BlockRef> refs;
    if (!c.ok || !ParseBlockList(&c, nb, &refs)) return {};
    if (ReadRemoves(card)) return {};
    std::uint8_t f1 = 0, f2 = 0;
    if (!ok) return {0x57, 0x00, 0x01, 0xA5};
    CheckAccess(services, refs, false, &f1, &f2);
    if (f1 == 0) (void)ReadFault(card, &f1, &f2);
    if (f1 != 0) return {0x57, 0x00, f1, f2};
    out = {0x57, 0x00, 0x00, 0x00};
    out.insert(out.end(), card->idm, card->idm + 8);
    out.resize(30, 0x00);
    out.push_back(static_cast<std::uint8_t>(nb));
    for (const BlockRef &r : refs) {
        const std::uint8_t *b = BlockOf(card, services[r.listIndex], r.block);
        out.insert(out.end(), b, b + SIM_CARD_BLOCK_SIZE);
    }
    return out;
}

// Read (command code 0x14).
std::vector<std::uint8_t> Read(SimCard *card, Cursor &c) {
    std::vector<std::uint8_t> out;
    if (!Addressed(*card, &c)) return {};
    const int n = c.Byte();
    std::vector<BlockRef> refs;
    if (!c.ok || !ParseBlockList(&c, n, &refs)) return {};
    if (ReadRemoves(card)) return {};
    std::uint8_t f1 = 0, f2 = 0;
    CheckAccess(card->opened, refs, false, &f1, &f2);
    if (f1 == 0) (void)ReadFault(card, &f1, &f2);
    out = {0x15};
    out.insert(out.end(), card->idm, card->idm + 8);
    out.push_back(f1);
    out.push_back(f2);
    if (f1 != 0) return out;
    out.push_back(static_cast<std::uint8_t>(n + card->faults.overcountRead));
    for (const BlockRef &r : refs) {
        const std::uint8_t *b = BlockOf(card, card->opened[r.listIndex], r.block);
        out.insert(out.end(), b, b + SIM_CARD_BLOCK_SIZE);
    }
    return out;
}

// Write (command code 0x16).
std::vector<std::uint8_t> Write(SimCard *card, Cursor &c) {
    std::vector<std::uint8_t> out;
    if (!Addressed(*card, &c)) return {};
    const int n = c.Byte();
    std::vector<BlockRef> refs;
    if (!c.ok || !ParseBlockList(&c, n, &refs)) return {};
    const std::uint8_t *data = c.Take(SIM_CARD_BLOCK_SIZE * static_cast<std::size_t>(n));
    if (!c.ok) return {};
    if (card->faults.removeAtWrite > 0 && --card->faults.removeAtWrite == 0) {
        card->faults.removeAtWrite = -1;
        if (card->reader != nullptr) SimCardRemove(card->reader);
        return {};
    }
    std::uint8_t f1 = 0, f2 = 0;
    CheckAccess(card->opened, refs, true, &f1, &f2);
    if (f1 == 0 && card->faults.writeFlagCount > 0) {
        --card->faults.writeFlagCount;
        f1 = card->faults.writeFlag1;
        f2 = card->faults.writeFlag2;
    }
    if (f1 == 0) {
        for (std::size_t i = 0; i < refs.size(); ++i) {
            std::uint8_t *b = BlockOf(card, card->opened[refs[i].listIndex], refs[i].block);
            std::memcpy(b, data + SIM_CARD_BLOCK_SIZE * i, SIM_CARD_BLOCK_SIZE);
        }
        ++card->writes;
    }
    out = {0x17};
    out.insert(out.end(), card->idm, card->idm + 8);
    out.push_back(f1);
    out.push_back(f2);
    return out;
}

struct CommandRow {
    std::uint8_t code;
    std::vector<std::uint8_t> (*handle)(SimCard *card, Cursor &c);
};

const CommandRow kCommands[] = {
    {0x00, Polling},   {0x60, PollingMulti},   {0x04, RequestResponse},
    {0x42, KeySelect}, {0x52, Authentication}, {0x56, AuthenticatedRead},
    {0x14, Read},      {0x16, Write},
};

// The card's answer to one command (empty: no answer), by the command code in its first byte.
std::vector<std::uint8_t> Handle(SimCard *card, const std::uint8_t *command, std::size_t length) {
    Cursor c{command, length, 0, true};
    const std::uint8_t code = c.Byte();
    for (const CommandRow &row : kCommands) {
        if (row.code == code) return row.handle(card, c);
    }
    return {};
}

// Writes a text into consecutive blocks of one service, zero-filled to `blocks` blocks.
void PutText(SimCard *card, int service, int first, int blocks, const std::string &text) {
    const std::size_t room = SIM_CARD_BLOCK_SIZE * static_cast<std::size_t>(blocks);
    std::uint8_t *area = card->blocks[service][first];
    std::memset(area, 0, room);
    std::memcpy(area, text.data(), text.size() < room ? text.size() : room);
}

}  // namespace

std::size_t SimCardAnswer(void *context, const std::uint8_t *command, std::size_t length,
                          std::uint8_t *answer, std::size_t capacity) {
    SimCard *card = static_cast<SimCard *>(context);
    card->commands.push_back(SimHex(command, length));
    if (card->faults.silentAfter == 0) return 0;
    const std::vector<std::uint8_t> out = Handle(card, command, length);
    if (card->faults.silentAfter > 0) --card->faults.silentAfter;
    return Emit(out, answer, capacity);
}

bool SimCardParseDescription(const std::string &text, SimCardDescription *out, std::string *error) {
    return ParseCardDescription(text, out, error);
}

bool SimCardReadDescriptionFile(const std::string &path, SimCardDescription *out,
                                std::string *error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return SimCardParseDescription(text.str(), out, error);
}

void SimCardInit(SimCard *card, const SimCardDescription &d) {
    std::memcpy(card->idm, d.idm, 8);
    std::memcpy(card->pmm, d.pmm, 8);
    std::memcpy(card->systemCode, d.systemCode, 2);
    std::memcpy(card->readKey, kReadKeys, sizeof kReadKeys);
    std::memcpy(card->writeKey, kWriteKeys, sizeof kWriteKeys);
    static const std::uint8_t kCardKeys[SIM_CARD_KEYS * 8] = ZUK_ISSUER_KEYS_INIT;
    std::memcpy(card->keys, kCardKeys, sizeof card->keys);
    std::memset(card->blocks, 0, sizeof card->blocks);
    PutText(card, 0, 0, 8, d.account);
    PutText(card, 0, 8, 16, d.password);
    card->blocks[1][0][0] = static_cast<std::uint8_t>(d.retryLimit);
    card->blocks[1][0][1] = static_cast<std::uint8_t>(d.failureCount);
    PutText(card, 1, 1, 1, d.pin);
    PutText(card, 2, 8, 4, d.userName);
    PutText(card, 2, 15, 8, d.userOption);
    PutText(card, 3, 8, 8, d.adminOption);
    card->selectedKey = -1;
    card->opened.clear();
    card->mode = 0;
    card->faults = SimCardFaults();
    card->commands.clear();
    card->writes = 0;
}

void SimCardUseKeys(SimCard *card, const std::uint8_t table[SIM_CARD_KEYS * 8]) {
    std::memcpy(card->keys, table, sizeof card->keys);
}

void SimCardPlace(SimCard *card, SimReader *reader) {
    card->reader = reader;
    card->selectedKey = -1;
    card->opened.clear();
    card->mode = 0;
    reader->cardHook = SimCardAnswer;
    reader->cardContext = card;
    reader->cardPresent = true;
}

void SimCardRemove(SimReader *reader) { reader->cardPresent = false; }

std::string SimCardDump(const SimCard &card, int service) {
    std::string text;
    if (service < 0 || service >= SIM_CARD_SERVICES) return text;
    for (int b = 0; b < SIM_CARD_BLOCKS; ++b) {
        text += SimHex(card.blocks[service][b], SIM_CARD_BLOCK_SIZE);
        text += '\n';
    }
    return text;
}
