// The reader and card exports end to end over the simulated reader: settings checks, handles,
// results, trace lines and the reader's mutex.
#include <cstring>

#include "api_fixture.h"
#include "tests/result_expect.h"

namespace {

using CardExports = ApiTest;

TEST_F(CardExports, OpenAndCloseFollowModeAndDevice) {
    struct Case {
        std::uint32_t mode, device;
        int openResult, handle, closeResult;
        std::vector<std::string> trace;
    };
    const Case cases[] = {
        {256, 1, 0, 1, 0, {"ZUKOpen,NormalEnd", "ZUKClose,NormalEnd"}},
        {0, 1, 4, 0, 4, {"ZUKOpen,ZUK,0x00000004", "ZUKClose,ZUK,0x00000004"}},
        // Without a reader both succeed silently, whatever handle the host gives back.
        {768, 0, 0, 0, 0, {}},
    };
    for (const Case &c : cases) {
        Configure(c.mode, c.device, 0x231);
        ClearTrace();
        FakeMessageBoxScript({PLAT_IDCANCEL});
        int handle = -1;
        EXPECT_EQ(ZUKOpen(&handle), c.openResult) << c.mode << "/" << c.device;
        EXPECT_EQ(handle, c.handle);
        EXPECT_EQ(FakeMutexOwned(ZUK_PORT_MUTEX_NAME), c.openResult == 0);
        FakeMessageBoxScript({PLAT_IDCANCEL});
        EXPECT_EQ(ZUKClose(c.device == 0 ? 1234 : 1), c.closeResult);
        EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
        EXPECT_EQ(TraceLines(), c.trace) << c.mode << "/" << c.device;
    }
}

TEST_F(CardExports, FailedOpenReportsTheReaderAndGivesTheMutexBack) {
    portName = "\\\\.\\COM9";
    Configure(256, 1, 0x231);
    ClearTrace();
    FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDCANCEL});
    int handle = -1;
    EXPECT_RESULT(ZUKOpen(&handle), ZUK_ERR_PORT_OPEN);
    EXPECT_EQ(handle, 0);
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
    ASSERT_EQ(FakeMessageBoxesShown().size(), 2u) << "one retry, then cancel";
    EXPECT_EQ(TraceLines().size(), 2u);
    EXPECT_EQ(TraceLines()[0].rfind("ZUKOpen,LOW,0x00000500,0x", 0), 0u) << TraceLines()[0];
}

TEST_F(CardExports, ReadsTheCardTexts) {
    OpenAndSense();
    struct Case {
        int (*read)(int, char *, int *);
        const char *text;
    };
    const Case cases[] = {{ZUKGetUserName, "Alice Example"},
                          {ZUKGetUserOption, "opt-user"},
                          {ZUKGetAdminOption, "opt-admin"}};
    for (const Case &c : cases) {
        char buffer[64];
        int length = sizeof buffer;
        ASSERT_EQ(c.read(1, buffer, &length), 0) << c.text;
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)), c.text);
    }
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);
}

