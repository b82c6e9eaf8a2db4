// Shared set-up of the card layer tests: the simulated reader on the fake serial port
// (tests/native/sim_fixture.h) with a simulated card in its field, and helpers to open the session
// and look at what the card received.
#ifndef ZUK_TESTS_CARD_FIXTURE_H
#define ZUK_TESTS_CARD_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "tests/native/sim_fixture.h"

inline const char *const kCardPort = kSimPort;
inline const std::uint8_t kSystemCode[2] = {0x88, 0xB4};

class CardTest : public SimReaderTest {
protected:
    void SetUp() override {
        SimReaderTest::SetUp();
        description.account = "alice";
        description.password = "secret";
        description.userName = "Alice Example";
        PlaceCard();
    }

    void Open() { ASSERT_EQ(CardOpenSession("PR300", kCardPort), SESSION_OK); }
    // Opens the session and senses the card; the card's received commands start empty.
    void OpenAndSense() {
        Open();
        int present = -1;
        ASSERT_EQ(CardSense(&present, kSystemCode, 1), SESSION_OK);
        ASSERT_EQ(present, 1);
        card.commands.clear();
    }
    std::string Idm() const { return SimHex(card.idm, 8); }
};

#endif
