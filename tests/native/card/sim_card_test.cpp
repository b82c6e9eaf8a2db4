// The simulated card's description files: the committed sample loads, and bad lines are refused
// with the name at fault.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/sim_card.h"

namespace {

TEST(SimCardDescription, SampleLoadsAndBadLinesAreRefused) {
    std::ifstream in(std::string(ZUK_SOURCE_DIR) + "/sim/cards/alice.card");
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    SimCardDescription d;
    std::string error;
    ASSERT_TRUE(SimCardParseDescription(text.str(), &d, &error)) << error;
    EXPECT_EQ(d.pin, "1234");
    EXPECT_EQ(d.retryLimit, 3);
    EXPECT_EQ(d.userName, "Alice Example");
    EXPECT_EQ(SimHex(d.systemCode, 2), "88 B4");

    const char *bad[] = {"colour = red", "retry_limit = 256", "idm = 01 02", "pmm = zz",
                         "failure_count = -1", "no equals sign"};
    for (const char *line : bad) {
        SimCardDescription e;
        error.clear();
        EXPECT_FALSE(SimCardParseDescription(line, &e, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

}  // namespace
