// Fuzz target: the secure channel's handling of a secured answer, with the fuzz bytes as the
// decrypted answer block (encrypted here under the session key) or as raw ciphertext on the line.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/channel.h"
#include "link/link_state.h"
#include "link/des.h"
#include "link/reader.h"
#include "link/transport.h"
#include "platform/fake/fake_serial.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::vector<std::uint8_t> g_line;
std::size_t g_at = 0;

bool Receive(void *, const std::uint8_t *, std::size_t, std::uint32_t) { return true; }

std::size_t Transmit(void *, std::uint8_t *out, std::size_t capacity) {
    std::size_t n = g_line.size() - g_at;
    if (n > capacity) n = capacity;
    if (n > 0) std::memcpy(out, g_line.data() + g_at, n);
    g_at += n;
    return n;
}

const std::uint8_t kSessionKey[8] = {0x13, 0x57, 0x9B, 0xDF, 0x02, 0x46, 0x8A, 0xCE};
const std::uint8_t kZeroIv[8] = {0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzResetAll();
    FuzzInput in{data, size};
    const std::uint8_t mode = in.Byte();
    const std::uint32_t capacity = 1 + in.Word() % 1100;
    ChannelSession &session = g_link.channel;
    std::memcpy(session.sessionKey, kSessionKey, 8);
    session.sequenceNumber = (mode & 4) ? 0xFFFF : static_cast<std::uint16_t>(1 + in.Byte());
    ReaderSetStrictChecks(mode & 1);

    std::string body = in.Rest();
    g_line.clear();
    g_at = 0;
    if (mode & 2) {
        g_line.assign(body.begin(), body.end());  // raw bytes on the line
    } else {
        // A secured answer around the fuzz block: padded to whole DES blocks, the sequence number
        // the library expects unless the input asks otherwise.
        if (body.size() > 1016) body.resize(1016);
        std::vector<std::uint8_t> plain(body.begin(), body.end());
        plain.resize((plain.size() + 7) / 8 * 8);
        if (!(mode & 8) && plain.size() >= 2) {
            plain[0] = static_cast<std::uint8_t>(session.sequenceNumber >> 8);
            plain[1] = static_cast<std::uint8_t>(session.sequenceNumber);
        }
        std::vector<std::uint8_t> cipher(plain.size());
        if (!plain.empty())
            DesCbcEncrypt(kSessionKey, kZeroIv, plain.data(), plain.size(), cipher.data());
        g_line = {0x20, static_cast<std::uint8_t>(cipher.size() >> 8),
                  static_cast<std::uint8_t>(cipher.size())};
        g_line.insert(g_line.end(), cipher.begin(), cipher.end());
        g_line.push_back(FrameChecksum(g_line.data(), g_line.size()));
    }
    FakeSerialConnect("", FakeSerialDevice{nullptr, Receive, Transmit, nullptr});
    if (SerialOpen("\\\\.\\COM3") != LINK_OK) std::abort();

    const std::uint8_t frame[] = {0x2C, 0x00, 0x03, 0x00, 0x06, 0x00, 0x29};
    std::vector<std::uint8_t> response(capacity);
    std::uint32_t length = capacity;
    if (ChannelExchange(frame, sizeof frame, response.data(), &length) == LINK_OK) {
        if (length > capacity || length < 4 || FrameBodyLength(response.data()) + 4 != length)
            std::abort();
    }
    return 0;
}
