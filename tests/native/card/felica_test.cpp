// The FeliCa command layer against the simulated reader and card: the command bodies sent, the
// sensing and IDm hand-out, the block commands under the card's key rule, and answers that lie
// about their length or block count.
#include <cstring>

#include "ZUKcntrl.h"
#include "card/card_state.h"
#include "card_fixture.h"
#include "tests/result_expect.h"

namespace {

// A card hook that accepts key selections and gives one fixed answer to every other command.
struct FixedAnswer {
    std::vector<std::uint8_t> bytes;
};
std::size_t FixedHook(void *context, const std::uint8_t *command, std::size_t length,
                      std::uint8_t *answer, std::size_t capacity) {
    if (length > 0 && command[0] == 0x42 && capacity > 0) {
        answer[0] = 0x43;
        return 1;
    }
    const FixedAnswer *f = static_cast<const FixedAnswer *>(context);
    if (f->bytes.size() > capacity) return 0;
    std::memcpy(answer, f->bytes.data(), f->bytes.size());
    return f->bytes.size();
}

using FelicaTest = CardTest;

TEST_F(FelicaTest, SenseSendsPollingForOneCodeAndForSeveral) {
    Open();
    int present = -1;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    EXPECT_EQ(present, 1);
    const std::uint8_t two[4] = {0x12, 0x34, 0x88, 0xB4};
    ASSERT_EQ(CardSense(&present, two, 2), SESSION_OK);
    EXPECT_EQ(present, 1);
    ASSERT_EQ(card.commands.size(), 2u);
    EXPECT_EQ(card.commands[0], "00 88 B4 01 00");
    EXPECT_EQ(card.commands[1], "60 82 12 34 88 B4 01 00");
    EXPECT_EQ(SimHex(g_card.idm, 8), Idm());
}

TEST_F(FelicaTest, SameListTwiceOnlyAsksTheKnownCard) {
    Open();
    int present = -1;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    card.commands.clear();
    present = -1;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    EXPECT_EQ(present, 1);
    ASSERT_EQ(card.commands.size(), 1u);
    EXPECT_EQ(card.commands[0], "04 " + Idm());

    // The card leaves: Request Response goes unanswered, so the layer polls again, finds nobody
    // and reports an empty field as success.
    SimCardRemove(&sim);
    present = -1;
    EXPECT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(SimHex(g_card.idm, 8), "00 00 00 00 00 00 00 00");
}

TEST_F(FelicaTest, SeventeenCodesAreRefusedButTheIdmIsCleared) {
    Open();
    int present = -1;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    std::uint8_t many[34];
    for (int i = 0; i < 17; ++i) {
        many[2 * i] = 0x88;
        many[2 * i + 1] = 0xB4;
    }
    present = -1;
    EXPECT_RESULT(CardStatusResult(CardSense(&present, many, 17)), ZUK_ERR_PARAM);
    EXPECT_EQ(present, -1);
    EXPECT_EQ(SimHex(g_card.idm, 8), "00 00 00 00 00 00 00 00");
    // The previous polling codes stay in force.
    std::uint8_t idm[8], pmm[8];
    card.commands.clear();
    ASSERT_EQ(CardPoll(idm, pmm), CARD_OK);
    EXPECT_EQ(card.commands[0], "00 88 B4 01 00");
}

TEST_F(FelicaTest, SenseArgumentsSessionAndEmptyField) {
    int present = -1;
    EXPECT_RESULT(CardStatusResult(CardSense(&present, kSystemCode, 0)), ZUK_ERR_PARAM);
    EXPECT_RESULT(CardStatusResult(CardSense(nullptr, kSystemCode, 1)), ZUK_ERR_PARAM);
    EXPECT_RESULT(CardStatusResult(CardSense(&present, kSystemCode, 1)), ZUK_ERR_NOT_OPEN);
    Open();
    SimCardRemove(&sim);
    EXPECT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    EXPECT_EQ(present, 0);
    // A card of another system code says nothing either.
    const std::uint8_t other[2] = {0x12, 0x34};
    SimCardPlace(&card, &sim);
    present = -1;
    EXPECT_EQ(CardSense(&present, other, 1), SESSION_OK);
    EXPECT_EQ(present, 0);
}

TEST_F(FelicaTest, SeveralCodesPollingStatusFromTheReader) {
    Open();
    FixedAnswer fixed;
    sim.cardHook = FixedHook;
    sim.cardContext = &fixed;
    const std::uint8_t two[4] = {0x12, 0x34, 0x88, 0xB4};
    int present = -1;
    fixed.bytes = {0x61, 0x00, 0x00, 0xEF};
    EXPECT_EQ(CardSense(&present, two, 2), SESSION_OK);
    EXPECT_EQ(present, 0);
    fixed.bytes = {0x61, 0x00, 0x07, 0x01};
    present = -1;
    EXPECT_RESULT(CardStatusResult(CardSense(&present, two, 2)), ZUK_ERR_READER_STATUS);
    EXPECT_EQ(GetLastCardStatus(), 0x8020701u);
    EXPECT_EQ(present, -1);
    // A polling answer too short for its IDm and PMm is a length fault, not a read past the body.
    fixed.bytes = {0x01, 0x01, 0x02};
    EXPECT_RESULT(CardStatusResult(CardSense(&present, kSystemCode, 1)), ZUK_ERR_CARD_IO);
    EXPECT_EQ(GetLastCardStatus(), 0x8000005u);
}

TEST_F(FelicaTest, GetIdmChecksLengthsFirstThenHandsOutTheSensedCard) {
    std::uint8_t idm[8] = {0}, pmm[8] = {0};
    int idmLength = 7, pmmLength = 8;
    Open();
    sim.log.clear();
    EXPECT_RESULT(CardStatusResult(CardGetIdm(idm, &idmLength, pmm, &pmmLength)), ZUK_ERR_BUFFER);
    EXPECT_TRUE(sim.log.empty());
    idmLength = 0;
    EXPECT_RESULT(CardStatusResult(CardGetIdm(idm, &idmLength, pmm, &pmmLength)), ZUK_ERR_PARAM);
    idmLength = 8;
    // No card sensed yet: Request Response with a zero IDm goes unanswered.
    EXPECT_RESULT(CardStatusResult(CardGetIdm(idm, &idmLength, pmm, &pmmLength)), ZUK_ERR_NO_CARD);
    int present = 0;
    ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
    idmLength = pmmLength = 64;
    ASSERT_EQ(CardGetIdm(idm, &idmLength, pmm, &pmmLength), SESSION_OK);
    EXPECT_EQ(idmLength, 8);
    EXPECT_EQ(pmmLength, 8);
    EXPECT_EQ(SimHex(idm, 8), Idm());
    EXPECT_EQ(SimHex(pmm, 8), SimHex(card.pmm, 8));
}

const std::uint8_t kAreas[4] = {0x00, 0x00, 0x00, 0x65};
const std::uint8_t kNameRead[2] = {0x0A, 0x68};
const std::uint8_t kPinWrite[2] = {0x08, 0x67};
const std::uint8_t kNameBlocks[8] = {0x80, 0x08, 0x80, 0x09, 0x80, 0x0A, 0x80, 0x0B};

TEST_F(FelicaTest, AuthenticatedReadSendsItsBodiesAndReturnsTheBlocks) {
    OpenAndSense();
    std::uint8_t out[64];
    int length = 0;
    ASSERT_EQ(CardAuthRead(5, 0, 2, kAreas, 1, kNameRead, 4, kNameBlocks, sizeof out, out, &length),
              CARD_OK);
    ASSERT_EQ(card.commands.size(), 2u);
    EXPECT_EQ(card.commands[0], "42 05 00");
    EXPECT_EQ(card.commands[1],
              "56 81 " + Idm() + " 02 00 00 00 65 01 0A 68 04 80 08 80 09 80 0A 80 0B");
    EXPECT_EQ(length, 64);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)), "Alice Example");
    // A capacity below the data gives 0x8000002.
    EXPECT_EQ(CardAuthRead(5, 0, 2, kAreas, 1, kNameRead, 4, kNameBlocks, 63, out, &length),
              CARD_ERR_BUFFER);
    // The wrong key does not open the service.
    EXPECT_EQ(CardAuthRead(7, 0, 2, kAreas, 1, kNameRead, 4, kNameBlocks, sizeof out, out, &length),
              0x80201A5u);
}

