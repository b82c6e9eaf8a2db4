// Fuzz target: the card answer parsers (polling, Request Response, read, authenticated read,
// write, key selection, status flags) through the in-process simulated reader, whose card gives
// fuzz-chosen answers to every command after the session has opened.
#include <cstdlib>
#include <cstring>

#include "card/card_state.h"
#include "card/felica.h"
#include "card/layout.h"
#include "card/pin.h"
#include "card/last_status.h"
#include "card/sensing.h"
#include "card/session.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "link/reader.h"
#include "link/transport.h"
#include "platform/fake/fake_serial.h"
#include "sim/sim_fake_port.h"
#include "sim/sim_reader.h"
#include "tests/fuzz/fuzz_support.h"
#include "zuk_build_constants.h"

namespace {

// The card: each command gets the next answer of the input (0 bytes: the card stays silent).
std::size_t FuzzCard(void *context, const std::uint8_t *, std::size_t, std::uint8_t *answer,
                     std::size_t capacity) {
    FuzzInput *in = static_cast<FuzzInput *>(context);
    const std::string bytes = in->Bytes(300);
    const std::size_t n = bytes.size() < capacity ? bytes.size() : capacity;
    std::memcpy(answer, bytes.data(), n);
    return n;
}

// Opening a session (speed negotiation, mutual authentication, key table) costs far more than
// the commands under test, so it runs once: the reader's state and the channel's session are kept
// as they stood after that open and put back before every input, while everything else is reset.
struct OpenedSession {
    SimReader reader;
    ChannelSession channel;
};

const OpenedSession &Opened() {
    static const OpenedSession opened = [] {
        FuzzResetAll();
        static SimReader sim;
        const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
        const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
        SimReaderInit(&sim, initial, operational, true);
        FakeSerialConnect("\\\\.\\COM3", SimReaderFakeDevice(&sim));
        if (CardOpenSession("PR300", "\\\\.\\COM3") != SESSION_OK) std::abort();
        return OpenedSession{sim, g_link.channel};
    }();
    return opened;
}

SimReader g_sim;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const OpenedSession &opened = Opened();
    // Everything back to the state at load but the open link and session; the line afresh.
    const PlatSerial port = g_link.port;
    CardStateReset();
    LinkStateReset();
    g_link.port = port;
    g_link.channel = opened.channel;
    g_card.sessionOpen = 1;
    FakeSerialSetReadChunks({});
    g_sim = opened.reader;
    FakeSerialConnect("\\\\.\\COM3", SimReaderFakeDevice(&g_sim));
    if (CardSessionIsOpen() != 1 || !SerialIsOpen()) std::abort();

    FuzzInput in{data, size};
    const std::uint8_t steps = in.Byte();
    SimReader &sim = g_sim;
    sim.cardPresent = true;
    sim.cardHook = FuzzCard;
    sim.cardContext = &in;

    const std::uint8_t codes[4] = {0x88, 0xB4, 0x81, 0x65};
    int present = 0;
    (void)CardSense(&present, codes, 1 + (steps & 1));
    std::uint8_t buffer[600];
    int length = 0;
    for (int step = 0; step < 2 && in.size > 0; ++step) {
        switch (((steps >> 1) + step) % 6) {
        case 0:
            length = sizeof buffer;
            (void)CardReadUserName(buffer, &length);
            break;
        case 1: (void)CardVerifyPin(reinterpret_cast<const std::uint8_t *>("1234"), 4); break;
        case 2: {
            std::uint8_t password[300];
            int passwordLength = sizeof password;
            length = 200;
            (void)CardReadAccount(buffer, &length, password, &passwordLength);
            break;
        }
        case 3: {
            std::uint8_t idm[8], pmm[8];
            int idmLength = 8, pmmLength = 8;
            (void)CardGetIdm(idm, &idmLength, pmm, &pmmLength);
            break;
        }
        case 4: {
            std::uint8_t mode = 0;
            (void)CardRequestResponse(&mode);
            break;
        }
        default: (void)CardSense(&present, codes, 1); break;
        }
    }
    return 0;
}
