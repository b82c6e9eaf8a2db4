// Decoding of the trace's raw "LOW" codes: codes built the way the layers build them decode to
// their fields, codes no layer produces are refused, and every named code is one the mapping knows.
#include <gtest/gtest.h>

#include <string>

#include "card/card_status.h"
#include "card/status_names.h"

namespace {

TEST(StatusNames, CodesDecodeToTheirFamilyAndFields) {
    const struct {
        std::uint32_t code;
        const char *family;
        const char *meaning;  // a part of the meaning
    } cases[] = {
        {0x2000013, "reader link", "cannot be opened"},
        {0x2016A82, "reader link", "status word 6A 82"},
        {0x2216A82, "reader link", "status word 6A 82 while closing the link"},
        {0x2100200, "reader link", "class 0x81/0xA1 while opening the link"},
        {0x2101200, "reader link", "authentication"},
        {0x80400EF, "card command", "no card answered"},
        {0x80400FD, "card command", "response code 0xFD"},
        {0x80101A6, "card command", "status flags 01 A6: service does not exist"},
        {0x801FF71, "card command", "FF 71: rewrite-count warning"},
        {0x8021234, "card command", "status bytes 12 34"},
        {0x8000004, "card command", "reader not found"},
        {0x4000002, "command builder", "does not fit"},
        {0x10000006, "session", "PIN is locked"},
    };
    for (const auto &c : cases) {
        StatusDescription d{};
        ASSERT_TRUE(DescribeCardStatus(c.code, &d)) << std::hex << c.code;
        EXPECT_STREQ(d.family, c.family) << std::hex << c.code;
        EXPECT_NE(std::string(d.meaning).find(c.meaning), std::string::npos) << d.meaning;
        EXPECT_TRUE(d.cause && d.cause[0]) << std::hex << c.code;
    }
}

TEST(StatusNames, ValuesNoLayerProducesAreRefused) {
    for (std::uint32_t code : {0u, 0x2000000u, 0x8000000u, 0x8040000u, 0x10000000u, 0x2000004u,
                               0x2300013u, 0x2020000u, 0x8010012u, 0x8020100u, 0x12345678u,
                               0x1000000u, 0x7F000000u, 0x10000001u}) {
        StatusDescription d{};
        EXPECT_FALSE(DescribeCardStatus(code, &d)) << std::hex << code;
    }
}

TEST(StatusNames, EveryNamedCodeHasAResultOfItsOwn) {
    std::size_t count = 0;
    const StatusName *names = KnownCardStatuses(&count);
    ASSERT_GT(count, 30u);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_NE(MapCardStatus(names[i].code), 0x7F000000) << std::hex << names[i].code;
        EXPECT_NE(MapCardStatus(names[i].code), 0) << std::hex << names[i].code;
    }
}

}  // namespace