TEST_F(FelicaTest, ReadAndWriteOnlyUnderAnAuthenticationOfTheirService) {
    OpenAndSense();
    const std::uint8_t block0[2] = {0x80, 0x00};
    std::uint8_t data[16] = {3, 9};
    std::uint8_t out[16];
    int length = 0;
    // Nothing opened yet: the card refuses with status flags.
    EXPECT_EQ(CardReadBlocks(1, block0, 16, out, &length), 0x801FFA5u);
    EXPECT_EQ(CardWriteBlocks(1, block0, data), 0x801FFA5u);
    // The write service needs its own key (4); key 3 is the read key.
    EXPECT_EQ(CardAuthenticate(3, 0, 2, kAreas, 1, kPinWrite), 0x80201A5u);
    ASSERT_EQ(CardAuthenticate(4, 0, 2, kAreas, 1, kPinWrite), CARD_OK);
    ASSERT_EQ(CardWriteBlocks(1, block0, data), CARD_OK);
    EXPECT_EQ(card.blocks[1][0][0], 3);
    EXPECT_EQ(card.blocks[1][0][1], 9);
    EXPECT_EQ(card.commands.back(), "16 " + Idm() +
                                        " 01 80 00 03 09 00 00 00 00 00 00 00 00 00 "
                                        "00 00 00 00 00");
    ASSERT_EQ(CardReadBlocks(1, block0, 16, out, &length), CARD_OK);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(out[1], 9);
    // Injected status flags come back as 0x801xxxx.
    card.faults.writeFlagCount = 1;
    EXPECT_EQ(CardWriteBlocks(1, block0, data), 0x8010170u);
    card.faults.readFlagCount = 1;
    card.faults.readFlag1 = 0xA4;
    card.faults.readFlag2 = 0x01;
    EXPECT_EQ(CardReadBlocks(1, block0, 16, out, &length), 0x801A401u);
}

