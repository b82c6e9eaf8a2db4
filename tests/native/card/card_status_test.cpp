// Card statuses through what they are for: real reader and card failures, made by the simulated
// reader and card, come out of the card layer's operations as the status that becomes the result
// code naming the failure in the public header, and the raw status stays behind for the trace. (The
// session's own codes - PIN, buffer, argument, item, open state - are checked through the same
// operations in pin_test, layout_test and session_test.)
#include <string>

#include "ZUKcntrl.h"
#include "card/card_status.h"
#include "card/layout.h"
#include "card_fixture.h"
#include "tests/result_expect.h"

namespace {

TEST(CardStatusResult, KeepsTheRawFailureButNotASuccess) {
    SetLastCardStatus(0);
    EXPECT_RESULT(CardStatusResult(0x8016A00),
                  ZUK_ERR_READER_STATUS);  // the card's status flag 1 = 0x6A
    EXPECT_EQ(GetLastCardStatus(), 0x8016A00u);
    for (std::uint32_t ok : {SESSION_OK, CARD_OK, CARD_RESPONSE_OK, BUILD_OK, LINK_OK}) {
        EXPECT_RESULT(CardStatusResult(ok), ZUK_OK);
        EXPECT_EQ(GetLastCardStatus(), 0x8016A00u) << std::hex << ok;
    }
    EXPECT_RESULT(CardStatusResult(0x2100200), ZUK_ERR_UNEXPECTED);
    EXPECT_EQ(GetLastCardStatus(), 0x2100200u);
}

// What runs once the fault is set: opening the session, or (with the session open and the card
// sensed) reading the user's name, or closing.
enum Step { OPEN, READ, CLOSE };

struct FaultCase {
    const char *name;
    Step step;
    void (*apply)(SimReader *reader, SimCard *card);
    std::int32_t result;  // the public result code that names the failure
    std::uint32_t raw;    // the status the trace shows beside it
};

class CardStatusThroughFaults : public CardTest {
protected:
    CardStatus Run(Step step) {
        switch (step) {
        case OPEN: return CardOpenSession("PR300", kCardPort);
        case READ: {
            std::uint8_t name[64];
            int length = sizeof name;
            return CardReadUserName(name, &length);
        }
        case CLOSE: return CardCloseSession();
        }
        return 0;
    }
};

TEST_F(CardStatusThroughFaults, EachFailureReachesTheResultThatNamesIt) {
    const FaultCase cases[] = {
        {"the reader refuses a command (class 0x82)", READ,
         [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x82, 1); }, ZUK_ERR_READER_STATUS,
         0x2000300},
        {"the reader asks twice for a resend", READ,
         [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x80, 2); }, ZUK_ERR_READER_STATUS,
         0x2000100},
        {"a secured answer with another sequence number", READ,
         [](SimReader *r, SimCard *) { r->faults.wrongSequence = true; }, ZUK_ERR_CARD_IO,
         0x2001200},
        {"an empty secured answer", READ,
         [](SimReader *r, SimCard *) { r->faults.emptySecured = true; }, ZUK_ERR_CARD_IO,
         0x2001300},
        {"a line that closed", READ, [](SimReader *r, SimCard *) { r->faults.closed = true; },
         ZUK_ERR_PORT_IO, 0x2000018},
        {"a reader that stopped answering", READ,
         [](SimReader *r, SimCard *) { r->faults.silent = true; }, ZUK_ERR_PORT_IO, 0x2000019},
        {"the card left the field", READ, [](SimReader *r, SimCard *) { SimCardRemove(r); },
         ZUK_ERR_NO_CARD, 0x80400EF},
        {"the card stopped answering", READ,
         [](SimReader *, SimCard *c) { c->faults.silentAfter = 0; }, ZUK_ERR_NO_CARD, 0x80400EF},
        {"the card refuses the authenticated read (status bytes from the reader)", READ,
         [](SimReader *, SimCard *c) { c->faults.readFlagCount = 1; }, ZUK_ERR_READER_STATUS,
         0x80201A8},
        {"a status word while activating the reader", OPEN,
         [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x11); }, ZUK_ERR_PORT_OPEN,
         0x2116F00},
        {"the reader refuses the key table", OPEN,
         [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x89); }, ZUK_ERR_READER_STATUS,
         0x8016F00},
        {"a status word while setting the line speed back on closing", CLOSE,
         [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x07); }, ZUK_ERR_LINK_CLOSE,
         0x2216F00},
    };
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.name);
        (void)CardCloseSession();
        sim.faults = SimFaults();
        PlaceCard();
        if (c.step != OPEN) OpenAndSense();
        SetLastCardStatus(0);
        c.apply(&sim, &card);
        EXPECT_EQ(CardStatusResult(Run(c.step)), c.result);
        EXPECT_EQ(GetLastCardStatus(), c.raw) << std::hex << "raw 0x" << GetLastCardStatus();
    }
}

// Opening fails in the ways a host meets first: no PR300 named, a port that is not there, a
// session already open; and a card layer operation before any session.
TEST_F(CardStatusThroughFaults, OpeningFailuresAndNoSession) {
    EXPECT_EQ(CardOpenSession("pr300", kCardPort), CARD_ERR_NO_READER);
    EXPECT_EQ(CardOpenSession("PR300", "\\\\.\\COM9"), LINK_ERR_OPEN);
    std::uint8_t name[16];
    int length = sizeof name;
    EXPECT_EQ(CardReadUserName(name, &length), SESSION_ERR_NOT_OPEN);
    EXPECT_EQ(CardCloseSession(), LINK_ERR_NOT_OPEN)
        << "closing runs the close sequence on no port";
    Open();
    EXPECT_EQ(CardOpenSession("PR300", kCardPort), SESSION_ERR_ALREADY_OPEN);
}

}  // namespace
