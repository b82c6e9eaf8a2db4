// Fuzz target: the serial frame reader and the reader exchange (answer classes, the resend after a
// busy answer, status words) on a line that delivers the fuzz bytes in fuzz-chosen pieces.
#include <cstdlib>
#include <vector>

#include "link/reader.h"
#include "link/transport.h"
#include "platform/fake/fake_serial.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Line {
    std::string bytes;
    std::size_t at;
};
Line g_line;

bool Receive(void *, const std::uint8_t *, std::size_t, std::uint32_t) { return true; }

std::size_t Transmit(void *, std::uint8_t *out, std::size_t capacity) {
    std::size_t n = g_line.bytes.size() - g_line.at;
    if (n > capacity) n = capacity;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(g_line.bytes[g_line.at + i]);
    g_line.at += n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzResetAll();
    FuzzInput in{data, size};
    std::vector<std::size_t> chunks;
    for (int n = in.Byte() % 5; n > 0; --n) chunks.push_back(in.Byte() % 64);
    const std::size_t capacity = 1 + in.Word() % 1100;
    const bool strict = in.Byte() & 1;
    g_line = Line{in.Rest(), 0};
    FakeSerialConnect("", FakeSerialDevice{nullptr, Receive, Transmit, nullptr});
    FakeSerialSetReadChunks(chunks);
    ReaderSetStrictChecks(strict);
    if (SerialOpen("\\\\.\\COM3") != LINK_OK) std::abort();

    const std::uint8_t request[] = {0x28, 0x00, 0x04, 0x00, 0x11, 0x01, 0x00, 0x3C};
    for (int round = 0; round < 4 && g_line.at < g_line.bytes.size(); ++round) {
        std::vector<std::uint8_t> response(capacity);
        std::uint32_t length = static_cast<std::uint32_t>(capacity);
        const LinkStatus st = ReaderExchange(request, sizeof request, response.data(), &length);
        if (st == LINK_OK) {
            if (length > capacity || length < 4) std::abort();
            (void)ReaderCheckStatusWord(response.data());
        }
    }
    if (g_line.at < g_line.bytes.size()) {
        std::vector<std::uint8_t> response(capacity);
        std::uint32_t length = static_cast<std::uint32_t>(capacity);
        if (SerialReadFrame(response.data(), &length) == LINK_OK && length > capacity) std::abort();
    }
    return 0;
}
