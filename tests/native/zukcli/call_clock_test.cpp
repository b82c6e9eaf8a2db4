// zukcli's watchdog rule with chosen ticks: a healthy call is never taken as overrun, whatever the
// clock reads, and a call that really overran is, at its limit and across the clock's wrap.
#include <gtest/gtest.h>

#include <cstdint>

#include "tools/zukcli/call_clock.h"

namespace {

const std::uint32_t kLimit = 120000;  // zukcli's default, 120 s

TEST(CallClock, OverrunAtTheLimitAndAcrossTheWrap) {
    struct Case {
        const char *name;
        std::uint32_t started, now;
        bool overran;
    };
    const Case cases[] = {
        {"just started", 5000, 5000, false},
        {"one tick before the limit", 5000, 5000 + kLimit - 1, false},
        {"at the limit", 5000, 5000 + kLimit, true},
        {"past the limit", 5000, 5000 + 10 * kLimit, true},
        // The start taken as GetTickCount() | 1 on an even tick, read by the watchdog in the same
        // tick: the start is one millisecond ahead of now.
        {"start marked one tick ahead", 4001, 4000, false},
        {"start a clock step ahead", 4015, 4000, false},
        {"start ahead, just before the wrap", 0xFFFFFFFFu, 0xFFFFFFFEu, false},
        {"running across the wrap, within the limit", 0xFFFFFF00u, 0x00000100u, false},
        {"running across the wrap, at the limit", 0xFFFFFFFFu - kLimit + 1, 0, true},
        {"running across the wrap, past the limit", 0xFFFF0000u, kLimit, true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CallOverran(c.started, c.now, kLimit), c.overran) << c.name;
    }
}

TEST(CallClock, ElapsedTimeCountsAcrossTheWrapAndNeverBackwards) {
    EXPECT_EQ(CallElapsedMs(0xFFFFFFF0u, 0x10u), 0x20u);
    EXPECT_EQ(CallElapsedMs(4001, 4000), 0u);
    // The longest limit zukcli takes (a day) is measured exactly.
    EXPECT_EQ(CallElapsedMs(0xF0000000u, 0xF0000000u + 86400000u), 86400000u);
    EXPECT_FALSE(CallOverran(0xF0000000u, 0xF0000000u + 86399999u, 86400000u));
    EXPECT_TRUE(CallOverran(0xF0000000u, 0xF0000000u + 86400000u, 86400000u));
}

}  // namespace
