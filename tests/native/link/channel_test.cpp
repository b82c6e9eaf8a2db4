// Secure channel against the in-process simulated reader: provisioning, authentication, the
// plain block and sequence numbers of secured frames, re-authentication after 0xFFFF, the
// key-wrapped INS 0x89 command, and refused answers and callers.
#include <cstring>

#include "link/des.h"
#include "link/link_state.h"
#include "link_fixture.h"
#include "platform/system.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

// Sends a card command body through ChannelExchange.
LinkStatus SendCard(const Bytes &body, Bytes *answer, std::uint32_t capacity = FRAME_BUFFER_SIZE) {
    std::uint8_t frame[FRAME_BUFFER_SIZE + 8];
    std::uint32_t frameLength = 0;
    EXPECT_EQ(ReaderBuildCardFrame(frame, &frameLength, body.data(),
                                   static_cast<std::uint32_t>(body.size())),
              LINK_OK);
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t length = capacity;
    const LinkStatus st = ChannelExchange(frame, frameLength, response, &length);
    if (answer != nullptr) answer->assign(response, response + (st == LINK_OK ? length : 0));
    return st;
}

// The plain block of the last secured request, decrypted with the current session key.
Bytes LastPlainBlock(const SimReader &sim) {
    for (auto it = sim.log.rbegin(); it != sim.log.rend(); ++it) {
        if (!it->fromHost) continue;
        const std::size_t e = (static_cast<std::size_t>(it->bytes[1]) << 8) | it->bytes[2];
        Bytes plain(e);
        const std::uint8_t iv[8] = {0};
        EXPECT_TRUE(
            DesCbcDecrypt(g_link.channel.sessionKey, iv, it->bytes.data() + 3, e, plain.data()));
        return plain;
    }
    return {};
}

TEST_F(LinkTest, IncompleteKeyStateIsProvisionedThenAuthenticates) {
    const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
    const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
    SimReaderInit(&sim, initial, operational, false);
    const std::uint8_t state[3] = {0x01, 0x00, 0x01};
    std::memcpy(sim.keyState, state, 3);
    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
    const std::vector<std::string> sent = Sent();
    ASSERT_EQ(sent.size(), 14u);
    EXPECT_EQ(sent[5], "28 00 04 00 87 00 00 AB");
    EXPECT_EQ(sent[6], "28 00 04 00 81 00 00 AD");  // authentication in clear
    EXPECT_EQ(sent[8], "28 00 08 00 85 00 02 03 02 11 02 B5");
    EXPECT_EQ(sent[9], "28 00 04 00 81 00 00 AD");  // with the initial key set
    EXPECT_EQ(sent[11].substr(0, 23), "28 00 25 00 85 00 01 20");
    EXPECT_EQ(sent[12], "28 00 04 00 81 00 00 AD");  // with the operational key set
    EXPECT_EQ(std::memcmp(sim.heldKeys, operational, 24), 0);
    EXPECT_EQ(SimHex(sim.keyState, 3), "02 11 02");
    EXPECT_EQ(sim.authentications, 3);

    // With the clear authentication the answer carried the challenge and the host random as
    // they are: the host random of two generator draws seeded with the time.
    std::uint8_t hostRandom[8];
    ChannelHostRandom(static_cast<std::uint32_t>(PlatTimeNow()), hostRandom);
    EXPECT_EQ(sent[7].substr(24, 23), Answered()[6].substr(9, 23));  // T1 is the challenge
    EXPECT_EQ(sent[7].substr(48, 23), SimHex(hostRandom, 8));

    Bytes answer;
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, &answer), LINK_OK);
}

TEST_F(LinkTest, ProvisioningFallsBackWhenReaderAlreadyHoldsOperationalKeys) {
    const std::uint8_t none[3] = {0x02, 0x00, 0x02};
    std::memcpy(sim.keyState, none, 3);  // holds the operational set, state incomplete
    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
    EXPECT_EQ(sim.authentications, 3);  // clear, operational (initial refused), operational
    EXPECT_EQ(SimHex(sim.keyState, 3), "02 11 02");

    // A complete key state is not provisioned.
    ASSERT_EQ(SessionCloseLink(), LINK_OK);
    sim.log.clear();
    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
    for (const std::string &f : Sent()) EXPECT_EQ(f.find("28 00 08 00 85"), std::string::npos);
}

TEST(ChannelHostRandom, TwoLinearCongruentialDrawsLittleEndian) {
    std::uint8_t r[8];
    ChannelHostRandom(1, r);  // the generator's first draws from seed 1 are 41 and 18467
    EXPECT_EQ(SimHex(r, 8), "29 00 00 00 23 48 00 00");
    ChannelHostRandom(0xFFFFFFFFu, r);
    EXPECT_EQ(r[2] | r[3] | r[6] | r[7], 0);
}

