// The set-up the reader link, card layer and export tests share: nothing left open by an earlier
// test, a clean fake platform (its serial port included), the card state as at load, and the fake
// serial port kSimPort wired to an in-process simulated reader that holds the build's key sets
// (provisioned with the operational set, as a deployed reader is).  A simulated card made from
// `description` is put in the reader's field with PlaceCard.
#ifndef ZUK_TESTS_NATIVE_SIM_FIXTURE_H
#define ZUK_TESTS_NATIVE_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include "api/api_state.h"
#include "card/felica.h"
#include "card/last_status.h"
#include "card/sensing.h"
#include "card/session.h"
#include "link/transport.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "sim/sim_card.h"
#include "sim/sim_fake_port.h"
#include "sim/sim_reader.h"
#include "zuk_build_constants.h"

inline const char *const kSimPort = "\\\\.\\COM3";

// Reader faults several tests set: the next `count` frames get an empty answer of `answerClass`
// (0x80 asks for a resend); the next command with instruction `ins` answers status word 6F00.
inline void SimFaultAnswerClass(SimReader *reader, std::uint8_t answerClass, int count) {
    reader->faults.answerClass = answerClass;
    reader->faults.classCount = count;
}
inline void SimFaultStatusWord(SimReader *reader, std::uint8_t ins) {
    reader->faults.statusIns = ins;
    reader->faults.statusWord = 0x6F00;
    reader->faults.statusCount = 1;
}

class SimReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CloseAll();
        FakePlatformReset();
        LibraryStateReset();
        const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
        const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
        SimReaderInit(&sim, initial, operational, true);
        FakeSerialConnect(kSimPort, SimReaderFakeDevice(&sim));
    }
    void TearDown() override { CloseAll(); }

public:
    void PlaceCard() {
        SimCardInit(&card, description);
        SimCardPlace(&card, &sim);
    }
    void RemoveCard() { SimCardRemove(&sim); }

    SimReader sim;
    SimCard card;
    SimCardDescription description;

private:
    static void CloseAll() {
        (void)CardCloseSession();
        (void)SerialClose();
    }
};

#endif