TEST_F(FelicaTest, ABlockCountBeyondTheAskOrTheBodyNeverCopies) {
    OpenAndSense();
    const std::uint8_t accountRead[2] = {0x0A, 0x66};
    const std::uint8_t block0[2] = {0x80, 0x00};
    ASSERT_EQ(CardAuthenticate(1, 0, 2, kAreas, 1, accountRead), CARD_OK);
    std::uint8_t out[64];
    std::memset(out, 0xCC, sizeof out);
    int length = -1;
    card.faults.overcountRead = 1;  // claims 2 blocks, carries 1, 1 was asked
    EXPECT_EQ(CardReadBlocks(1, block0, sizeof out, out, &length), CARD_ERR_LENGTH);
    EXPECT_EQ(out[0], 0xCC);
    EXPECT_EQ(length, -1);

    // An authenticated-read answer claiming 12 blocks while carrying one.
    FixedAnswer fixed;
    fixed.bytes.assign(31 + 16, 0);
    fixed.bytes[0] = 0x57;
    fixed.bytes[30] = 12;
    sim.cardHook = FixedHook;
    sim.cardContext = &fixed;
    std::uint8_t big[192];
    std::memset(big, 0xCC, sizeof big);
    const std::uint8_t twelve[24] = {0x80, 0, 0x80, 1, 0x80, 2, 0x80, 3, 0x80, 4,  0x80, 5,
                                     0x80, 6, 0x80, 7, 0x80, 8, 0x80, 9, 0x80, 10, 0x80, 11};
    EXPECT_EQ(CardAuthRead(1, 0, 2, kAreas, 1, accountRead, 12, twelve, sizeof big, big, &length),
              CARD_ERR_LENGTH);
    EXPECT_EQ(big[0], 0xCC);
}

