// The simulated card's description files: the committed sample loads, and bad lines are refused
// with the name at fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/sim_card.h"

namespace {

TEST(SimCardDescription, SampleLoadsAndBadLinesAreRefused) {
    SimCardDescription d;
    std::string error;
    ASSERT_TRUE(SimCardReadDescriptionFile(std::string(ZUK_SOURCE_DIR) + "/sim/cards/alice.card",
                                           &d, &error))
        << error;
    EXPECT_EQ(d.account, "alice");
    EXPECT_EQ(d.password, "s3cret-pass");
    EXPECT_EQ(d.pin, "1234");
    EXPECT_EQ(d.retryLimit, 3);
    EXPECT_EQ(d.userName, "Alice Example");
    EXPECT_EQ(SimHex(d.systemCode, 2), "88 B4");
    // Printed back in the file's own byte form.
    const std::string printed = FormatCardDescription(d, false);
    EXPECT_NE(printed.find("idm = 01 2E 4C 1F 93 0A 55 07\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("system_code = 88 B4\n"), std::string::npos) << printed;

    const char *bad[] = {"colour = red", "retry_limit = 256",  "idm = 01 02",
                         "pmm = zz",     "failure_count = -1", "no equals sign"};
    for (const char *line : bad) {
        SimCardDescription e;
        error.clear();
        EXPECT_FALSE(SimCardParseDescription(line, &e, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

// A file that is not there, and one whose line is bad: refused with the path or the field named.
TEST(SimCardDescription, FileThatCannotBeReadOrParsedIsRefused) {
    SimCardDescription d;
    std::string error;
    const std::string missing = std::string(ZUK_BINARY_DIR) + "/no-such-dir/absent.card";
    EXPECT_FALSE(SimCardReadDescriptionFile(missing, &d, &error));
    EXPECT_EQ(error, "cannot read " + missing);

    const std::string bad = std::string(ZUK_BINARY_DIR) + "/sim_card_test_bad.card";
    std::ofstream(bad) << "account = bob\nretry_limit = 300\n";
    error.clear();
    EXPECT_FALSE(SimCardReadDescriptionFile(bad, &d, &error));
    EXPECT_NE(error.find("retry_limit"), std::string::npos) << error;
    std::remove(bad.c_str());
}

}  // namespace
