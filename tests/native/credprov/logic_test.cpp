// The provider's logic: how a card's account splits into the domain and user the logon record
// carries, the packed KERB_INTERACTIVE_UNLOCK_LOGON read back field by field in the 32-bit and the
// 64-bit layout, and the tile's status for each result of the library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "credprov/logon_pack.h"
#include "credprov/tile_status.h"

namespace {

std::u16string U(const std::uint16_t *text) {
    std::u16string out;
    for (; *text; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
}

std::vector<std::uint16_t> Units(const std::u16string &text) {
    std::vector<std::uint16_t> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

std::uint64_t GetLe(const std::uint8_t *at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    return value;
}

TEST(SplitAccount, EachFormOfTheAccount) {
    struct Case {
        std::u16string account;
        SplitResult result;
        std::u16string domain;
        std::u16string user;
    };
    const Case cases[] = {
        {u"alice", kSplitOk, u"PC-01", u"alice"},
        {u"CORP\\bob", kSplitOk, u"CORP", u"bob"},
        {u"CORP\\sub\\bob", kSplitOk, u"CORP", u"sub\\bob"},  // at the first backslash
        {u".\\admin", kSplitOk, u"PC-01", u"admin"},
        {u"carol@corp.example", kSplitOk, u"", u"carol@corp.example"},
        {u"CORP\\dave@x", kSplitOk, u"CORP", u"dave@x"},  // a backslash wins over an at sign
        {u"\u5c71\u7530", kSplitOk, u"PC-01", u"\u5c71\u7530"},
        {u"", kSplitEmpty, u"", u""},
        {u"CORP\\", kSplitEmpty, u"", u""},
        {u"\\bob", kSplitEmpty, u"", u""},
        {u"@corp", kSplitEmpty, u"", u""},
        {u"erin@", kSplitEmpty, u"", u""},
        {std::u16string(kLogonNameMax, u'x'), kSplitOk, u"PC-01",
         std::u16string(kLogonNameMax, u'x')},
        {std::u16string(kLogonNameMax + 1, u'x'), kSplitTooLong, u"", u""},
        {u"D\\" + std::u16string(kLogonNameMax + 1, u'x'), kSplitTooLong, u"", u""},
    };
    const std::vector<std::uint16_t> computer = Units(u"PC-01");
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.account.begin(), c.account.end()).substr(0, 40));
        LogonNames names;
        const std::vector<std::uint16_t> account = Units(c.account);
        EXPECT_EQ(SplitAccount(account.data(), computer.data(), &names), c.result);
        EXPECT_EQ(U(names.domain), c.domain);
        EXPECT_EQ(U(names.user), c.user);
    }
    LogonNames names;
    const std::vector<std::uint16_t> account = Units(u"alice"), none = Units(u"");
    EXPECT_EQ(SplitAccount(account.data(), none.data(), &names), kSplitEmpty) << "no computer name";
}

// Reads one UNICODE_STRING of a packed record back: its length fields, and the text its offset
// points at, which must lie inside the buffer after the record.
std::u16string ReadField(const std::vector<std::uint8_t> &buffer, const LogonLayout &layout,
                         std::size_t field, unsigned pointerSize) {
    const std::size_t length = GetLe(&buffer[field], 2);
    EXPECT_EQ(GetLe(&buffer[field + 2], 2), length) << "MaximumLength";
    const std::uint64_t offset = GetLe(&buffer[field + layout.bufferInField], pointerSize);
    if (length == 0) {
        EXPECT_EQ(offset, 0u);
        return u"";
    }
    EXPECT_GE(offset, layout.recordSize);
    EXPECT_LE(offset + length, buffer.size());
    std::u16string text;
    for (std::size_t i = 0; i < length / 2; ++i)
        text.push_back(static_cast<char16_t>(GetLe(&buffer[offset + 2 * i], 2)));
    return text;
}

TEST(PackLogon, BothLayoutsReadBackFieldByField) {
    struct Layout {
        unsigned pointerSize;
        std::size_t recordSize;  // sizeof(KERB_INTERACTIVE_UNLOCK_LOGON) of that bitness
        std::size_t userField;
    };
    const Layout layouts[] = {{4, 36, 12}, {8, 64, 24}};
    const std::u16string domain = u"CORP", user = u"bob", password = u"p\u00e4ss w\u00f6rd!";
    for (const Layout &l : layouts) {
        for (std::uint32_t type : {kKerbInteractiveLogon, kKerbWorkstationUnlockLogon}) {
            SCOPED_TRACE(l.pointerSize * 100 + type);
            LogonLayout layout;
            ASSERT_TRUE(LogonLayoutFor(l.pointerSize, &layout));
            EXPECT_EQ(layout.recordSize, l.recordSize);
            EXPECT_EQ(layout.userField, l.userField);
            const std::vector<std::uint16_t> d = Units(domain), u = Units(user),
                                             p = Units(password);
            const std::size_t size = PackedLogonSize(l.pointerSize, 4, 3, password.size());
            ASSERT_EQ(size, l.recordSize + 2 * (4 + 3 + password.size()));
            std::vector<std::uint8_t> buffer(size + 16, 0xCC);
            ASSERT_EQ(
                PackInteractiveUnlockLogon(l.pointerSize, type, d.data(), 4, u.data(), 3, p.data(),
                                           password.size(), buffer.data(), buffer.size()),
                size);
            buffer.resize(size);
            EXPECT_EQ(GetLe(&buffer[0], 4), type);
            EXPECT_EQ(ReadField(buffer, layout, layout.domainField, l.pointerSize), domain);
            EXPECT_EQ(ReadField(buffer, layout, layout.userField, l.pointerSize), user);
            EXPECT_EQ(ReadField(buffer, layout, layout.passwordField, l.pointerSize), password);
            EXPECT_EQ(GetLe(&buffer[layout.logonId], 8), 0u) << "LogonId";
            // The texts follow the record back to back, in the record's order.
            EXPECT_EQ(GetLe(&buffer[layout.domainField + layout.bufferInField], l.pointerSize),
                      l.recordSize);
        }
    }
}

