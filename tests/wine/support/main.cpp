// Entry point of the Wine test program.  With a child-role argument it plays the second process
// of a two-process test instead of running the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "api/frame.h"
#include "tests/wine/support/wine_support.h"

namespace {

// Takes the reader's mutex, says so through the named event, holds it for holdMs and then
// either releases it or ends without releasing it (abandon).
int MutexChild(const char *event, int holdMs, bool abandon) {
    bool took = AcquirePortMutex();
    HANDLE signal = OpenEventA(EVENT_MODIFY_STATE, FALSE, event);
    if (signal) SetEvent(signal);
    Sleep(static_cast<DWORD>(holdMs));
    if (abandon) ExitProcess(took ? 3 : 4);
    ReleasePortMutex();
    return took ? 0 : 4;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--mutex-child") == 0) {
        return MutexChild(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "abandon") == 0);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
