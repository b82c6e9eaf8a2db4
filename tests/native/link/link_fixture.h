// Shared set-up of the reader link tests: a fresh fake platform, the fake serial port wired to an
// in-process simulated reader holding the build's key sets, and no port open in the link.
#ifndef ZUK_TESTS_LINK_FIXTURE_H
#define ZUK_TESTS_LINK_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/session.h"
#include "link/channel.h"
#include "link/reader.h"
#include "link/transport.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "sim/sim_fake_port.h"
#include "sim/sim_reader.h"
#include "zuk_build_constants.h"

inline const char *kPortPath = "\\\\.\\COM3";

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)SerialClose();
        FakePlatformReset();
        FakeSerialReset();
        const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
        const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
        SimReaderInit(&sim, initial, operational, true);
        FakeSerialConnect(kPortPath, SimReaderFakeDevice(&sim));
    }
    void TearDown() override { (void)SerialClose(); }

    // Opens the link and forgets the opening's frames.
    void OpenLink() {
        ASSERT_EQ(ReaderOpenLink(kPortPath), LINK_OK);
        sim.log.clear();
    }
    std::vector<std::string> Sent() const { return SimLogFrames(sim, true); }
    std::vector<std::string> Answered() const { return SimLogFrames(sim, false); }

    SimReader sim;
};

#endif