TEST_F(LinkTest, SecuredFramesCarryPlainBlockAndSequenceNumbers) {
    OpenLink();
    EXPECT_EQ(g_link.channel.sequenceNumber, 1);
    Bytes answer;
    ASSERT_EQ(SendCard({0x06, 0x01, 0x02}, &answer), LINK_OK);
    EXPECT_EQ(Sent()[0].substr(0, 8), "2C 00 08");
    EXPECT_EQ(SimHex(LastPlainBlock(sim)), "00 01 00 03 06 01 02 07");
    // No card in the field: the reader answers EF, handed back as a plain frame.
    EXPECT_EQ(SimHex(answer), "20 00 01 EF CE");

    EXPECT_EQ(g_link.channel.sequenceNumber, 2);
    ASSERT_EQ(SendCard({0x06, 0x01, 0x02, 0x03}, &answer), LINK_OK);
    EXPECT_EQ(Sent()[1].substr(0, 8), "2C 00 10");
    EXPECT_EQ(SimHex(LastPlainBlock(sim)), "00 02 00 04 06 01 02 03 00 00 00 00 00 00 00 00");
    // The same body as the first of a session: seven zero bytes, then the checksum 03.
    ASSERT_EQ(ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL), LINK_OK);
    ASSERT_EQ(SendCard({0x06, 0x01, 0x02, 0x03}, &answer), LINK_OK);
    EXPECT_EQ(SimHex(LastPlainBlock(sim)), "00 01 00 04 06 01 02 03 00 00 00 00 00 00 00 03");
    EXPECT_EQ(g_link.channel.sequenceNumber, 2);
    sim.log.clear();

    // A reader frame other than INS 0x89 is secured too; its answer carries the status word.
    const std::uint8_t readState[] = {0x28, 0x00, 0x04, 0x00, 0x87, 0x00, 0x00, 0xAB};
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t length = sizeof response;
    ASSERT_EQ(ChannelExchange(readState, sizeof readState, response, &length), LINK_OK);
    EXPECT_EQ(Sent()[0].substr(0, 8), "28 00 10");
    EXPECT_EQ(SimHex(response, length), "20 00 05 02 11 02 90 00 A4");
}

TEST_F(LinkTest, SequenceNumberFFFFDeliversThenReauthenticates) {
    OpenLink();
    g_link.channel.sequenceNumber = 0xFFFF;
    sim.expectedSequence = 0xFFFF;
    const std::uint8_t oldKey0 = g_link.channel.sessionKey[0];
    Bytes answer;
    ASSERT_EQ(SendCard({0x06, 0x01, 0x02}, &answer), LINK_OK);
    EXPECT_EQ(SimHex(answer), "20 00 01 EF CE");
    const std::vector<std::string> sent = Sent();
    ASSERT_EQ(sent.size(), 4u);  // secured request, key state, challenge, answer
    EXPECT_EQ(sent[1], "28 00 04 00 87 00 00 AB");
    EXPECT_EQ(sim.authentications, 2);
    EXPECT_EQ(g_link.channel.sequenceNumber, 1);
    (void)oldKey0;

    ASSERT_EQ(SendCard({0x06, 0x01, 0x02}, &answer), LINK_OK);
    EXPECT_EQ(SimHex(LastPlainBlock(sim)).substr(0, 5), "00 01");
}

TEST_F(LinkTest, RefusedAuthenticationAndSecuredAnswers) {
    // A wrong T3 from the reader.
    sim.faults.badAuthAnswer = true;
    EXPECT_EQ(SessionOpenLink(kPortPath), 0x2101200u);
    EXPECT_FALSE(FakeSerialIsOpen());
    OpenLink();
    sim.faults.badAuthAnswer = true;
    EXPECT_EQ(ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL), LINK_ERR_AUTH);
    ASSERT_EQ(ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL), LINK_OK);

    // An answer with another sequence number: refused, but the number has moved on.
    sim.faults.wrongSequence = true;
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_ERR_AUTH);
    EXPECT_EQ(g_link.channel.sequenceNumber, 2);
    ASSERT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_OK);
    EXPECT_EQ(SimHex(LastPlainBlock(sim)).substr(0, 5), "00 02");

    // An empty secured answer: refused, the number stays.
    sim.faults.emptySecured = true;
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_ERR_EMPTY_ANSWER);
    EXPECT_EQ(g_link.channel.sequenceNumber, 3);
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_OK);

    // A busy reader twice: the class is returned, the number stays.
    sim.faults.classCount = 2;
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_ANSWER_RESEND);
    EXPECT_EQ(g_link.channel.sequenceNumber, 4);
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_OK);
}

