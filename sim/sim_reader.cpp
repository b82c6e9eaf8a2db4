// The simulated reader's behaviour: frame parsing, link and reader commands, mutual
// authentication, key provisioning, secured frames and the key-wrapped key table, written from the
// reader's side with its own frame code.
#include "sim/sim_reader.h"

#include <cstdio>
#include <cstring>

#include "link/des.h"
#include "settings/hex.h"

namespace {

constexpr std::size_t MAX_FRAME = 2048;  // anything longer is line noise and is dropped
const std::uint8_t kZeroIv[8] = {0};

std::uint8_t Xor(const std::uint8_t *p, std::size_t n) {
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < n; ++i) x ^= p[i];
    return x;
}

void Note(SimReader *r, const std::string &text) { r->events.push_back(text); }

// Queues one answer frame and logs it.
void Answer(SimReader *r, std::uint8_t type, const std::vector<std::uint8_t> &body) {
    std::vector<std::uint8_t> frame;
    frame.push_back(type);
    frame.push_back(static_cast<std::uint8_t>(body.size() >> 8));
    frame.push_back(static_cast<std::uint8_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(Xor(frame.data(), frame.size()));
    if (r->faults.badChecksum) {
        r->faults.badChecksum = false;
        frame.back() ^= 0x5A;
    }
    r->log.push_back({false, frame, r->speed});
    r->output.insert(r->output.end(), frame.begin(), frame.end());
}

std::vector<std::uint8_t> Sw(std::uint16_t word, std::vector<std::uint8_t> data = {}) {
    data.push_back(static_cast<std::uint8_t>(word >> 8));
    data.push_back(static_cast<std::uint8_t>(word));
    return data;
}

bool Configured(const SimReader *r) {
    return r->keyState[0] != 0 && r->keyState[1] != 0 && r->keyState[2] != 0;
}

// TDEA-ECB on one block with two of the held keys; identity while the key state is incomplete.
void ReaderTdea(const SimReader *r, int k1, int k2, bool decrypt, const std::uint8_t *in,
                std::uint8_t *out) {
    if (!Configured(r)) {
        std::memcpy(out, in, 8);
        return;
    }
    if (decrypt) {
        TdeaEcbDecrypt(r->heldKeys + 8 * k1, r->heldKeys + 8 * k2, in, 8, out);
    } else {
        TdeaEcbEncrypt(r->heldKeys + 8 * k1, r->heldKeys + 8 * k2, in, 8, out);
    }
}

std::uint32_t SpeedOfCode(std::uint8_t code) {
    switch (code) {
    case 0x00: return 9600;
    case 0x10: return 14400;
    case 0x01: return 19200;
    case 0x11: return 28800;
    case 0x02: return 38400;
    case 0x12: return 57600;
    case 0x13: return 115200;
    default: return 0;
    }
}

// Whether a status-word fault covers this INS; counts it down.
bool StatusFault(SimReader *r, std::uint8_t ins, std::uint16_t *word) {
    if (r->faults.statusCount == 0 || r->faults.statusIns != ins) return false;
    if (r->faults.statusCount > 0) --r->faults.statusCount;
    *word = r->faults.statusWord;
    return true;
}

// A 0x08 link command.  Returns the answer body; *newSpeed is set when the speed changes after
// the answer has gone out.
std::vector<std::uint8_t> LinkCommand(SimReader *r, const std::uint8_t *b, std::size_t n,
                                      std::uint32_t *newSpeed) {
    if (n < 4 || b[0] != 0x00) return Sw(0x6700);
    std::uint16_t fault;
    if (StatusFault(r, b[1], &fault)) return Sw(fault);
    switch (b[1]) {
    case 0x01:  // link opening
        return Sw(0x9000);
    case 0x07: {  // set line speed
        const std::uint32_t s = SpeedOfCode(b[2]);
        if (s == 0) return Sw(0x6A86);
        *newSpeed = s;
        return Sw(0x9000);
    }
    default: return Sw(0x6D00);
    }
}

std::vector<std::uint8_t> ReaderCommand(SimReader *r, const std::uint8_t *b, std::size_t n) {
    if (n < 4 || b[0] != 0x00) return Sw(0x6700);
    const std::uint8_t ins = b[1], p1 = b[2], p2 = b[3];
    const std::size_t lc = n > 4 ? b[4] : 0;
    if (n > 4 && n != 5 + lc) return Sw(0x6700);
    const std::uint8_t *data = b + 5;
    std::uint16_t fault;
    if (StatusFault(r, ins, &fault)) return Sw(fault);
    switch (ins) {
    case 0x01: r->started = true; return Sw(0x9000);
    case 0x11:
        if (p1 > 1) return Sw(0x6A86);
        r->active = p1 == 1;
        return Sw(0x9000);
    case 0x13:
        r->setting[0] = p1;
        r->setting[1] = p2;
        return Sw(0x9000);
    case 0x87: return Sw(0x9000, {r->keyState[0], r->keyState[1], r->keyState[2]});
    case 0x81: {  // challenge: the reader's random under KA, KB
        for (int i = 0; i < 8; ++i) {
            r->randomState = r->randomState * 1103515245u + 12345u;
            r->readerRandom[i] = static_cast<std::uint8_t>(r->randomState >> 16);
        }
        std::vector<std::uint8_t> ch(8);
        ReaderTdea(r, 0, 1, false, r->readerRandom, ch.data());
        r->challengeIssued = true;
        r->authenticated = false;
        return Sw(0x9000, ch);
    }
    case 0x83: {  // the host's answer: T1 must give back our random; T3 proves our keys
        if (lc != 16) return Sw(0x6700);
        if (!r->challengeIssued) return Sw(0x6985);
        r->challengeIssued = false;
        std::uint8_t t1[8];
        ReaderTdea(r, 1, 2, true, data, t1);
        if (std::memcmp(t1, r->readerRandom, 8) != 0) {
            Note(r, "authentication refused: T1 does not match");
            return Sw(0x6300);
        }
        ReaderTdea(r, 1, 2, true, data + 8, r->hostRandom);
        std::vector<std::uint8_t> t3(8);
        ReaderTdea(r, 2, 0, false, r->hostRandom, t3.data());
        if (r->faults.badAuthAnswer) {
            r->faults.badAuthAnswer = false;
            t3[0] ^= 0x01;
        }
        for (int i = 0; i < 8; ++i) r->sessionKey[i] = r->readerRandom[i] ^ r->hostRandom[i];
        r->authenticated = true;
        r->clearSession = !Configured(r);
        r->expectedSequence = 1;
        ++r->authentications;
        return Sw(0x9000, t3);
    }
    case 0x85: {
        if (!r->authenticated) return Sw(0x6982);
        if (p2 == 0x02 && lc == 3) {  // key state
            std::memcpy(r->keyState, data, 3);
            return Sw(0x9000);
        }
        if (p2 == 0x01 && lc == 32) {  // key block: session key, then KA KB KC
            // Once the key state is complete, only a session authenticated with the held set may
            // replace it, not a clear one opened before the key state was written.
            if (Configured(r) && r->clearSession) return Sw(0x6982);
            std::uint8_t block[32];
            TdeaEcbDecrypt(r->readerRandom, r->hostRandom, data, 32, block);
            if (std::memcmp(block, r->sessionKey, 8) != 0) return Sw(0x6982);
            std::memcpy(r->heldKeys, block + 8, 24);
            return Sw(0x9000);
        }
        return Sw(0x6A86);
    }
    case 0x89: {  // key table, wrapped under the authentication's key pair
        if (!r->authenticated) return Sw(0x6982);
        if (lc < 8 || lc % 8 != 0) return Sw(0x6700);
        std::vector<std::uint8_t> clear(lc);
        TdeaEcbDecrypt(r->readerRandom, r->hostRandom, data, lc, clear.data());
        if (std::memcmp(clear.data(), r->sessionKey, 8) != 0) return Sw(0x6982);
        r->keyTable.push_back({p1, p2, std::vector<std::uint8_t>(clear.begin() + 8, clear.end())});
        return Sw(0x9000);
    }
    default: return Sw(0x6D00);
    }
}

std::vector<std::uint8_t> CardCommand(SimReader *r, const std::uint8_t *b, std::size_t n) {
    std::uint8_t answer[1024];
    std::size_t got = 0;
    ++r->cardCommands;
    if (r->cardPresent && r->cardHook != nullptr) {
        got = r->cardHook(r->cardContext, b, n, answer, sizeof answer);
        if (got > sizeof answer) got = 0;
    }
    if (got == 0) return {SIM_NO_CARD_ANSWER};
    return std::vector<std::uint8_t>(answer, answer + got);
}

// Whether a 0x28 body reads as a plain reader command: 00, a known INS, and a length that agrees
// with its Lc.  A secured body is ciphertext and almost never looks like that.
bool PlainReaderBody(const std::uint8_t *b, std::size_t n) {
    if (n < 4 || b[0] != 0x00) return false;
    switch (b[1]) {
    case 0x01:
    case 0x11:
    case 0x13:
    case 0x81:
    case 0x83:
    case 0x85:
    case 0x87:
    case 0x89: break;
    default: return false;
    }
    return n == 4 || (n > 4 && n == 5u + b[4]);
}

void SecuredFrame(SimReader *r, std::uint8_t type, const std::uint8_t *b, std::size_t n) {
    if (!r->authenticated || n == 0 || n % 8 != 0) {
        Note(r, "secured frame refused: no session or bad length");
        Answer(r, 0xA1, {});
        return;
    }
    std::vector<std::uint8_t> plain(n);
    DesCbcDecrypt(r->sessionKey, kZeroIv, b, n, plain.data());
    const std::uint16_t seq = static_cast<std::uint16_t>((plain[0] << 8) | plain[1]);
    const std::size_t l = (static_cast<std::size_t>(plain[2]) << 8) | plain[3];
    if (seq != r->expectedSequence) {
        Note(r, "secured frame refused: sequence " + std::to_string(seq) + ", expected " +
                    std::to_string(r->expectedSequence));
        Answer(r, 0xA1, {});
        return;
    }
    if (l + 5 > n || Xor(plain.data(), n - 1) != plain[n - 1]) {
        Note(r, "secured frame refused: bad inner length or checksum");
        Answer(r, 0xA1, {});
        return;
    }
    if (r->faults.emptySecured) {
        r->faults.emptySecured = false;
        Answer(r, 0x20, {});
        return;
    }
    r->expectedSequence = static_cast<std::uint16_t>(seq + 1);
    const std::uint8_t *body = plain.data() + 4;
    std::vector<std::uint8_t> inner =
        type == 0x2C ? CardCommand(r, body, l) : ReaderCommand(r, body, l);
    std::uint16_t answerSeq = seq;
    if (r->faults.wrongSequence) {
        r->faults.wrongSequence = false;
        answerSeq = static_cast<std::uint16_t>(seq + 0x0101);
    }
    // Answer block: sequence, L', body, zero padding, checksum; encrypted under the session key.
    const std::size_t lp = inner.size();
    const std::size_t e = lp + 5 + (8 - (lp + 5) % 8) % 8;
    std::vector<std::uint8_t> block(e, 0);
    block[0] = static_cast<std::uint8_t>(answerSeq >> 8);
    block[1] = static_cast<std::uint8_t>(answerSeq);
    block[2] = static_cast<std::uint8_t>(lp >> 8);
    block[3] = static_cast<std::uint8_t>(lp);
    if (r->faults.innerLengthExtra != 0) {
        const std::size_t claimed = lp + static_cast<std::size_t>(r->faults.innerLengthExtra);
        r->faults.innerLengthExtra = 0;
        block[2] = static_cast<std::uint8_t>(claimed >> 8);
        block[3] = static_cast<std::uint8_t>(claimed);
    }
    std::memcpy(block.data() + 4, inner.data(), lp);
    block[e - 1] = Xor(block.data(), e - 1);
    std::vector<std::uint8_t> cipher(e);
    DesCbcEncrypt(r->sessionKey, kZeroIv, block.data(), e, cipher.data());
    if (r->faults.flipSecuredByte) {
        r->faults.flipSecuredByte = false;
        cipher[e - 1] ^= 0x0C;
    }
    if (r->faults.cutCount > 0) {
        --r->faults.cutCount;
        if (r->faults.cutUncounted) r->expectedSequence = seq;
        Note(r, std::string("secured answer cut on the line (command ") +
                    (r->faults.cutUncounted ? "not counted)" : "counted)"));
        Answer(r, 0x20, cipher);
        // The answer leaves only as far as the middle of its body.
        const std::size_t keep = 3 + e / 2;
        r->output.erase(r->output.end() - static_cast<std::ptrdiff_t>(e + 4 - keep),
                        r->output.end());
        return;
    }
    Answer(r, 0x20, cipher);
}

void HandleFrame(SimReader *r, const std::vector<std::uint8_t> &f, std::uint32_t hostBaud) {
    r->log.push_back({true, f, hostBaud});
    const std::uint8_t type = f[0];
    const std::size_t n = f.size() - 4;
    const std::uint8_t *body = f.data() + 3;
    const std::uint8_t side = type == 0x08 ? 0x00 : 0x20;
    if (r->faults.silent) return;
    if (Xor(f.data(), f.size() - 1) != f.back()) {
        Note(r, "bad checksum");
        Answer(r, static_cast<std::uint8_t>(0x81 | side), {});
        return;
    }
    if (r->faults.classCount > 0) {
        --r->faults.classCount;
        Answer(r, static_cast<std::uint8_t>(r->faults.answerClass | side), {});
        return;
    }
    if (type == 0x08) {
        std::uint32_t newSpeed = 0;
        Answer(r, 0x00, LinkCommand(r, body, n, &newSpeed));
        if (newSpeed != 0) {
            r->speed = newSpeed;
            Note(r, "reader speed " + std::to_string(newSpeed));
        }
    } else if (type == 0x28 && PlainReaderBody(body, n)) {
        if (r->faults.dropCount > 0 && body[1] == r->faults.dropIns) {
            --r->faults.dropCount;
            if (r->faults.dropActed) (void)ReaderCommand(r, body, n);
            Note(r, std::string("answer dropped (command ") +
                        (r->faults.dropActed ? "carried out)" : "not carried out)"));
            return;
        }
        Answer(r, 0x20, ReaderCommand(r, body, n));
    } else {
        SecuredFrame(r, type, body, n);
    }
}

}  // namespace

