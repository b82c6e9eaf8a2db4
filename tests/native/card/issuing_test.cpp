// The issuing station's write path against the in-process simulated reader and card: which keys
// open which items for writing, the commands of an item write, a whole card written and read back,
// the checks made before anything is written, a card taken away part-way, the data a write would
// overwrite, and opening the reader as the library does.
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "api/frame.h"
#include "card/issue/issuing.h"
#include "card/layout.h"
#include "card/pin.h"
#include "settings/config.h"
#include "card_fixture.h"
#include "zuk_issuer_keys.h"
#include "tests/result_expect.h"

namespace {

const std::uint8_t kIssuerKeys[CARD_KEY_TABLE_SIZE] = ZUK_ISSUER_KEYS_INIT;

CardDescription Alice() {
    std::ifstream in(std::string(ZUK_SOURCE_DIR) + "/sim/cards/alice.card");
    std::stringstream text;
    text << in.rdbuf();
    CardDescription d;
    std::string error;
    EXPECT_TRUE(ParseCardDescription(text.str(), &d, &error)) << error;
    return d;
}

class IssuingTest : public CardTest {
protected:
    // A blank card (every item empty) in the field, the session open with the station's table.
    void SetUp() override {
        CardTest::SetUp();
        description = CardDescription();
        SimCardInit(&card, description);
        SimCardPlace(&card, &sim);
    }
    void OpenAsStation() {
        OpenAndSense();
        ASSERT_EQ(CardLoadKeyTable(kIssuerKeys), SESSION_OK);
        card.commands.clear();
    }
    // The blocks a card laid from `d` by the simulator holds.
    static bool SameBlocks(const SimCard &a, const CardDescription &d) {
        SimCard expected;
        SimCardInit(&expected, d);
        return std::memcmp(a.blocks, expected.blocks, sizeof a.blocks) == 0;
    }
};

TEST_F(IssuingTest, OnlyTheStationsTableOpensTheUserItemsForWriting) {
    OpenAndSense();  // the library's table: write slots 2, 6, 8 and 10 empty
    const std::uint8_t text[5] = {'m', 'a', 'l', 'l', 'y'};
    for (int item : {CARD_ITEM_ACCOUNT, CARD_ITEM_PASSWORD, CARD_ITEM_USER_NAME,
                     CARD_ITEM_USER_OPTION, CARD_ITEM_ADMIN_OPTION, 13}) {
        EXPECT_RESULT(CardStatusResult(CardWriteWholeItem(item, text, 5)), ZUK_ERR_READER_STATUS)
            << item;  // access not allowed
    }
    EXPECT_EQ(card.writes, 0);
    const std::uint8_t control[16] = {3, 0};
    EXPECT_EQ(CardWriteWholeItem(CARD_ITEM_PIN_CONTROL, control, 16),
              SESSION_OK);  // key 4 is the library's
    EXPECT_EQ(card.writes, 1);

    ASSERT_EQ(CardLoadKeyTable(kIssuerKeys), SESSION_OK);
    for (int item : {CARD_ITEM_ACCOUNT, CARD_ITEM_USER_NAME, CARD_ITEM_ADMIN_OPTION, 20})
        EXPECT_EQ(CardWriteWholeItem(item, text, 5), SESSION_OK) << item;
    EXPECT_EQ(SimHex(card.blocks[0][0], 6), "6D 61 6C 6C 79 00");
    EXPECT_EQ(SimHex(card.blocks[4][10], 6), "6D 61 6C 6C 79 00");

    // A table whose write slot holds another key does not open the card either.
    std::uint8_t wrong[CARD_KEY_TABLE_SIZE];
    std::memcpy(wrong, kIssuerKeys, sizeof wrong);
    wrong[2 * 8] ^= 0x01;
    ASSERT_EQ(CardLoadKeyTable(wrong), SESSION_OK);
    EXPECT_RESULT(CardStatusResult(CardWriteWholeItem(CARD_ITEM_ACCOUNT, text, 3)),
                  ZUK_ERR_READER_STATUS);
}

TEST_F(IssuingTest, APasswordIsPaddedAndWrittenInTwoPiecesUnderOneAuthentication) {
    OpenAsStation();
    const std::string password(200, 'p');
    ASSERT_EQ(CardWriteWholeItem(CARD_ITEM_PASSWORD,
                                 reinterpret_cast<const std::uint8_t *>(password.data()), 200),
              SESSION_OK);
    ASSERT_EQ(card.commands.size(), 4u);
    EXPECT_EQ(card.commands[0], "42 02 00");
    EXPECT_EQ(card.commands[1], "52 81 " + Idm() + " 02 00 00 00 65 01 08 66");
    std::string first = "16 " + Idm() + " 08 80 08 80 09 80 0A 80 0B 80 0C 80 0D 80 0E 80 0F";
    for (int i = 0; i < 128; ++i) first += " 70";
    EXPECT_EQ(card.commands[2], first);
    EXPECT_EQ(card.commands[3].substr(0, 3 * 26),
              "16 " + Idm() + " 08 80 10 80 11 80 12 80 13 80 14 80 15 80 16 80 17 ");
    EXPECT_EQ(SimHex(card.blocks[0][20], 16), "70 70 70 70 70 70 70 70 00 00 00 00 00 00 00 00");
    EXPECT_EQ(SimHex(card.blocks[0][23], 2), "00 00");
    // Longer than the item: refused before anything is sent.
    card.commands.clear();
    const std::string tooLong(257, 'p');
    EXPECT_EQ(CardWriteWholeItem(CARD_ITEM_PASSWORD,
                                 reinterpret_cast<const std::uint8_t *>(tooLong.data()), 257),
              SESSION_ERR_BUFFER);
    EXPECT_TRUE(card.commands.empty());
}

TEST_F(IssuingTest, ADescriptionIsWrittenVerifiedAndReadBack) {
    ParseSystemCodes("88B4", MutableSettings());  // the code the read-out names
    OpenAsStation();
    const CardDescription alice = Alice();
    IssuePlan plan;
    std::string error;
    ASSERT_TRUE(IssuePlanDescription(alice, &plan, &error)) << error;
    std::string names = "unset";
    ASSERT_EQ(IssueFindOverwrites(plan, &names), 0);
    EXPECT_EQ(names, "");  // a blank card loses nothing
    ASSERT_EQ(IssueRun(&plan), 0);
    for (int i = 0; i < plan.count; ++i) EXPECT_EQ(plan.writes[i].state, ISSUE_VERIFIED) << i;
    EXPECT_TRUE(SameBlocks(card, alice));  // the layout the simulator lays a described card in

    CardDescription read;
    ASSERT_EQ(IssueReadCard(&read), 0);
    EXPECT_EQ(FormatCardDescription(read, true), FormatCardDescription(alice, true));
    const std::string hidden = FormatCardDescription(read, false);
    EXPECT_NE(hidden.find("password = ***\npin = ***\n"), std::string::npos) << hidden;
    EXPECT_EQ(hidden.find("s3cret"), std::string::npos);

    // The library now identifies and verifies the user from the card.
    const std::uint8_t pin[4] = {'1', '2', '3', '4'};
    EXPECT_EQ(CardVerifyPin(pin, 4), SESSION_OK);
    std::uint8_t account[128], password[256];
    int accountLength = sizeof account, passwordLength = sizeof password;
    ASSERT_EQ(CardReadAccount(account, &accountLength, password, &passwordLength), SESSION_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(account), accountLength), "alice");
}

