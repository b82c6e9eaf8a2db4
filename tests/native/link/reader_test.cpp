// Reader protocol against the in-process simulated reader: the exact requests of opening and
// closing the link, the single resend, status words, speed codes and the qualified codes.
#include "link_fixture.h"

namespace {

TEST_F(LinkTest, OpenAndCloseSendExactlyTheReaderSequence) {
    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
    std::vector<std::string> sent = Sent();
    ASSERT_EQ(sent.size(), 8u);
    EXPECT_EQ(sent[0], "08 00 05 00 01 00 00 01 0D");
    EXPECT_EQ(sent[1], "08 00 04 00 07 13 00 18");
    EXPECT_EQ(sent[2], "28 00 04 00 01 00 00 2D");
    EXPECT_EQ(sent[3], "28 00 04 00 11 01 00 3C");
    EXPECT_EQ(sent[4], "28 00 04 00 13 04 05 3E");
    EXPECT_EQ(sent[5], "28 00 04 00 87 00 00 AB");
    EXPECT_EQ(sent[6], "28 00 04 00 81 00 00 AD");
    EXPECT_EQ(sent[7].substr(0, 23), "28 00 15 00 83 00 00 10");
    // Speeds: opening command at the port's speed, set-speed at 9600, the rest at 115200.
    EXPECT_EQ(sim.log[0].baud, 38400u);
    EXPECT_EQ(sim.log[2].baud, 9600u);
    for (const SimLogEntry &e : sim.log) {
        if (e.fromHost && e.bytes[0] == 0x28) {
            EXPECT_EQ(e.baud, 115200u);
        }
    }
    EXPECT_EQ(sim.speed, 115200u);
    EXPECT_TRUE(sim.active);
    EXPECT_EQ(sim.authentications, 1);
    for (const std::string &e : sim.events) EXPECT_EQ(e.rfind("reader speed", 0), 0u) << e;

    sim.log.clear();
    ASSERT_EQ(SessionCloseLink(), LINK_OK);
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"28 00 04 00 11 00 00 3D", "08 00 04 00 07 00 00 0B"}));
    EXPECT_EQ(FakeSerialLineState().baudRate, 9600u);
    EXPECT_FALSE(FakeSerialIsOpen());
    EXPECT_EQ(sim.speed, 9600u);
    EXPECT_FALSE(sim.active);
}

TEST_F(LinkTest, PortFoundAt1200IsSetTo9600BeforeTheOpeningCommand) {
    FakeSerialSetInitialBaud(1200);
    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
    EXPECT_EQ(sim.log[0].baud, 9600u);
}

TEST_F(LinkTest, BusyAnswerIsResentOnceAfterPurge) {
    OpenLink();
    const int purges = FakeCallCount(FAKE_CALL_SERIAL_PURGE);
    const std::uint64_t slept = FakeSleptMilliseconds();
    sim.faults.answerClass = 0x80;
    sim.faults.classCount = 1;
    EXPECT_EQ(ReaderSetSpeed(115200), LINK_OK);
    EXPECT_EQ(Sent(), (std::vector<std::string>(2, "08 00 04 00 07 13 00 18")));
    EXPECT_EQ(Answered().front(), "80 00 00 80");
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_PURGE) - purges, 1);
    EXPECT_EQ(FakeSleptMilliseconds() - slept, 100u);

    // Busy twice: the second busy answer is the result, there is no third try.
    sim.log.clear();
    sim.faults.classCount = 2;
    std::uint8_t request[] = {0x28, 0x00, 0x04, 0x00, 0x13, 0x04, 0x05, 0x3E};
    std::uint8_t response[FRAME_BUFFER_SIZE];
    std::uint32_t length = sizeof response;
    EXPECT_EQ(ReaderExchange(request, sizeof request, response, &length), LINK_ANSWER_RESEND);
    EXPECT_EQ(Sent().size(), 2u);
    EXPECT_EQ(response[0], 0xA0);
}

