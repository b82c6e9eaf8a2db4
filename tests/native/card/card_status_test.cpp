// MapCardStatus over every row of its table, and what it keeps as the last card status.
#include <gtest/gtest.h>

#include "card/card_status.h"

namespace {

struct MapCase {
    std::uint32_t code;
    std::int32_t result;
};

TEST(MapCardStatus, EveryRowOfTheTable) {
    const MapCase cases[] = {
        {0, 0}, {0x10000000, 0}, {0x8000000, 0}, {0x8040000, 0}, {0x4000000, 0}, {0x2000000, 0},
        {0x10010000, 0x10000}, {0x8000001, 0x10000}, {0x4000001, 0x10000}, {0x2000001, 0x10000},
        {0x10020000, 0x20000}, {0x8000002, 0x20000}, {0x4000002, 0x20000}, {0x2000002, 0x20000},
        {0x10040000, 0x40000},
        {0x10000100, 0x100}, {0x2000011, 0x100},
        {0x10000200, 0x200}, {0x2000012, 0x200},
        {0x2000014, 0x300},
        {0x8000004, 0x500}, {0x2000013, 0x500},
        {0x2000015, 0x900}, {0x2000016, 0x900}, {0x2000017, 0x900}, {0x2000018, 0x900},
        {0x2000019, 0x900},
        {0x2000100, 0xA00}, {0x2000200, 0xA00}, {0x2000300, 0xA00}, {0x2000400, 0xA00},
        {0x2000500, 0xA00}, {0x2000600, 0xA00},
        {0x2000700, 0x1000000}, {0x2001200, 0x1000000}, {0x2001300, 0x1000000},
        {0x8000005, 0x1000000}, {0x80400EB, 0x1000000}, {0x80400FB, 0x1000000},
        {0x80400ED, 0xB00}, {0x80400FD, 0xC00}, {0x80400FF, 0xC00},
        {0x2000003, 1},
        {0x8000003, 2}, {0x10000002, 2},
        {0x10000003, 3},
        {0x10000005, 5}, {0x80400EF, 5},
        {0x10000006, 6},
        {0x10000007, 7},
        // Status flags, reader status bytes and status words.
        {0x8016A00, 0x50000}, {0x801A401, 0x50000}, {0x8020101, 0x50000}, {0x2016A82, 0x50000},
        {0x4010000, 0x50000},
        {0x2116982, 0x500},   // a status word met while opening the link
        {0x2216982, 0x600},   // ... while closing it
        // Qualified link codes and unlisted codes.
        {0x2100200, 0x7F000000}, {0x2200700, 0x7F000000}, {0x80400EE, 0x7F000000},
        {0x8000006, 0x7F000000}, {0x10000001, 0x7F000000}, {0x1010000, 0x7F000000},
        {0x8030000, 0x7F000000}, {0xFFFFFFFF, 0x7F000000},
    };
    for (const MapCase &c : cases) {
        EXPECT_EQ(MapCardStatus(c.code), c.result) << std::hex << "code 0x" << c.code;
    }
}

TEST(MapCardStatus, KeepsTheRawFailureButNotASuccess) {
    SetLastCardStatus(0);
    EXPECT_EQ(MapCardStatus(0x8016A00), 0x50000);
    EXPECT_EQ(GetLastCardStatus(), 0x8016A00u);
    for (std::uint32_t ok : {0x10000000u, 0x8000000u, 0x8040000u, 0x4000000u, 0x2000000u}) {
        EXPECT_EQ(MapCardStatus(ok), 0);
        EXPECT_EQ(GetLastCardStatus(), 0x8016A00u) << std::hex << ok;
    }
    EXPECT_EQ(MapCardStatus(0x2100200), 0x7F000000);
    EXPECT_EQ(GetLastCardStatus(), 0x2100200u);
    EXPECT_EQ(MapCardStatus(0x2000200), 0xA00);
    EXPECT_EQ(GetLastCardStatus(), 0x2000200u);
}

}  // namespace
