// The reader link under Wine against zuk-reader-sim on a COM port: speed negotiation to 115200
// bit/s (the simulator sees the host's speed change), initialisation, authentication and a
// secured exchange; and a reader that goes silent or a line that closes ends in bounded time.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "card/session.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "link/reader.h"
#include "link/transport.h"
#include "tests/wine/support/sim_control.h"

namespace {

// Bound for one failed exchange: a read time-out or two, never the driver's "wait for ever".
constexpr ULONGLONG kBoundMs = 15000;

std::string PortPath() {
    const char *com = std::getenv("ZUK_SIM_COM");
    return std::string("\\\\.\\") + (com != nullptr ? com : "COM21");
}

LinkStatus SendCardCommand(std::string *answerHex) {
    const std::uint8_t body[] = {0x06, 0x01, 0x02};
    std::uint8_t frame[16];
    std::uint32_t frameLength = 0;
    EXPECT_EQ(ReaderBuildCardFrame(frame, &frameLength, body, sizeof body), LINK_OK);
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t length = sizeof response;
    const LinkStatus st = ChannelExchange(frame, frameLength, response, &length);
    if (answerHex != nullptr && st == LINK_OK) {
        char hex[4];
        answerHex->clear();
        for (std::uint32_t i = 0; i < length; ++i) {
            snprintf(hex, sizeof hex, i ? " %02X" : "%02X", response[i]);
            *answerHex += hex;
        }
    }
    return st;
}

class WineLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(control.Connected()) << "run through run_with_sim.sh";
        ASSERT_EQ(SessionOpenLink(PortPath().c_str()), LINK_OK) << PortPath();
    }
    void TearDown() override { (void)SerialClose(); }
    SimControl control;
};

TEST_F(WineLink, NegotiatesInitialisesAndExchangesSecuredFrame) {
    std::uint32_t rate = 0;
    ASSERT_EQ(SerialGetBaudRate(&rate), LINK_OK);
    EXPECT_EQ(rate, 115200u);
    const std::string status = control.Command("status");
    EXPECT_NE(status.find("speed 115200"), std::string::npos) << status;
    EXPECT_NE(status.find("authentications 1"), std::string::npos) << status;

    std::string answer;
    ASSERT_EQ(SendCardCommand(&answer), LINK_OK);
    EXPECT_EQ(answer, "20 00 01 EF CE");  // no card in the field
    EXPECT_EQ(g_link.channel.sequenceNumber, 2);
    ASSERT_EQ(SendCardCommand(nullptr), LINK_OK);

    ASSERT_EQ(SessionCloseLink(), LINK_OK);
    EXPECT_NE(control.Command("status").find("speed 9600"), std::string::npos);
}

TEST_F(WineLink, SilentReaderEndsInBoundedTime) {
    ASSERT_EQ(control.Command("silent on"), "OK");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(SendCardCommand(nullptr), LINK_ERR_READ);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_LT(elapsed, kBoundMs);
    RecordProperty("silent_exchange_ms", static_cast<int>(elapsed));
    std::printf("silent reader: exchange ended after %llu ms\n", elapsed);

    // Closing against the silent reader is bounded too: deactivate and set-speed time out.
    const ULONGLONG closeStart = GetTickCount64();
    EXPECT_NE(SessionCloseLink(), LINK_OK);
    EXPECT_LT(GetTickCount64() - closeStart, 2 * kBoundMs);
    EXPECT_FALSE(SerialIsOpen());
}

TEST_F(WineLink, ClosedLineEndsInBoundedTime) {
    ASSERT_EQ(control.Command("close"), "OK");
    const ULONGLONG start = GetTickCount64();
    const LinkStatus st = SendCardCommand(nullptr);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_TRUE(st == LINK_ERR_WRITE || st == LINK_ERR_READ) << std::hex << st;
    EXPECT_LT(elapsed, kBoundMs);
    std::printf("closed line: exchange ended with 0x%08x after %llu ms\n",
                static_cast<unsigned>(st), elapsed);
}

}  // namespace