TEST_F(IssuingTest, BadValuesAreRefusedBeforeAnythingIsWritten) {
    // (description line, the item the refusal names; null: accepted)
    const std::pair<std::string, const char *> table[] = {
        {"user_name = " + std::string(64, 'n'), nullptr},
        {"user_name = " + std::string(65, 'n'), "user_name"},
        {"account = " + std::string(128, 'a'), nullptr},
        {"account = " + std::string(129, 'a'), "account"},
        {"password = " + std::string(257, 'p'), "password"},
        {"user_option = " + std::string(129, 'o'), "user_option"},
        {"admin_option = " + std::string(129, 'o'), "admin_option"},
        {"pin = " + std::string(16, '9'), nullptr},
        {"pin = " + std::string(17, '9'), "pin"},
        {"retry_limit = 255", nullptr},
        {"retry_limit = 256", "retry_limit"},
        {"failure_count = -1", "failure_count"},
    };
    for (const auto &row : table) {
        CardDescription d;
        IssuePlan plan;
        std::string error;
        const bool ok =
            ParseCardDescription(row.first, &d, &error) && IssuePlanDescription(d, &plan, &error);
        EXPECT_EQ(ok, row.second == nullptr) << row.first.substr(0, 20);
        if (row.second != nullptr) {
            EXPECT_NE(error.find(row.second), std::string::npos) << error;
        }
    }
    CardDescription numbers;
    std::string error;
    ASSERT_TRUE(ParseCardDescription("retry_limit = 010\nfailure_count = 0x1F", &numbers, &error));
    EXPECT_EQ(numbers.retryLimit, 10);  // not octal
    EXPECT_EQ(numbers.failureCount, 31);
    IssuePlan plan;
    EXPECT_FALSE(IssuePlanPin(std::string(17, '1'), &plan, &error));
    EXPECT_FALSE(IssuePlanLimit(256, &plan, &error));
    EXPECT_NE(error.find("retry_limit"), std::string::npos);
    EXPECT_EQ(card.writes, 0);
}

