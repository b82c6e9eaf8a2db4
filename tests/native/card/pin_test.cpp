// PIN verification against the simulated card: results, the failure count the card holds
// afterwards, when the card is written, and the commands of one verification.
#include <string>

#include "card/pin.h"
#include "card_fixture.h"
#include "tests/result_expect.h"

namespace {

using PinTest = CardTest;

struct VerifyCase {
    const char *name;
    std::string cardPin;
    int limit;
    int count;
    std::string typed;
    std::int32_t result;
    int countAfter;
    bool written;
};

TEST_F(PinTest, VerifyOutcomesAndTheCountOnTheCard) {
    const VerifyCase cases[] = {
        {"wrong, reaching the limit", "1234", 3, 2, "9999", 7, 3, true},
        {"already locked", "1234", 3, 3, "1234", 6, 3, false},
        {"right", "1234", 3, 2, "1234", 0, 0, true},
        {"right with count 0", "1234", 3, 0, "1234", 0, 0, true},
        {"wrong below the limit", "1234", 3, 0, "0000", 3, 1, true},
        {"no limit, count stays 255", "1234", 0, 255, "0", 3, 255, true},
        {"one byte longer", "1234", 5, 0, "1234 ", 3, 1, true},
        {"empty typed PIN", "1234", 5, 0, "", 3, 1, true},
        {"no PIN on the card", "", 3, 1, "1234", 2, 1, false},
        {"sixteen-byte PIN", std::string(16, '7'), 3, 1, std::string(16, '7'), 0, 0, true},
    };
    for (const VerifyCase &c : cases) {
        description.pin = c.cardPin;
        description.retryLimit = c.limit;
        description.failureCount = c.count;
        SimCardInit(&card, description);
        SimCardPlace(&card, &sim);
        if (!CardSessionIsOpen()) Open();
        int present = 0;
        ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
        card.blocks[1][0][5] = 0x5A;  // an uninterpreted byte goes back as read
        EXPECT_EQ(
            CardStatusResult(CardVerifyPin(reinterpret_cast<const std::uint8_t *>(c.typed.data()),
                                           static_cast<int>(c.typed.size()))),
            c.result)
            << c.name;
        EXPECT_EQ(card.blocks[1][0][1], c.countAfter) << c.name;
        EXPECT_EQ(card.blocks[1][0][0], c.limit) << c.name;
        EXPECT_EQ(card.blocks[1][0][5], 0x5A) << c.name;
        EXPECT_EQ(card.writes, c.written ? 1 : 0) << c.name;
    }
}

TEST_F(PinTest, LockedAfterTheFailureThatReachedTheLimit) {
    description.pin = "1234";
    description.retryLimit = 3;
    description.failureCount = 2;
    SimCardInit(&card, description);
    OpenAndSense();
    const std::uint8_t wrong[4] = {'0', '0', '0', '0'};
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(wrong, 4)), ZUK_ERR_PIN_LOCKED_NOW);
    const std::vector<std::string> expected = {
        "42 03 00",
        "56 81 " + Idm() + " 02 00 00 00 65 01 0A 67 01 80 01",
        "42 03 00",
        "56 81 " + Idm() + " 02 00 00 00 65 01 0A 67 01 80 00",
        "42 03 00",
        "56 81 " + Idm() + " 02 00 00 00 65 01 0A 67 01 80 00",
        "42 04 00",
        "52 81 " + Idm() + " 02 00 00 00 65 01 08 67",
        "16 " + Idm() + " 01 80 00 03 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
    };
    EXPECT_EQ(card.commands, expected);
    card.commands.clear();
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(wrong, 4)), ZUK_ERR_CARD_LOCKED);
    EXPECT_EQ(card.writes, 1);
    EXPECT_EQ(card.commands.size(), 4u);  // the PIN state only
}

TEST_F(PinTest, FailingWritesReturnTheWritesCode) {
    description.pin = "1234";
    description.retryLimit = 3;
    SimCardInit(&card, description);
    OpenAndSense();
    const std::uint8_t wrong[1] = {'x'};
    card.faults.writeFlagCount = 1;
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(wrong, 1)), ZUK_ERR_READER_STATUS);
    EXPECT_EQ(GetLastCardStatus(), 0x8010170u);
    EXPECT_EQ(card.blocks[1][0][1], 0);
    const std::uint8_t right[4] = {'1', '2', '3', '4'};
    card.faults.writeFlagCount = 1;
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(right, 4)), ZUK_ERR_READER_STATUS);
}

TEST_F(PinTest, PinStateAndArguments) {
    int present = -1, limit = -1, count = -1;
    std::uint8_t pin[16];
    int pinLength = 16;
    EXPECT_RESULT(CardStatusResult(CardGetPinState(&present, &limit, &count, pin, &pinLength)),
                  ZUK_ERR_NOT_OPEN);
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(pin, -1)), ZUK_ERR_PARAM);
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(nullptr, 0)), ZUK_ERR_PARAM);
    description.pin = "24680";
    description.retryLimit = 4;
    description.failureCount = 1;
    SimCardInit(&card, description);
    OpenAndSense();
    pinLength = 4;
    EXPECT_RESULT(CardStatusResult(CardGetPinState(&present, &limit, &count, pin, &pinLength)),
                  ZUK_ERR_BUFFER);
    pinLength = 16;
    ASSERT_EQ(CardGetPinState(&present, &limit, &count, pin, &pinLength), SESSION_OK);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(limit, 4);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(pin), pinLength), "24680");
}

}  // namespace