TEST(PackLogon, EmptyDomainOfAPrincipalNameAndTheLimits) {
    const std::vector<std::uint16_t> u = Units(u"carol@corp.example"), p = Units(u"pw");
    const std::size_t size = PackedLogonSize(8, 0, 18, 2);
    std::vector<std::uint8_t> buffer(size);
    ASSERT_EQ(PackInteractiveUnlockLogon(8, kKerbInteractiveLogon, nullptr, 0, u.data(), 18,
                                         p.data(), 2, buffer.data(), buffer.size()),
              size);
    LogonLayout layout;
    ASSERT_TRUE(LogonLayoutFor(8, &layout));
    EXPECT_EQ(ReadField(buffer, layout, layout.domainField, 8), u"");
    EXPECT_EQ(ReadField(buffer, layout, layout.userField, 8), u"carol@corp.example");
    EXPECT_EQ(GetLe(&buffer[layout.userField + layout.bufferInField], 8), layout.recordSize);

    EXPECT_EQ(PackInteractiveUnlockLogon(8, kKerbInteractiveLogon, nullptr, 0, u.data(), 18,
                                         p.data(), 2, buffer.data(), size - 1),
              0u)
        << "one byte short";
    EXPECT_EQ(PackedLogonSize(6, 1, 1, 1), 0u) << "no such pointer size";
    EXPECT_EQ(PackedLogonSize(8, 0, 32768, 0), 0u) << "beyond a UNICODE_STRING";
    EXPECT_GT(PackedLogonSize(8, 0, 32767, 0), 0u);
}

TEST(TileStatus, EachResultOfTheLibrary) {
    struct Case {
        int result;
        int tries;
        TilePhase phase;
        std::uint32_t message;
        int shownTries;
    };
    const Case cases[] = {
        {ZUK_OK, 3, kPhaseCard, 0, -1},
        {ZUK_ERR_PIN_WRONG, 2, kPhaseCard, kMsgPinWrong, 2},
        {ZUK_ERR_PIN_WRONG, -1, kPhaseCard, kMsgPinWrong, -1},
        {ZUK_ERR_PIN_LOCKED_NOW, 0, kPhaseCard, kMsgCardLocked, -1},
        {ZUK_ERR_CARD_LOCKED, 0, kPhaseCard, kMsgCardLocked, -1},
        {ZUK_ERR_CARD_LOCKED, -1, kPhaseCard, kMsgCardRevoked, -1},
        {ZUK_ERR_NO_CARD, -1, kPhaseCard, kMsgPlaceCard, -1},
        {ZUK_ERR_PORT_OPEN, -1, kPhaseOpen, kMsgNoReader, -1},
        {ZUK_ERR_PORT_IO, -1, kPhaseCard, kMsgNoReader, -1},
        {ZUK_ERR_CARD_IO, -1, kPhaseOpen, kMsgOtherKeys, -1},
        {ZUK_ERR_READER_STATUS, -1, kPhaseOpen, kMsgOtherKeys, -1},
        {ZUK_ERR_SYSTEM, -1, kPhaseOpen, kMsgOtherKeys, -1},
        {ZUK_ERR_CARD_IO, -1, kPhaseCard, kMsgCardError, -1},
        {ZUK_ERR_BUSY, -1, kPhaseCard, kMsgCardError, -1},
        {ZUK_ERR_NO_DATA, -1, kPhaseCard, kMsgCardError, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.result);
        const TileStatus status = StatusForResult(c.result, c.tries, c.phase);
        EXPECT_EQ(status.messageId, c.message);
        EXPECT_EQ(status.triesLeft, c.shownTries);
    }
}

TEST(TileStatus, TheTriesFollowTheTextAndNothingOverflows) {
    const std::vector<std::uint16_t> text = Units(u"Tries left:");
    std::uint16_t out[32];
    ComposeStatusText(text.data(), TileStatus{kMsgPinWrong, 12, true}, out, 32);
    EXPECT_EQ(U(out), u"Tries left: 12");
    ComposeStatusText(text.data(), TileStatus{kMsgCardLocked, -1, true}, out, 32);
    EXPECT_EQ(U(out), u"Tries left:");
    std::uint16_t small[6];
    ComposeStatusText(text.data(), TileStatus{kMsgPinWrong, 2, true}, small, 6);
    EXPECT_EQ(U(small), u"Tries");  // cut to the buffer, the number left out rather than split
    ComposeStatusText(nullptr, TileStatus{kMsgPinWrong, 0, true}, out, 32);
    EXPECT_EQ(U(out), u" 0");
}

}  // namespace
