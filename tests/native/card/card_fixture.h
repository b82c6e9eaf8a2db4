// Shared set-up of the card layer tests: a fresh fake platform, the fake serial port wired to an
// in-process simulated reader (operational keys) with a simulated card in its field, the card
// state as at load, and helpers to open the session and look at what the card received.
#ifndef ZUK_TESTS_CARD_FIXTURE_H
#define ZUK_TESTS_CARD_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/felica.h"
#include "card/sensing.h"
#include "card/session.h"
#include "link/transport.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "sim/sim_card.h"
#include "sim/sim_fake_port.h"
#include "sim/sim_reader.h"
#include "zuk_build_constants.h"

inline const char *kCardPort = "\\\\.\\COM3";
inline const std::uint8_t kSystemCode[2] = {0x88, 0xB4};

class CardTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)CardCloseSession();
        (void)SerialClose();
        FakePlatformReset();
        FakeSerialReset();
        CardStateReset();
        SetLastCardStatus(0);
        const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
        const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
        SimReaderInit(&sim, initial, operational, true);
        FakeSerialConnect(kCardPort, SimReaderFakeDevice(&sim));
        description.account = "alice";
        description.password = "secret";
        description.userName = "Alice Example";
        SimCardInit(&card, description);
        SimCardPlace(&card, &sim);
    }
    void TearDown() override {
        (void)CardCloseSession();
        (void)SerialClose();
    }

    void Open() { ASSERT_EQ(CardOpenSession("PR300", kCardPort), 0); }
    // Opens the session and senses the card; the card's received commands start empty.
    void OpenAndSense() {
        Open();
        int present = -1;
        ASSERT_EQ(CardSense(&present, kSystemCode, 1), 0);
        ASSERT_EQ(present, 1);
        card.commands.clear();
    }
    std::string Idm() const { return SimHex(card.idm, 8); }

    SimReader sim;
    SimCard card;
    SimCardDescription description;
};

#endif