void SimReaderInit(SimReader *reader, const std::uint8_t initialKeys[24],
                   const std::uint8_t operationalKeys[24], bool provisioned) {
    *reader = SimReader();
    std::memcpy(reader->initialKeys, initialKeys, 24);
    std::memcpy(reader->operationalKeys, operationalKeys, 24);
    if (provisioned) {
        std::memcpy(reader->heldKeys, operationalKeys, 24);
        reader->keyState[0] = 0x02;
        reader->keyState[1] = 0x11;
        reader->keyState[2] = 0x02;
    } else {
        std::memcpy(reader->heldKeys, initialKeys, 24);
        std::memset(reader->keyState, 0, 3);
    }
    reader->speed = 9600;
    reader->checkSpeed = true;
    reader->randomState = 0x5EEDu;
}

bool SimReaderReceive(SimReader *reader, const std::uint8_t *data, std::size_t length,
                      std::uint32_t hostBaud) {
    if (reader->faults.closed) return false;
    reader->input.insert(reader->input.end(), data, data + length);
    while (reader->input.size() >= 3) {
        const std::uint8_t type = reader->input[0];
        const std::size_t total =
            ((static_cast<std::size_t>(reader->input[1]) << 8) | reader->input[2]) + 4;
        if ((type != 0x08 && type != 0x28 && type != 0x2C) || total > MAX_FRAME) {
            Note(reader, "line noise dropped: " + SimHex(reader->input));
            reader->input.clear();
            break;
        }
        if (reader->input.size() < total) break;
        std::vector<std::uint8_t> frame(reader->input.begin(), reader->input.begin() + total);
        reader->input.erase(reader->input.begin(), reader->input.begin() + total);
        // Reader and card frames must come at the reader's speed; link commands are recognised
        // at any speed.
        if (reader->checkSpeed && type != 0x08 && hostBaud != 0 && hostBaud != reader->speed) {
            reader->log.push_back({true, frame, hostBaud});
            Note(reader, "frame at " + std::to_string(hostBaud) + " bit/s ignored, reader at " +
                             std::to_string(reader->speed));
            continue;
        }
        HandleFrame(reader, frame, hostBaud);
    }
    return true;
}