// Line ends of every kind split a description into its lines; a value may not carry a control
// character, a name may be given once, and a byte-order mark is not part of the first name.
TEST(CardDescriptionText, LineEndsControlCharactersRepeatsAndByteOrderMark) {
    struct Case {
        const char *name;
        std::string text;
        const char *error;  // nullptr: accepted
    };
    const Case cases[] = {
        {"LF", "account = bob\npin = 8642\npassword = hunter2\n", nullptr},
        {"CR LF", "account = bob\r\npin = 8642\r\npassword = hunter2\r\n", nullptr},
        {"CR only", "account = bob\rpin = 8642\rpassword = hunter2\r", nullptr},
        {"mixed", "account = bob\rpin = 8642\r\npassword = hunter2", nullptr},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "account = bob\npin = 8642\npassword = hunter2",
         nullptr},
        {"name given twice", "account = bob\naccount = eve\n", "account is given twice"},
        {"tab inside a value", "account = bo\tb\n", "control character"},
        {"escape inside a value", "password = a\x1b[2Jb\n", "control character"},
        {"DEL inside a value", "user_name = a\x7f\n", "control character"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CardDescription d;
        std::string error;
        const bool ok = ParseCardDescription(c.text, &d, &error);
        EXPECT_EQ(ok, c.error == nullptr) << error;
        if (c.error != nullptr) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        } else {
            EXPECT_EQ(d.account, "bob");
            EXPECT_EQ(d.pin, "8642");
            EXPECT_EQ(d.password, "hunter2");
        }
    }
}

TEST_F(IssuingTest, ACardTakenAwayPartWayIsCompletedByASecondRun) {
    OpenAsStation();
    CardDescription alice = Alice();
    alice.password = std::string(200, 'p');  // two Writes: blocks 8-15, then 16-23
    IssuePlan plan;
    std::string error;
    ASSERT_TRUE(IssuePlanDescription(alice, &plan, &error));
    card.faults.removeAtWrite = 3;  // gone when the password's second Write arrives
    EXPECT_EQ(IssueRun(&plan), 5);  // no card
    EXPECT_EQ(SimHex(card.blocks[0][15], 2), "70 70");  // the password's first half is written
    EXPECT_EQ(SimHex(card.blocks[0][16], 2), "00 00");
    EXPECT_EQ(plan.writes[0].state, ISSUE_VERIFIED);
    EXPECT_STREQ(plan.writes[1].name, "password");
    EXPECT_EQ(plan.writes[1].state, ISSUE_WRITE_FAILED);
    EXPECT_EQ(plan.writes[1].lowStatus, 0x80400EFu);
    for (int i = 2; i < plan.count; ++i) EXPECT_EQ(plan.writes[i].state, ISSUE_NOT_WRITTEN) << i;

    SimCardPlace(&card, &sim);
    int present = 0;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    ASSERT_EQ(present, 1);
    std::string names = "unset";
    ASSERT_EQ(IssueFindOverwrites(plan, &names), 0);
    EXPECT_EQ(names, "");  // what the first run wrote, whole or in part, is what this one writes
    ASSERT_EQ(IssueRun(&plan), 0);
    EXPECT_TRUE(SameBlocks(card, alice));
}

// A card that does not hold the station's write keys (a site's issuing table over a blank card of
// the vendor's) refuses the first item's authentication: the item is named as refused, not as a
// write that a second run could complete, and nothing of the card changes.
TEST_F(IssuingTest, ACardWithOtherKeysRefusesTheWriteKeyAndNothingIsWritten) {
    std::uint8_t siteTable[CARD_KEY_TABLE_SIZE];
    std::memcpy(siteTable, kIssuerKeys, sizeof siteTable);
    for (int slot : {2, 6, 8, 10}) siteTable[8 * slot] ^= 0x5A;  // the site's own write keys
    OpenAndSense();
    ASSERT_EQ(CardLoadKeyTable(siteTable), SESSION_OK);
    IssuePlan plan;
    std::string error;
    ASSERT_TRUE(IssuePlanDescription(Alice(), &plan, &error));
    EXPECT_RESULT(IssueRun(&plan), ZUK_ERR_READER_STATUS);
    EXPECT_EQ(plan.writes[0].state, ISSUE_KEY_REFUSED);
    for (int i = 1; i < plan.count; ++i) EXPECT_EQ(plan.writes[i].state, ISSUE_NOT_WRITTEN) << i;
    EXPECT_TRUE(SameBlocks(card, CardDescription())) << "the card changed";

    // The same card under the vendor's table: a write that fails on the way is no key refusal.
    ASSERT_EQ(CardLoadKeyTable(kIssuerKeys), SESSION_OK);
    card.faults.writeFlagCount = 1;
    EXPECT_RESULT(IssueRun(&plan), ZUK_ERR_READER_STATUS);
    EXPECT_EQ(plan.writes[0].state, ISSUE_WRITE_FAILED);
}