struct BuilderCase {
    int keyNumber;
    int keyVersion;
    CardStatus expected;
};

TEST(FelicaBuild, KeySelectionLimits) {
    const BuilderCase cases[] = {
        {0, 0, BUILD_OK},         {15, 15, BUILD_OK},         {0x80, 0x8F, BUILD_OK},
        {16, 0, BUILD_ERR_LIMIT}, {0x7F, 0, BUILD_ERR_LIMIT}, {0x90, 0, BUILD_ERR_LIMIT},
        {1, 16, BUILD_ERR_LIMIT}, {-1, 0, BUILD_ERR_LIMIT},
    };
    std::uint8_t out[8];
    std::size_t length = 0;
    for (const BuilderCase &c : cases) {
        EXPECT_EQ(FelicaBuildKeySelect(c.keyNumber, c.keyVersion, out, sizeof out, &length),
                  c.expected)
            << c.keyNumber << " " << c.keyVersion;
    }
    // A body that does not fit the output.
    EXPECT_EQ(FelicaBuildKeySelect(1, 0, out, 2, &length), BUILD_ERR_TOO_LONG);
}

TEST(FelicaBuild, CountLimitsOfTheListCommands) {
    const std::uint8_t idm[8] = {0};
    std::uint8_t list[64] = {0};
    std::uint8_t data[16 * 13] = {0};
    std::uint8_t out[1024];
    std::size_t n = 0;
    EXPECT_EQ(FelicaBuildRead(idm, 0, list, out, sizeof out, &n), BUILD_ERR_LIMIT);
    EXPECT_EQ(FelicaBuildRead(idm, 12, list, out, sizeof out, &n), BUILD_OK);
    EXPECT_EQ(FelicaBuildRead(idm, 13, list, out, sizeof out, &n), BUILD_ERR_LIMIT);
    EXPECT_EQ(FelicaBuildWrite(idm, 8, list, data, out, sizeof out, &n), BUILD_OK);
    EXPECT_EQ(n, 1u + 8 + 1 + 16 + 128);
    EXPECT_EQ(FelicaBuildWrite(idm, 9, list, data, out, sizeof out, &n), BUILD_ERR_LIMIT);
    EXPECT_EQ(FelicaBuildAuth(idm, 16, list, 16, list, out, sizeof out, &n), BUILD_OK);
    EXPECT_EQ(FelicaBuildAuth(idm, 17, list, 1, list, out, sizeof out, &n), BUILD_ERR_LIMIT);
    EXPECT_EQ(FelicaBuildAuthRead(idm, 1, list, 1, list, 13, list, out, sizeof out, &n),
              BUILD_ERR_LIMIT);
    EXPECT_EQ(FelicaBuildPollingMulti(16, list, out, sizeof out, &n), BUILD_OK);
    EXPECT_EQ(FelicaBuildPollingMulti(17, list, out, sizeof out, &n), BUILD_ERR_LIMIT);
    std::uint8_t keys[256] = {0};
    EXPECT_EQ(FelicaBuildKeyTableFrame(0, 16, 1, keys, out, sizeof out, &n), BUILD_ERR_LIMIT);
    EXPECT_EQ(FelicaBuildKeyTableFrame(0, 15, 31, keys, out, sizeof out, &n), BUILD_OK);
    EXPECT_EQ(out[7], 248);
    // 32 slots would need an Lc of 256, which one byte cannot say.
    EXPECT_EQ(FelicaBuildKeyTableFrame(0, 0, 32, keys, out, sizeof out, &n), BUILD_ERR_LIMIT);
}

}  // namespace