std::size_t SimReaderTransmit(SimReader *reader, std::uint8_t *out, std::size_t capacity) {
    if (reader->faults.closed) return 0;
    std::size_t n = reader->output.size() < capacity ? reader->output.size() : capacity;
    if (reader->faults.splitPiece > 0 && n > reader->faults.splitPiece) {
        n = reader->faults.splitPiece;
    }
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = reader->output.front();
        reader->output.pop_front();
    }
    return n;
}

void SimReaderPurge(SimReader *reader) {
    reader->input.clear();
    reader->output.clear();
}

std::string SimHex(const std::uint8_t *data, std::size_t length) {
    std::string s(length == 0 ? 1 : 3 * length, '\0');
    BytesToSpacedHex(data, length, &s[0], s.size());
    s.resize(length == 0 ? 0 : 3 * length - 1);
    return s;
}

std::string SimHex(const std::vector<std::uint8_t> &bytes) {
    return SimHex(bytes.data(), bytes.size());
}

std::vector<std::string> SimLogFrames(const SimReader &reader, bool fromHost) {
    std::vector<std::string> out;
    for (const SimLogEntry &e : reader.log) {
        if (e.fromHost == fromHost) out.push_back(SimHex(e.bytes));
    }
    return out;
}

bool SimParseHex(const std::string &text, std::vector<std::uint8_t> *bytes) {
    bytes->clear();
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c == ' ' || c == ':' || c == '\t') continue;
        else return false;
        if (high < 0) {
            high = v;
        } else {
            bytes->push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return high < 0;
}