TEST_F(IssuingTest, OverwritesNameTheItemsWhoseDataWouldBeLost) {
    CardDescription alice = Alice();
    SimCardInit(&card, alice);
    OpenAsStation();
    IssuePlan plan;
    std::string error, names;
    ASSERT_TRUE(IssuePlanDescription(alice, &plan, &error));
    ASSERT_EQ(IssueFindOverwrites(plan, &names), 0);
    EXPECT_EQ(names, "");  // the same data again
    CardDescription bob = alice;
    bob.userName = "Bob";
    bob.retryLimit = 5;
    ASSERT_TRUE(IssuePlanDescription(bob, &plan, &error));
    ASSERT_EQ(IssueFindOverwrites(plan, &names), 0);
    EXPECT_EQ(names, "user_name, pin_control");
    IssuePlanErase(&plan);
    ASSERT_EQ(IssueFindOverwrites(plan, &names), 0);
    EXPECT_EQ(names, "account, password, pin_control, pin, user_name, user_option, admin_option");
    EXPECT_EQ(card.writes, 0);

    card.blocks[4][0][3] = 0x42;  // an item the library does not read: erased all the same
    ASSERT_EQ(IssueRun(&plan), 0);
    EXPECT_EQ(plan.count, 20);
    static const std::uint8_t kZero[sizeof card.blocks] = {};
    EXPECT_EQ(std::memcmp(card.blocks, kZero, sizeof kZero), 0);
}

TEST_F(IssuingTest, UnlockAndLimitKeepTheRestOfTheControlBlock) {
    CardDescription locked = Alice();
    locked.failureCount = 3;
    SimCardInit(&card, locked);
    card.blocks[1][0][7] = 0x5A;
    OpenAsStation();
    const std::uint8_t pin[4] = {'1', '2', '3', '4'};
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(pin, 4)), ZUK_ERR_CARD_LOCKED);  // locked
    IssuePlan plan;
    IssuePlanUnlock(&plan);
    ASSERT_EQ(IssueRun(&plan), 0);
    EXPECT_EQ(SimHex(card.blocks[1][0], 8), "03 00 00 00 00 00 00 5A");
    std::string error;
    ASSERT_TRUE(IssuePlanLimit(9, &plan, &error));
    ASSERT_EQ(IssueRun(&plan), 0);
    EXPECT_EQ(SimHex(card.blocks[1][0], 8), "09 00 00 00 00 00 00 5A");
    EXPECT_EQ(CardVerifyPin(pin, 4), SESSION_OK);
    ASSERT_TRUE(IssuePlanPin("", &plan, &error));  // a card without a PIN
    ASSERT_EQ(IssueRun(&plan), 0);
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(pin, 4)), ZUK_ERR_NO_DATA);
}

TEST_F(IssuingTest, TheStationOpensAsTheLibraryDoesAndLetsGoOfEverything) {
    // No machine settings: the library's defaults, so the card must answer system code 81 65.
    description.systemCode[0] = 0x81;
    description.systemCode[1] = 0x65;
    SimCardInit(&card, description);
    IssueStation station;
    ASSERT_EQ(IssueOpenStation("\\\\.\\COM3", false, kIssuerKeys, &station), ISSUE_OPENED);
    EXPECT_TRUE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    ASSERT_FALSE(sim.keyTable.empty());
    EXPECT_EQ(sim.keyTable.back().data,
              std::vector<std::uint8_t>(kIssuerKeys, kIssuerKeys + sizeof kIssuerKeys));

    // Another thread (another program, for the library's mutex) asking without waiting is told.
    IssueOpenStatus other = ISSUE_OPENED;
    std::thread([&] {
        IssueStation second;
        other = IssueOpenStation("\\\\.\\COM3", false, kIssuerKeys, &second);
    }).join();
    EXPECT_EQ(other, ISSUE_READER_HELD);
    IssueCloseStation(&station);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    EXPECT_FALSE(CardSessionIsOpen());

    SimCardRemove(&sim);
    EXPECT_EQ(IssueOpenStation("COM3", true, kIssuerKeys, &station), ISSUE_NO_CARD);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    EXPECT_FALSE(CardSessionIsOpen());
    EXPECT_EQ(IssueOpenStation("COM9", true, kIssuerKeys, &station), ISSUE_OPEN_FAILED);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
}

}  // namespace
