// Shared set-up of the reader link tests: the simulated reader on the fake serial port
// (tests/native/sim_fixture.h), no port open in the link, and the frames each way.
#ifndef ZUK_TESTS_LINK_FIXTURE_H
#define ZUK_TESTS_LINK_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/session.h"
#include "link/channel.h"
#include "link/reader.h"
#include "link/transport.h"
#include "tests/native/sim_fixture.h"

inline const char *const kPortPath = kSimPort;

class LinkTest : public SimReaderTest {
protected:
    // Opens the link and forgets the opening's frames.
    void OpenLink() {
        ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
        sim.log.clear();
    }
    std::vector<std::string> Sent() const { return SimLogFrames(sim, true); }
    std::vector<std::string> Answered() const { return SimLogFrames(sim, false); }
};

#endif
