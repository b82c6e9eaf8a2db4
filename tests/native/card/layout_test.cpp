// Card item reads against the simulated card: the exact commands each read sends, the account
// and password in pieces, whole and over-long texts, and the item look-up.
#include <cstring>

#include "card/layout.h"
#include "card_fixture.h"
#include "tests/result_expect.h"

namespace {

using LayoutTest = CardTest;

std::string BlockList(int first, int count) {
    std::uint8_t list[32];
    for (int i = 0; i < count; ++i) {
        list[2 * i] = 0x80;
        list[2 * i + 1] = static_cast<std::uint8_t>(first + i);
    }
    return SimHex(list, 2 * static_cast<std::size_t>(count));
}

// The authenticated-read body of `count` blocks from `first` of one service.
std::string AuthRead(const std::string &idm, const char *service, int first, int count) {
    const std::uint8_t nb = static_cast<std::uint8_t>(count);
    return std::string("56 81 ") + idm + " 02 00 00 00 65 01 " + service + " " + SimHex(&nb, 1) +
           " " + BlockList(first, count);
}

TEST_F(LayoutTest, TextItemReadsSendTheirBodies) {
    description.userOption = "option-u";
    description.adminOption = "option-a";
    SimCardInit(&card, description);
    OpenAndSense();
    struct Case {
        CardStatus (*read)(std::uint8_t *, int *);
        const char *keySelect;
        const char *service;
        int first;
        int count;
        std::string text;
    };
    const Case cases[] = {
        {CardReadUserName, "42 05 00", "0A 68", 8, 4, "Alice Example"},
        {CardReadUserOption, "42 05 00", "0A 68", 15, 8, "option-u"},
        {CardReadAdminOption, "42 07 00", "0A 69", 8, 8, "option-a"},
    };
    for (const Case &c : cases) {
        card.commands.clear();
        std::uint8_t buffer[200];
        int length = sizeof buffer;
        ASSERT_EQ(c.read(buffer, &length), SESSION_OK) << c.text;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), length), c.text);
        ASSERT_EQ(card.commands.size(), 2u);
        EXPECT_EQ(card.commands[0], c.keySelect);
        EXPECT_EQ(card.commands[1], AuthRead(Idm(), c.service, c.first, c.count));
    }
    EXPECT_EQ(AuthRead(Idm(), "0A 68", 8, 4),
              "56 81 " + Idm() + " 02 00 00 00 65 01 0A 68 04 80 08 80 09 80 0A 80 0B");
}

TEST_F(LayoutTest, AccountAndPasswordInPieces) {
    struct Case {
        std::size_t passwordSize;
        bool secondPiece;
    };
    for (const Case &c : {Case{200, true}, Case{100, false}, Case{256, true}, Case{192, true}}) {
        description.password = std::string(c.passwordSize, 'p');
        SimCardInit(&card, description);
        SimCardPlace(&card, &sim);
        if (!CardSessionIsOpen()) OpenAndSense();
        int present = 0;
        ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
        card.commands.clear();
        std::uint8_t account[128], password[256];
        int accountLength = 128, passwordLength = 256;
        ASSERT_EQ(CardReadAccount(account, &accountLength, password, &passwordLength), SESSION_OK);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(account), accountLength), "alice");
        EXPECT_EQ(passwordLength, static_cast<int>(c.passwordSize));
        std::vector<std::string> expected = {"42 01 00", AuthRead(Idm(), "0A 66", 0, 8), "42 01 00",
                                             AuthRead(Idm(), "0A 66", 8, 12)};
        if (c.secondPiece) expected.push_back("14 " + Idm() + " 04 " + BlockList(20, 4));
        EXPECT_EQ(card.commands, expected) << c.passwordSize;
    }
}

TEST_F(LayoutTest, WholeTextsAndBuffersOneByteShort) {
    description.userName = std::string(64, 'N');
    description.userOption = std::string(20, 'o');
    SimCardInit(&card, description);
    OpenAndSense();
    std::uint8_t buffer[64];
    int length = 64;
    ASSERT_EQ(CardReadUserName(buffer, &length), SESSION_OK);
    EXPECT_EQ(length, 64);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 64), std::string(64, 'N'));
    std::memset(buffer, 0xCC, sizeof buffer);
    length = 19;
    EXPECT_RESULT(CardStatusResult(CardReadUserOption(buffer, &length)), ZUK_ERR_BUFFER);
    EXPECT_EQ(length, 19);
    EXPECT_EQ(buffer[0], 0xCC);
    // The account too long for its buffer stops before the password is read.
    std::uint8_t account[4], password[8];
    int accountLength = 4, passwordLength = 8;
    card.commands.clear();
    EXPECT_RESULT(
        CardStatusResult(CardReadAccount(account, &accountLength, password, &passwordLength)),
        ZUK_ERR_BUFFER);
    EXPECT_EQ(card.commands.size(), 2u);
}

TEST_F(LayoutTest, ArgumentsSessionAndCardFailures) {
    std::uint8_t buffer[16];
    int length = 16;
    EXPECT_RESULT(CardStatusResult(CardReadUserName(buffer, &length)), ZUK_ERR_NOT_OPEN);
    length = 0;
    EXPECT_RESULT(CardStatusResult(CardReadUserName(buffer, &length)), ZUK_ERR_PARAM);
    CardAccess access;
    EXPECT_RESULT(CardStatusResult(LookupCardItem(21, CARD_READ, &access)), ZUK_ERR_SYSTEM);
    ASSERT_EQ(LookupCardItem(3, CARD_WRITE, &access), SESSION_OK);
    EXPECT_EQ(access.keyNumber, 4);
    EXPECT_EQ(SimHex(access.serviceCode, 2), "08 67");
    CardLimits limits;
    EXPECT_EQ(CardGetLimits(&limits), SESSION_OK);
    EXPECT_EQ(limits.account + limits.password + limits.pin, 128 + 256 + 16);
    EXPECT_RESULT(CardStatusResult(CardGetLimits(nullptr)), ZUK_ERR_PARAM);

    OpenAndSense();
    // An all-zero account gives length 0; a password whose second piece fails reports it.
    description.account.clear();
    description.password = std::string(250, 'p');
    SimCardInit(&card, description);
    SimCardPlace(&card, &sim);
    int present = 0;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    std::uint8_t account[128], password[256];
    int accountLength = 128, passwordLength = 256;
    card.faults.removeAfterReads = 2;  // leaves between the two password pieces
    EXPECT_RESULT(
        CardStatusResult(CardReadAccount(account, &accountLength, password, &passwordLength)),
        ZUK_ERR_NO_CARD);
    EXPECT_EQ(accountLength, 0);
    EXPECT_EQ(GetLastCardStatus(), 0x80400EFu);
}

}  // namespace
