// MapCardStatus: the single mapping of the card layer's internal codes onto API result codes.
#include "card/card_status.h"

namespace {

bool IsSuccess(std::uint32_t code) {
    return code == 0x10000000 || code == 0x8000000 || code == 0x8040000 || code == 0x4000000 ||
           code == 0x2000000;
}

// The rows of the mapping table that name their codes one by one, first match wins.
struct Row {
    std::uint32_t code;
    std::int32_t result;
};

constexpr Row kRows[] = {
    {0x10010000, 0x10000}, {0x8000001, 0x10000}, {0x4000001, 0x10000}, {0x2000001, 0x10000},
    {0x10020000, 0x20000}, {0x8000002, 0x20000}, {0x4000002, 0x20000}, {0x2000002, 0x20000},
    {0x10040000, 0x40000},
    {0x10000100, 0x100},   {0x2000011, 0x100},
    {0x10000200, 0x200},   {0x2000012, 0x200},
    {0x2000014, 0x300},
    {0x8000004, 0x500},    {0x2000013, 0x500},
    {0x2000015, 0x900},    {0x2000016, 0x900},   {0x2000017, 0x900},   {0x2000018, 0x900},
    {0x2000019, 0x900},
    {0x2000100, 0xA00},    {0x2000200, 0xA00},   {0x2000300, 0xA00},   {0x2000400, 0xA00},
    {0x2000500, 0xA00},    {0x2000600, 0xA00},
    {0x2000700, 0x1000000}, {0x2001200, 0x1000000}, {0x2001300, 0x1000000},
    {0x8000005, 0x1000000}, {0x80400EB, 0x1000000}, {0x80400FB, 0x1000000},
    {0x80400ED, 0xB00},
    {0x80400FD, 0xC00},    {0x80400FF, 0xC00},
    {0x2000003, 1},
    {0x8000003, 2},        {0x10000002, 2},
    {0x10000003, 3},
    {0x10000005, 5},       {0x80400EF, 5},
    {0x10000006, 6},
    {0x10000007, 7},
};

}  // namespace

std::int32_t MapCardStatus(std::uint32_t code) {
    if (IsSuccess(code)) return 0;
    SetLastCardStatus(code);
    if (code == 0) return 0;
    for (const Row &row : kRows) {
        if (row.code == code) return row.result;
    }
    // Status flags, reader status bytes and status words: top byte 02, 04 or 08 with bits 16-19
    // reading 1 or 2.  Bits 16-23 tell where a link status word was met (0x11 opening the link,
    // 0x21 closing it); every other such code is a card or reader status.
    const std::uint32_t top = code >> 24;
    const std::uint32_t low4 = (code >> 16) & 0xF;
    if ((top == 0x02 || top == 0x04 || top == 0x08) && (low4 == 1 || low4 == 2)) {
        const std::uint32_t middle = (code >> 16) & 0xFF;
        if (middle == 0x11) return 0x500;
        if (middle == 0x21) return 0x600;
        return 0x50000;
    }
    return 0x7F000000;
}
