// Moving a reader to a site's operational set (IssueMoveReader) against the in-process simulated
// reader: the move, a reader already moved, a reader that holds another set, a factory reader, a
// move whose answer is lost or refused, and a port with no reader.  Each time: what the reader
// holds afterwards, and that the channel's sets and the reader's mutex are as before.
#include <cstring>

#include "card/issue/reader_move.h"
#include "card/reader_mutex.h"
#include "link/link_state.h"
#include "card_fixture.h"

namespace {

const std::uint8_t kInitial[24] = ZUK_INITIAL_KEYS_INIT;
const std::uint8_t kBuiltIn[24] = ZUK_OPERATIONAL_KEYS_INIT;
const std::uint8_t kSite[24] = {0x31, 0x42, 0x53, 0x64, 0x75, 0x86, 0x97, 0xA8,
                                0x0B, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x61, 0x72,
                                0xC4, 0xD5, 0xE6, 0xF7, 0x08, 0x19, 0x2A, 0x3B};
const std::uint8_t kOther[24] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18,
                                 0x29, 0x3A, 0x4B, 0x5C, 0x6D, 0x7E, 0x8F, 0x90,
                                 0x13, 0x24, 0x35, 0x46, 0x57, 0x68, 0x79, 0x8A};

// Key blocks (INS 0x85 P2=01) the host sent.
int KeyBlocksSent(const SimReader &sim) {
    int n = 0;
    for (const std::string &frame : SimLogFrames(sim, true)) {
        if (frame.compare(0, 23, "28 00 25 00 85 00 01 20") == 0) ++n;
    }
    return n;
}

class ReaderMoveTest : public CardTest {};

TEST_F(ReaderMoveTest, OutcomesAndWhatTheReaderHoldsAfterwards) {
    struct Case {
        const char *name;
        const std::uint8_t *held;   // the reader's operational set (null: a factory reader)
        const std::uint8_t *from;   // the old set asked for
        const std::uint8_t *other;  // the further set tried when the old one is refused
        SimFaults faults;
        MoveOutcome outcome;
        MoveHolder holder;
        const std::uint8_t *heldAfter;
        int keyBlocks;
    };
    SimFaults none;
    SimFaults lostAfter;  // the reader takes the set, its answer is lost
    lostAfter.dropIns = 0x85;
    lostAfter.dropCount = 1;
    SimFaults lostBefore = lostAfter;  // the key block is lost before the reader sees it
    lostBefore.dropActed = false;
    SimFaults refused;
    refused.statusIns = 0x85;
    refused.statusWord = 0x6F00;
    refused.statusCount = 1;
    const Case cases[] = {
        {"moved", kBuiltIn, kBuiltIn, nullptr, none, MOVE_DONE, MOVE_HOLDS_NEW, kSite, 1},
        {"already moved", kSite, kBuiltIn, nullptr, none, MOVE_NOT_NEEDED, MOVE_HOLDS_NEW, kSite,
         0},
        {"another set", kOther, kBuiltIn, nullptr, none, MOVE_REFUSED, MOVE_HOLDS_UNKNOWN, kOther,
         0},
        {"the further set", kBuiltIn, kOther, kBuiltIn, none, MOVE_REFUSED, MOVE_HOLDS_OTHER,
         kBuiltIn, 0},
        {"factory reader", nullptr, kBuiltIn, nullptr, none, MOVE_FACTORY, MOVE_HOLDS_UNKNOWN,
         kInitial, 0},
        {"answer lost, set taken", kBuiltIn, kBuiltIn, nullptr, lostAfter, MOVE_DONE_UNANSWERED,
         MOVE_HOLDS_NEW, kSite, 1},
        {"answer lost, set not taken", kBuiltIn, kBuiltIn, nullptr, lostBefore, MOVE_NOT_MOVED,
         MOVE_HOLDS_OLD, kBuiltIn, 1},
        {"move refused", kBuiltIn, kBuiltIn, nullptr, refused, MOVE_NOT_MOVED, MOVE_HOLDS_OLD,
         kBuiltIn, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SimReaderInit(&sim, kInitial, c.held != nullptr ? c.held : kBuiltIn, c.held != nullptr);
        sim.faults = c.faults;
        const MoveRequest request{kCardPort, false, c.from, kSite, c.other};
        MoveReport report;
        EXPECT_EQ(IssueMoveReader(request, &report), c.outcome);
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.holder, c.holder);
        EXPECT_EQ(std::memcmp(sim.heldKeys, c.heldAfter, 24), 0);
        EXPECT_EQ(KeyBlocksSent(sim), c.keyBlocks);
        EXPECT_EQ(SimHex(sim.keyState, 3), c.held != nullptr ? "02 11 02" : "00 00 00");
        EXPECT_EQ(report.status != 0,
                  c.outcome == MOVE_REFUSED || c.faults.dropCount + c.faults.statusCount > 0);
        // The channel's sets are the built-in ones again, the port and the mutex let go of.
        EXPECT_EQ(std::memcmp(g_link.keys.operational, kBuiltIn, 24), 0);
        EXPECT_FALSE(FakeSerialIsOpen());
        EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    }
}

TEST_F(ReaderMoveTest, NoReaderOnThePortIsNotARefusal) {
    const MoveRequest request{"COM9", true, kBuiltIn, kSite, nullptr};
    MoveReport report;
    EXPECT_EQ(IssueMoveReader(request, &report), MOVE_OPEN_FAILED);
    EXPECT_NE(report.status, 0u);
    EXPECT_STREQ(report.port, "\\\\.\\COM9");
    // A reader that stops answering after the port opened is not one, either.
    sim.faults.silent = true;
    const MoveRequest silent{kCardPort, true, kBuiltIn, kSite, nullptr};
    EXPECT_EQ(IssueMoveReader(silent, &report), MOVE_OPEN_FAILED);
    EXPECT_EQ(std::memcmp(sim.heldKeys, kBuiltIn, 24), 0);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
}

}  // namespace