TEST_F(LinkTest, AnswerClassesAndStatusWords) {
    const struct {
        std::uint8_t type;
        LinkStatus code;
    } classes[] = {{0x00, LINK_OK},   {0x20, LINK_OK},   {0x80, 0x2000100}, {0xA0, 0x2000100},
                   {0x81, 0x2000200}, {0xA1, 0x2000200}, {0x82, 0x2000300}, {0xA2, 0x2000300},
                   {0x83, 0x2000400}, {0xA3, 0x2000400}, {0x84, 0x2000500}, {0xA4, 0x2000500},
                   {0x87, 0x2000600}, {0xA7, 0x2000600}, {0x85, 0x2000700}, {0x40, 0x2000700},
                   {0xFF, 0x2000700}};
    for (const auto &c : classes) EXPECT_EQ(ReaderClassifyAnswer(c.type), c.code) << int(c.type);

    const std::uint8_t oneByte[] = {0x20, 0x00, 0x01, 0x90, 0xB1};
    const std::uint8_t okWithData[] = {0x20, 0x00, 0x04, 0x12, 0x34, 0x90, 0x00, 0x00};
    const std::uint8_t notFound[] = {0x20, 0x00, 0x02, 0x6A, 0x82, 0x00};
    EXPECT_EQ(ReaderCheckStatusWord(oneByte), LINK_ERR_GENERAL);
    EXPECT_EQ(ReaderCheckStatusWord(okWithData), LINK_OK);
    EXPECT_EQ(ReaderCheckStatusWord(notFound), 0x2016A82u);

    // Through the link: a reader setting refused with 6A 82 fails the opening, qualified; the
    // reader is set back to 9600 and the port closed.
    sim.faults.statusIns = 0x13;
    sim.faults.statusWord = 0x6A82;
    sim.faults.statusCount = 1;
    EXPECT_EQ(SessionOpenLink(kPortPath), 0x2116A82u);
    EXPECT_EQ(Sent().back(), "08 00 04 00 07 00 00 0B");
    EXPECT_FALSE(FakeSerialIsOpen());
}

TEST_F(LinkTest, SpeedCodesChecksumAndCardFrame) {
    const struct {
        std::uint32_t speed;
        std::uint8_t code;
    } speeds[] = {{9600, 0x00},  {14400, 0x10}, {19200, 0x01},  {28800, 0x11},
                  {38400, 0x02}, {57600, 0x12}, {115200, 0x13}, {4800, 0x13}};
    for (const auto &s : speeds) EXPECT_EQ(ReaderSpeedCode(s.speed), s.code) << s.speed;

    const std::uint8_t body[] = {0x06, 0x01, 0x02};
    std::uint8_t frame[8];
    std::uint32_t length = 0;
    ASSERT_EQ(ReaderBuildCardFrame(frame, &length, body, sizeof body), LINK_OK);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(SimHex(frame, length), "2C 00 03 06 01 02 2A");
    EXPECT_EQ(FrameChecksum(frame, 6), 0x2A);
}

TEST(LinkQualifyStatus, MarksOnlyReaderAnswersWithThePhase) {
    const struct {
        LinkStatus code;
        LinkStatus phase;
        LinkStatus expected;
    } cases[] = {
        {0x2000000, LINK_PHASE_OPEN, 0x2000000},  {0x2000001, LINK_PHASE_OPEN, 0x2000001},
        {0x2000003, LINK_PHASE_OPEN, 0x2000003},  {0x2000011, LINK_PHASE_OPEN, 0x2000011},
        {0x2000013, LINK_PHASE_OPEN, 0x2000013},  {0x2000019, LINK_PHASE_CLOSE, 0x2000019},
        {0x2000700, LINK_PHASE_OPEN, 0x2000700},  {0x2001300, LINK_PHASE_CLOSE, 0x2001300},
        {0x2000100, LINK_PHASE_OPEN, 0x2100100},  {0x2000200, LINK_PHASE_OPEN, 0x2100200},
        {0x2000600, LINK_PHASE_CLOSE, 0x2200600}, {0x2001200, LINK_PHASE_OPEN, 0x2101200},
        {0x2016A82, LINK_PHASE_CLOSE, 0x2216A82}, {0x2000004, LINK_PHASE_OPEN, 0x2100004},
        {0x2000010, LINK_PHASE_OPEN, 0x2100010},  {0x200001A, LINK_PHASE_OPEN, 0x210001A},
        {0x8000005, LINK_PHASE_OPEN, 0x8100005},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(LinkQualifyStatus(c.code, c.phase), c.expected) << std::hex << c.code;
    }
}

}  // namespace