TEST_F(CardExports, BadArgumentsGiveTheirCodesAfterTheRetryPrompt) {
    Open();
    char buffer[16];
    int zero = 0;
    int negative = -5;
    int present = 0;
    struct Case {
        const char *name;
        int result;
        int expected;
    };
    FakeMessageBoxScript(std::vector<int>(16, PLAT_IDCANCEL));
    const Case cases[] = {
        {"name, length 0, handle 1", ZUKGetUserName(1, buffer, &zero), ZUK_ERR_PARAM},
        {"name, length 0, handle 0", ZUKGetUserName(0, buffer, &zero), ZUK_ERR_HANDLE},
        {"user option, negative length", ZUKGetUserOption(1, buffer, &negative), ZUK_ERR_PARAM},
        {"admin option, null buffer", ZUKGetAdminOption(1, nullptr, &zero), ZUK_ERR_PARAM},
        {"sense, null presence", ZUKSenseCard(1, nullptr), ZUK_ERR_PARAM},
        {"sense, handle 2", ZUKSenseCard(2, &present), ZUK_ERR_HANDLE},
        {"verify, null PIN", ZUKVerifyPIN(1, 4, nullptr), ZUK_ERR_PARAM},
        {"verify, negative length", ZUKVerifyPIN(1, -1, "1234"), ZUK_ERR_PARAM},
        {"verify, handle 0", ZUKVerifyPIN(0, 4, "1234"), ZUK_ERR_HANDLE},
        {"max length, null", ZUKGetMaxLength(nullptr, &zero), ZUK_ERR_PARAM},
        {"open, null handle", ZUKOpen(nullptr), ZUK_ERR_PARAM},
        {"open twice", ZUKOpen(&present), ZUK_ERR_ALREADY_OPEN},
        {"close, handle 7", ZUKClose(7), ZUK_ERR_HANDLE},
    };
    for (const Case &c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
    EXPECT_EQ(FakeMessageBoxesShown().size(), 13u);
    for (const FakeMessageBox &box : FakeMessageBoxesShown()) EXPECT_EQ(box.parent, nullptr);
    // A second open must not take the reader away from the first; a failed close releases it.
    EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
}

TEST_F(CardExports, SenseTracesOnlyChanges) {
    RemoveCard();
    Open();
    ClearTrace();
    int present = -1;
    const struct {
        bool card;
        int present;
        std::size_t lines;
    } steps[] = {{false, 0, 0}, {false, 0, 0}, {true, 1, 1}, {true, 1, 1}, {false, 0, 2}};
    for (const auto &s : steps) {
        if (s.card) PlaceCard();
        else RemoveCard();
        EXPECT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
        EXPECT_EQ(present, s.present);
        EXPECT_EQ(TraceLines().size(), s.lines);
    }
    FakeMessageBoxScript({PLAT_IDCANCEL, PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKSenseCard(0, &present), ZUK_ERR_HANDLE);
    EXPECT_RESULT(ZUKSenseCard(0, &present), ZUK_ERR_HANDLE);
    EXPECT_EQ(TraceLines(),
              (std::vector<std::string>{"ZUKSenseCard,NormalEnd", "ZUKSenseCard,NormalEnd",
                                        "ZUKSenseCard,ZUK,0x00000800"}));
}

TEST_F(CardExports, VerifyPinCountsOnTheCard) {
    OpenAndSense();
    FakeMessageBoxScript({PLAT_IDCANCEL, PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKVerifyPIN(1, 0, ""), ZUK_ERR_PIN_WRONG) << "an empty PIN reaches the card";
    EXPECT_EQ(card.blocks[1][0][1], 1);
    EXPECT_RESULT(ZUKVerifyPIN(1, 4, "9999"), ZUK_ERR_PIN_WRONG);
    EXPECT_RESULT(ZUKVerifyPIN(1, 4, "1234"), ZUK_OK);
    EXPECT_EQ(card.blocks[1][0][1], 0);
    const std::vector<std::string> lines = TraceLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3].rfind("ZUKVerifyPIN,LOW,0x00000003,0x10000003", 0), 0u);
    EXPECT_EQ(lines.back(), "ZUKVerifyPIN,NormalEnd");
}

TEST_F(CardExports, MaxLengthSetsTheDialogLimits) {
    SetInputLimits(1, 2, 3);
    int id = 0, password = 0;
    EXPECT_RESULT(ZUKGetMaxLength(&id, &password), ZUK_OK);
    EXPECT_EQ(id, 128);
    EXPECT_EQ(password, 256);
    EXPECT_EQ(IdInputLimit(), 128);
    EXPECT_EQ(PasswordInputLimit(), 256);
    EXPECT_EQ(PinInputLimit(), 16);
}

TEST_F(CardExports, UnloadClosesTheReaderTheHostLeftOpen) {
    Open();
    ASSERT_EQ(sim.speed, 115200u);
    LibraryDetach();
    EXPECT_EQ(CardSessionIsOpen(), 0);
    EXPECT_EQ(sim.speed, 9600u) << "the reader was not taken back to 9600 bit/s";
}

}  // namespace

namespace {

// A close whose link sequence fails still closes the port, so the session must end with it: the
// failed close keeps its own code, a second close answers as one without a session, and the next
// open works.
TEST_F(CardExports, AFailedCloseSequenceStillEndsTheSession) {
    struct Case {
        const char *name;
        void (*fault)(SimReader *);
        int firstClose;
    };
    const Case cases[] = {
        {"speed reset refused",
         [](SimReader *r) {
             r->faults.statusIns = 0x07;
             r->faults.statusWord = 0x6F00;
             r->faults.statusCount = 1;
         },
         ZUK_ERR_LINK_CLOSE},
        {"line gone", [](SimReader *r) { r->faults.closed = true; }, ZUK_ERR_PORT_IO},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        c.fault(&sim);
        FakeMessageBoxScript({PLAT_IDCANCEL, PLAT_IDCANCEL});
        EXPECT_EQ(ZUKClose(1), c.firstClose);
        EXPECT_FALSE(FakeSerialIsOpen());
        EXPECT_EQ(CardSessionIsOpen(), 0);
        EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
        EXPECT_RESULT(ZUKClose(1), ZUK_ERR_NOT_OPEN);
        sim.faults = SimFaults();
        int handle = 0;
        ASSERT_RESULT(ZUKOpen(&handle), ZUK_OK);
        char name[32];
        int length = sizeof name;
        int present = 0;
        ASSERT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
        EXPECT_RESULT(ZUKGetUserName(1, name, &length), ZUK_OK);
        EXPECT_RESULT(ZUKClose(1), ZUK_OK);
    }
}

}  // namespace
