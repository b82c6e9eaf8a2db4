// A dialog destroyed from outside (its owner window destroyed, or the card access window closed
// by someone else) ends the whole process with exit code 0, after leaving the call frame and
// releasing the reader's mutex.  Each case runs in a child process (see main.cpp).
#include <gtest/gtest.h>

#include <string>

#include "tests/wine/dialogs/process_end.h"
#include "tests/wine/support/wine_support.h"

namespace {

// What the child returns when the process went on instead of ending.
const DWORD kChildWentOn = 7;

TEST(DialogProcessEnd, DestroyedFromOutsideEndsTheProcess) {
    WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairTyped);
    const char *cases[] = {"card_wait", "card_or_id", "id_password", "pin",
                           "no_card",   "pin_error",  "accessing"};
    for (const char *dialog : cases) {
        SCOPED_TRACE(dialog);
        HANDLE clean = CreateEventA(nullptr, TRUE, FALSE, kChildCleanEvent);
        ASSERT_NE(clean, nullptr);
        HANDLE child = StartChild(std::string("--end-from-outside ") + dialog);
        ASSERT_NE(child, nullptr);
        const bool ended = WaitForSingleObject(child, 30000) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(child, 99);
        DWORD code = 99;
        GetExitCodeProcess(child, &code);
        CloseHandle(child);
        ASSERT_TRUE(ended);
        EXPECT_EQ(code, 0u) << (code == kChildWentOn ? "the dialog returned and the process went on"
                                                     : "");
        EXPECT_EQ(WaitForSingleObject(clean, 0), WAIT_OBJECT_0)
            << "the child left the call frame and released the reader's mutex before it ended";
        CloseHandle(clean);
    }
}

}  // namespace
