// An answer lost on the line: a secured answer cut short after the reader acted on its command.
// The reader may or may not have counted that command; either way the session goes on, and the
// cut answer costs one read time-out and the short attempts after it, not five whole time-outs.
#include "api_fixture.h"
#include "link/transport.h"
#include "platform/fake/fake_serial.h"
#include "tests/result_expect.h"

namespace {

using LostAnswer = ApiTest;

TEST_F(LostAnswer, TheSessionGoesOnWhetherTheReaderCountedTheCommandOrNot) {
    struct Case {
        const char *name;
        bool uncounted;
        bool strict;
    };
    const Case cases[] = {
        {"counted", false, false},
        {"not counted", true, false},
        {"counted, strict link", false, true},
        {"not counted, strict link", true, true},
    };
    // One whole read time-out for the rest of the answer, then four short attempts, with the
    // pause after each incomplete attempt.
    const std::uint64_t bound = SERIAL_READ_TIMEOUT_MS +
                                SERIAL_READ_MS_PER_BYTE * FRAME_BUFFER_SIZE +
                                4 * SERIAL_STALLED_READ_TIMEOUT_MS +
                                SERIAL_FRAME_READ_ATTEMPTS * SERIAL_FRAME_READ_PAUSE_MS;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Configure(256, 1, 0x231, c.strict ? "[Device]\nStrictLink=1\n" : "");
        OpenAndSense();
        sim.faults.cutCount = 1;
        sim.faults.cutUncounted = c.uncounted;
        FakeMessageBoxScript({PLAT_IDCANCEL});
        char name[64];
        int length = sizeof name;
        const std::uint64_t before = FakeSleptMilliseconds() + FakeSerialWaitedMilliseconds();
        EXPECT_RESULT(ZUKGetUserName(1, name, &length), ZUK_ERR_INCOMPLETE);
        const std::uint64_t waited =
            FakeSleptMilliseconds() + FakeSerialWaitedMilliseconds() - before;
        EXPECT_LE(waited, bound);
        // The line is clean and both sides agree again: name, name, sense in the same session.
        for (int i = 0; i < 2; ++i) {
            length = sizeof name;
            ASSERT_RESULT(ZUKGetUserName(1, name, &length), ZUK_OK)
                << std::hex << GetLastCardStatus();
            EXPECT_EQ(std::string(name, static_cast<std::size_t>(length)), "Alice Example");
        }
        int present = 0;
        EXPECT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
        EXPECT_EQ(present, 1);
        EXPECT_RESULT(ZUKClose(1), ZUK_OK);
    }
}

// Nothing was lost: the wire carries no extra authentication.
TEST_F(LostAnswer, NoExtraAuthenticationWhenNothingWasLost) {
    OpenAndSense();
    const int authentications = sim.authentications;
    char name[64];
    for (int i = 0; i < 3; ++i) {
        int length = sizeof name;
        ASSERT_RESULT(ZUKGetUserName(1, name, &length), ZUK_OK);
    }
    EXPECT_EQ(sim.authentications, authentications);
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);
}

}  // namespace