TEST_F(LinkTest, OverlongAnswersAndBodiesAreRefused) {
    OpenLink();
    // The decrypted answer claims more body bytes than its block holds.
    sim.faults.innerLengthExtra = 4;
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_ERR_GENERAL);
    // The answer does not fit the caller's buffer (EF needs 5 bytes).
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr, 4), LINK_ERR_FRAME_TOO_LONG);
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr, 5), LINK_OK);

    // Bodies: 1011 bytes fit a secured frame, 1012 are refused before anything is sent.
    sim.log.clear();
    EXPECT_EQ(SendCard(Bytes(1011, 0x06), nullptr), LINK_OK);
    EXPECT_EQ(Sent()[0].substr(0, 8), "2C 03 F8");
    sim.log.clear();
    EXPECT_EQ(SendCard(Bytes(1012, 0x06), nullptr), LINK_ERR_ARGUMENT);
    EXPECT_TRUE(Sent().empty());

    // A frame shorter than its own length field.
    const std::uint8_t shortFrame[] = {0x2C, 0x00, 0x10, 0x06};
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t length = sizeof response;
    EXPECT_EQ(ChannelExchange(shortFrame, sizeof shortFrame, response, &length), LINK_ERR_ARGUMENT);

    // Missing buffers and zero lengths.
    const std::uint8_t frame[] = {0x2C, 0x00, 0x01, 0x06, 0x2B};
    length = sizeof response;
    EXPECT_EQ(ChannelExchange(nullptr, 5, response, &length), LINK_ERR_ARGUMENT);
    EXPECT_EQ(ChannelExchange(frame, 0, response, &length), LINK_ERR_ARGUMENT);
    EXPECT_EQ(ChannelExchange(frame, 5, nullptr, &length), LINK_ERR_ARGUMENT);
    EXPECT_EQ(ChannelExchange(frame, 5, response, nullptr), LINK_ERR_ARGUMENT);
    length = 0;
    EXPECT_EQ(ChannelExchange(frame, 5, response, &length), LINK_ERR_ARGUMENT);
}

TEST_F(LinkTest, KeyWrappedCommand) {
    OpenLink();
    // Lc 248: with the session key the data would not fit one length byte.
    Bytes big = {0x28, 0x00, 0xFD, 0x00, 0x89, 0x01, 0x02, 0xF8};
    big.resize(8 + 248 + 1, 0x11);
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t length = sizeof response;
    EXPECT_EQ(
        ChannelExchange(big.data(), static_cast<std::uint32_t>(big.size()), response, &length),
        LINK_ERR_GENERAL);
    EXPECT_TRUE(Sent().empty());

    Bytes data(16);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    Bytes frame = {0x28, 0x00, 0x15, 0x00, 0x89, 0x01, 0x02, 0x10};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(0);  // checksum, not looked at
    length = sizeof response;
    ASSERT_EQ(
        ChannelExchange(frame.data(), static_cast<std::uint32_t>(frame.size()), response, &length),
        LINK_OK);
    EXPECT_EQ(SimHex(response, length), "20 00 02 90 00 B2");  // as received, in clear
    const SimLogEntry &sent = sim.log[0];
    ASSERT_EQ(sent.bytes.size(), 8u + 24u + 1u);
    EXPECT_EQ(SimHex(sent.bytes.data(), 8), "28 00 1D 00 89 01 02 18");
    Bytes clear(24);
    const ChannelSession &s = g_link.channel;
    ASSERT_TRUE(
        TdeaEcbDecrypt(s.readerRandom, s.hostRandom, sent.bytes.data() + 8, 24, clear.data()));
    EXPECT_EQ(Bytes(clear.begin(), clear.begin() + 8), Bytes(s.sessionKey, s.sessionKey + 8));
    EXPECT_EQ(Bytes(clear.begin() + 8, clear.end()), data);
    ASSERT_EQ(sim.keyTable.size(), 1u);
    EXPECT_EQ(sim.keyTable[0].data, data);
}

TEST_F(LinkTest, SilentReaderAndClosedLineEndInBoundedTime) {
    OpenLink();
    sim.faults.silent = true;
    const int reads = FakeCallCount(FAKE_CALL_SERIAL_READ);
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_ERR_READ);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_READ) - reads, 1);
    sim.faults.silent = false;
    sim.faults.closed = true;
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_ERR_WRITE);

    // Answers cut into pieces after the header arrive over the further reads.
    sim.faults.closed = false;
    SimReaderPurge(&sim);
    ASSERT_EQ(SessionCloseLink(), LINK_OK);
    OpenLink();
    FakeSerialSetReadChunks({4, 2});
    EXPECT_EQ(SendCard({0x06, 0x01, 0x02}, nullptr), LINK_OK);  // 12-byte frame: 4 + 4 x 2
}

}  // namespace
