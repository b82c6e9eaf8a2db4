// ZUKGetUserAccount over the simulated reader and card, with the prompts answered by a script:
// request checks, silent reuse, pick-up, the card with and without PIN, the IDm as account, the
// typed prompt, and the export loop's prompts.
#include <cstring>
#include <fstream>
#include <sstream>

#include "api/account.h"
#include "api_fixture.h"
#include "settings/credentials.h"
#include "tests/result_expect.h"

namespace {

FakeDialogStep Pin(const char *pin) { return {FAKE_DIALOG_PIN, 2, "", "", pin, nullptr, nullptr}; }
FakeDialogStep Answer(FakeDialogKind kind, int result) {
    return {kind, result, "", "", "", nullptr, nullptr};
}
FakeDialogStep Typed(FakeDialogKind kind, const char *id, const char *password) {
    return {kind, 2, id, password, "", nullptr, nullptr};
}

class AccountTest : public ApiTest {
protected:
    // A request for the host's buffers; sizes as given.
    AccountRequest Request(int accountSize = 128, int passwordSize = 256) {
        std::memset(account, 0x55, sizeof account);
        std::memset(password, 0x55, sizeof password);
        return AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, accountSize, password, passwordSize, 0, 0};
    }
    std::string Account(const AccountRequest &r) const {
        return std::string(account, static_cast<std::size_t>(r.AccountLength));
    }
    std::string Password(const AccountRequest &r) const {
        return std::string(password, static_cast<std::size_t>(r.PasswordLength));
    }
    // Runs the export with a reader opened first (Device 1) or not.
    int Get(AccountRequest *r, int mode, int handle = 1) {
        return ZUKGetUserAccount(handle, r, mode, nullptr);
    }
    void StoreRemembered(const std::string &id, const std::string &pw) {
        char text[kStoredTextSize];
        const std::int32_t n = ScramblePassword(reinterpret_cast<const std::uint8_t *>(pw.data()),
                                                static_cast<std::int32_t>(pw.size()), text);
        ASSERT_EQ(
            WriteCredentials(id.data(), static_cast<std::int32_t>(id.size()), text, n, Remembered),
            0);
    }
    std::vector<FakeDialogKind> Shown() const {
        std::vector<FakeDialogKind> kinds;
        for (const FakeDialogShown &d : FakeDialogsShown()) kinds.push_back(d.kind);
        return kinds;
    }
    std::vector<std::uint32_t> Boxes() const {
        std::vector<std::uint32_t> styles;
        for (const FakeMessageBox &b : FakeMessageBoxesShown()) styles.push_back(b.style & 0xFF);
        return styles;
    }

    char account[300];
    char password[300];

public:
    bool swapOnNotice = false;  // LockedCardNoticeThenTheLockOrTheNextCard's hook
    int noticesShown = 0;
};

TEST_F(AccountTest, RequestChecksAfterTheRetryPrompt) {
    Open();
    FakeWindowAdd(reinterpret_cast<void *>(0x1234));
    struct Case {
        const char *name;
        int handle;
        int mode;
        void *window;
        std::uint32_t version;
        int accountSize;
        bool nullPassword;
        int expected;
    };
    const Case cases[] = {
        {"mode 0x2000", 1, 0x2000, nullptr, 0x10000, 128, false, ZUK_ERR_PARAM},
        {"version 0x20000", 1, 0, nullptr, 0x20000, 128, false, ZUK_ERR_VERSION},
        {"window that does not exist", 1, 0, reinterpret_cast<void *>(0x999), 0x10000, 128, false,
         ZUK_ERR_PARAM},
        {"account size 0", 1, 0, nullptr, 0x10000, 0, false, ZUK_ERR_PARAM},
        {"null password buffer", 1, 0, nullptr, 0x10000, 128, true, ZUK_ERR_PARAM},
        {"handle 0 with a reader", 0, 0, nullptr, 0x10000, 128, false, ZUK_ERR_HANDLE},
        {"handle 0 and a bad version", 0, 0, nullptr, 0x20000, 128, false, ZUK_ERR_VERSION},
    };
    for (const Case &c : cases) {
        AccountRequest r = Request(c.accountSize);
        r.Version = c.version;
        if (c.nullPassword) r.PasswordBuffer = nullptr;
        FakeMessageBoxScript({PLAT_IDRETRY, PLAT_IDCANCEL});
        const std::size_t before = FakeMessageBoxesShown().size();
        EXPECT_RESULT(ZUKGetUserAccount(c.handle, &r, c.mode, c.window), c.expected) << c.name;
        EXPECT_EQ(FakeMessageBoxesShown().size() - before, 2u) << c.name;
        EXPECT_EQ(FakeMessageBoxesShown().back().caption, GetMessageText(0x90001)) << c.name;
    }
    FakeMessageBoxScript({PLAT_IDCANCEL});
    EXPECT_RESULT(ZUKGetUserAccount(1, nullptr, 0, nullptr), ZUK_ERR_PARAM);
    EXPECT_TRUE(FakeDialogsShown().empty());
    EXPECT_EQ(FakeDialogUnexpected(), 0);
}

TEST_F(AccountTest, CardWithPinGivesAccountAndPasswordAndRemembersThem) {
    Configure(256, 1, 0x233);  // user ID and password, both remembered durably
    Open();
    FakeDialogScript({Pin("1234")});
    AccountRequest r = Request();
    ASSERT_RESULT(Get(&r, 0), ZUK_OK);
    EXPECT_EQ(Account(r), "alice");
    EXPECT_EQ(Password(r), "s3cret-pass");
    EXPECT_EQ(account[5], 0x55) << "texts from the card carry no terminator";
    EXPECT_EQ(FakeAccessingOpened(), FakeAccessingClosed());
    EXPECT_FALSE(FakeAccessingOpen());
    std::uint32_t type = 0;
    std::string stored;
    ASSERT_TRUE(
        FakeRegGetValue(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "Password", &type, &stored));
    EXPECT_EQ(stored.find("s3cret"), std::string::npos) << "never stored in clear";
    EXPECT_EQ(TraceLines().back(), "ZUKGetUserAccount,NormalEnd");
    // The next call reuses the remembered pair silently: no card read, no prompt.
    RemoveCard();
    r = Request();
    ASSERT_RESULT(Get(&r, 1), ZUK_OK);
    EXPECT_EQ(Account(r), "alice");
    EXPECT_EQ(Password(r), "s3cret-pass");
    EXPECT_EQ(FakeDialogsShown().size(), 1u);
}

TEST_F(AccountTest, PinLoopOutcomes) {
    struct Case {
        const char *name;
        int verifyRetry;
        int limit, count;
        std::vector<FakeDialogStep> dialogs;
        int expected;
        int countAfter;
        int box = PLAT_IDCANCEL;  // the answer to a message box
    };
    const Case cases[] = {
        {"cancel on the first prompt", 0, 3, 0, {Answer(FAKE_DIALOG_PIN, -1)}, ZUK_CANCELLED, 0},
        {"VerifyRetry 2: two wrong PINs end it",
         2,
         9,
         0,
         {Pin("0000"), Answer(FAKE_DIALOG_PIN_ERROR, 2), Pin("1111"),
          Answer(FAKE_DIALOG_PIN_ERROR, 2)},
         ZUK_ERR_PIN_WRONG,
         2},
        {"VerifyRetry 0: cancel after a wrong PIN",
         0,
         9,
         0,
         {Pin("0000"), Answer(FAKE_DIALOG_PIN_ERROR, 2), Answer(FAKE_DIALOG_PIN, -1)},
         ZUK_ERR_PIN_WRONG,
         1},
        {"wrong then right",
         0,
         9,
         4,
         {Pin("0000"), Answer(FAKE_DIALOG_PIN_ERROR, 2), Pin("1234")},
         ZUK_OK,
         0},
        {"the PIN prompt cannot be shown",
         0,
         3,
         0,
         {Answer(FAKE_DIALOG_PIN, 0)},
         ZUK_ERR_INCOMPLETE,
         0},
        // The failure that locks the card, then the locked notice, then the card is taken away
        // and the card prompt cancelled: the wrong PIN is what the host hears.
        {"locked now, then cancelled",
         0,
         3,
         2,
         {Pin("0000"), Answer(FAKE_DIALOG_PIN_ERROR, 2), Answer(FAKE_DIALOG_CARD_WAIT, -1)},
         ZUK_ERR_PIN_WRONG,
         3,
         PLAT_IDOK},
    };
    for (const Case &c : cases) {
        description.retryLimit = c.limit;
        description.failureCount = c.count;
        PlaceCard();
        Configure(256, 1, 0x231, "[Card]\nVerifyRetry=" + std::to_string(c.verifyRetry) + "\n");
        if (!CardSessionIsOpen()) Open();
        FakeDialogReset();
        FakeDialogScript(c.dialogs);
        // The locked notice is answered with OK and the card is gone by the next attempt.
        FakeMessageBoxSetHook([](const FakeMessageBox &,
                                 void *self) { static_cast<AccountTest *>(self)->RemoveCard(); },
                              this);
        FakeMessageBoxScript({c.box});
        AccountRequest r = Request();
        EXPECT_RESULT(Get(&r, 0), c.expected) << c.name;
        EXPECT_EQ(FakeDialogUnexpected(), 0) << c.name;
        EXPECT_EQ(FakeDialogsShown().size(), c.dialogs.size()) << c.name;
        EXPECT_EQ(card.blocks[1][0][1], c.countAfter) << c.name;
        if (c.expected == ZUK_CANCELLED) {
            EXPECT_EQ(r.AccountLength, 0);
            EXPECT_EQ(r.PasswordLength, 0);
            EXPECT_EQ(account[0], '\0');
        }
        FakeMessageBoxSetHook(nullptr, nullptr);
    }
}

TEST_F(AccountTest, LockedCardShowsTheNoticeAndTriesAgain) {
    description.failureCount = 3;
    PlaceCard();
    Open();
    FakeMessageBoxSetHook(
        [](const FakeMessageBox &, void *self) { static_cast<AccountTest *>(self)->RemoveCard(); },
        this);
    FakeMessageBoxScript({PLAT_IDOK});
    FakeDialogScript({Answer(FAKE_DIALOG_CARD_WAIT, -1)});
    AccountRequest r = Request();
    EXPECT_RESULT(Get(&r, 0), ZUK_CANCELLED);
    ASSERT_EQ(FakeMessageBoxesShown().size(), 1u);
    EXPECT_EQ(FakeMessageBoxesShown()[0].caption, GetMessageText(0xA0001));
    EXPECT_EQ(FakeMessageBoxesShown()[0].style & 0xFF, 0x30u);
    EXPECT_EQ(card.writes, 0);
    FakeMessageBoxSetHook(nullptr, nullptr);
}

// Attended, the locked-card notice is shown once; what lies on the reader after its OK decides:
// the same card still there ends the call with the lock (nothing else could end it), another card
// laid meanwhile is read from the start.
TEST_F(AccountTest, LockedCardNoticeThenTheLockOrTheNextCard) {
    struct Case {
        const char *name;
        bool swap;  // another, unlocked card laid while the notice is up
        std::vector<FakeDialogStep> dialogs;
        int expected;
    };
    const Case cases[] = {
        {"the locked card left on the reader", false, {}, ZUK_ERR_CARD_LOCKED},
        {"another card laid meanwhile", true, {Pin("1234")}, ZUK_OK},
    };
    for (const Case &c : cases) {
        description.failureCount = 3;
        description.idm[7] = 0x07;
        PlaceCard();
        Configure(256, 1, 0x231);
        Open();
        FakeDialogReset();
        FakeDialogScript(c.dialogs);
        swapOnNotice = c.swap;
        noticesShown = 0;
        FakeMessageBoxSetHook(
            [](const FakeMessageBox &, void *self) {
                AccountTest *test = static_cast<AccountTest *>(self);
                if (test->swapOnNotice) {
                    test->description.failureCount = 0;
                    test->description.idm[7] = 0x08;
                    test->PlaceCard();
                }
                // A notice that keeps coming back is a fault; the card taken away ends the call.
                if (++test->noticesShown == 3) test->RemoveCard();
            },
            this);
        FakeMessageBoxScript({PLAT_IDOK});
        const std::size_t boxes = FakeMessageBoxesShown().size();
        AccountRequest r = Request();
        EXPECT_RESULT(Get(&r, 0), c.expected) << c.name;
        ASSERT_EQ(FakeMessageBoxesShown().size() - boxes, 1u) << c.name;
        EXPECT_EQ(FakeMessageBoxesShown().back().caption, GetMessageText(0xA0001)) << c.name;
        EXPECT_EQ(FakeMessageBoxUnexpected(), 0) << c.name;
        EXPECT_EQ(FakeDialogsShown().size(), c.dialogs.size()) << c.name;
        EXPECT_EQ(FakeDialogUnexpected(), 0) << c.name;
        if (c.expected == ZUK_OK) {
            EXPECT_EQ(Account(r), "alice") << c.name;
        }
        FakeMessageBoxSetHook(nullptr, nullptr);
        ASSERT_RESULT(ZUKClose(1), ZUK_OK);
    }
}

// The INI the installers ship and the sample card: one identification in which every PIN typed is
// wrong ends with the wrong PIN and leaves the card an attempt, attended or unattended; it never
// runs the card into its lock.
TEST_F(AccountTest, ShippedVerifyRetryLeavesAFreshCardUnlocked) {
    std::ifstream iniFile(std::string(ZUK_SOURCE_DIR) + "/dist/ZUKcntrl.ini");
    std::ifstream cardFile(std::string(ZUK_SOURCE_DIR) + "/sim/cards/alice.card");
    ASSERT_TRUE(iniFile && cardFile);
    std::stringstream ini, cardText;
    ini << iniFile.rdbuf();
    cardText << cardFile.rdbuf();
    // The shipped [Card] section, after the fixture's reader settings.
    const std::string shipped = ini.str();
    const std::size_t begin = shipped.find("[Card]");
    ASSERT_NE(begin, std::string::npos);
    const std::string cardSection = shipped.substr(begin, shipped.find("\n[", begin) - begin);
    std::string error;
    ASSERT_TRUE(SimCardParseDescription(cardText.str(), &description, &error)) << error;
    ASSERT_GT(description.retryLimit, 0);
    ASSERT_EQ(description.failureCount, 0);
    for (const char *unattended : {"0", "1"}) {
        PlaceCard();
        Configure(256, 1, 0x3, cardSection + "\n[Prompt]\nUnattended=" + unattended + "\n");
        Open();
        std::vector<FakeDialogStep> wrongPins;
        for (int i = 0; i < description.retryLimit + 1; ++i) {
            wrongPins.push_back(Pin("9999"));
            if (*unattended == '0') wrongPins.push_back(Answer(FAKE_DIALOG_PIN_ERROR, 2));
        }
        FakeDialogReset();
        FakeDialogScript(wrongPins);
        FakeMessageBoxScript({PLAT_IDOK});
        AccountRequest r = Request();
        EXPECT_RESULT(Get(&r, 0), ZUK_ERR_PIN_WRONG) << "Unattended=" << unattended;
        EXPECT_LT(card.blocks[1][0][1], description.retryLimit) << "Unattended=" << unattended;
        ASSERT_RESULT(ZUKClose(1), ZUK_OK);
    }
}

// Unattended, nobody takes the locked card away: the call ends with the lock instead of polling
// the card for ever, and shows nothing.
TEST_F(AccountTest, UnattendedLockedCardReturnsTheLock) {
    Configure(256, 1, 0x231, "[Prompt]\nUnattended=1\n");
    description.failureCount = 3;
    PlaceCard();
    Open();
    AccountRequest r = Request();
    EXPECT_RESULT(Get(&r, 0), ZUK_ERR_CARD_LOCKED);
    EXPECT_TRUE(FakeMessageBoxesShown().empty());
    EXPECT_EQ(FakeMessageBoxUnexpected(), 0);
    EXPECT_EQ(card.writes, 0);
}

// Unattended, the notices that only tell (wrong PIN, no card) are answered at once and never
// shown: the PIN prompt, which asks for something, is the only window of a wrong PIN.
TEST_F(AccountTest, UnattendedNoticesAreNotShown) {
    Configure(256, 1, 0x231, "[Prompt]\nUnattended=1\n[Card]\nVerifyRetry=2\n");
    Open();
    FakeDialogScript({Pin("0000"), Pin("1111")});
    AccountRequest r = Request();
    EXPECT_RESULT(Get(&r, 0), ZUK_ERR_PIN_WRONG);
    EXPECT_EQ(FakeDialogUnexpected(), 0);
    for (const FakeDialogShown &shown : FakeDialogsShown()) {
        EXPECT_EQ(shown.kind, FAKE_DIALOG_PIN);
    }
    EXPECT_TRUE(FakeMessageBoxesShown().empty());
}

TEST_F(AccountTest, EmptyAccountOnTheCardAsksAgainWithTheHostsSizes) {
    description.account = "";
    description.pin = "";
    PlaceCard();
    Open();
    FakeMessageBoxScript({PLAT_IDCANCEL});
    AccountRequest r = Request(100, 200);
    EXPECT_RESULT(Get(&r, 0), ZUK_ERR_NO_DATA);
    ASSERT_EQ(FakeMessageBoxesShown().size(), 1u);
    EXPECT_EQ(FakeMessageBoxesShown()[0].caption, GetMessageText(0x70001));
    EXPECT_EQ(FakeMessageBoxesShown()[0].style & 0xFF, 0x35u);
    // The empty read left the lengths at 0: only a restored request lets Retry read the account
    // of the card laid on the reader meanwhile.
    description.account = "bob";
    FakeMessageBoxSetHook(
        [](const FakeMessageBox &, void *self) { static_cast<AccountTest *>(self)->PlaceCard(); },
        this);
    FakeMessageBoxScript({PLAT_IDRETRY});
    r = Request(100, 200);
    EXPECT_RESULT(Get(&r, 0), ZUK_OK);
    EXPECT_EQ(Account(r), "bob");
    EXPECT_EQ(FakeMessageBoxesShown().size(), 2u);
    FakeMessageBoxSetHook(nullptr, nullptr);
}

TEST_F(AccountTest, IdmIsTheAccount) {
    const std::uint8_t idm[8] = {0x01, 0x2E, 0x4C, 0x9A, 0x00, 0x11, 0x22, 0xFF};
    std::memcpy(description.idm, idm, 8);
    PlaceCard();
    Configure(256, 1, 0x231, "", "IDM");
    Open();
    AccountRequest r = Request(17);
    ASSERT_RESULT(Get(&r, 0), ZUK_OK);
    EXPECT_EQ(Account(r), "012e4c9a001122ff");
    EXPECT_EQ(account[16], '\0') << "terminated when the buffer has room";
    EXPECT_EQ(r.PasswordLength, 0);
    EXPECT_EQ(password[0], 0x55) << "password buffer untouched";
    EXPECT_TRUE(FakeDialogsShown().empty()) << "no PIN is asked";
    FakeMessageBoxScript({PLAT_IDCANCEL});
    r = Request(15);
    EXPECT_RESULT(Get(&r, 0), ZUK_ERR_BUFFER);
}

TEST_F(AccountTest, TypedCredentials) {
    struct Case {
        const char *name;
        std::uint32_t device;
        int handle;
        std::vector<FakeDialogStep> dialogs;
        int accountSize;
        int expected;
        std::string id;
        bool terminated;
    };
    RemoveCard();
    const Case cases[] = {
        {"no reader: handle 0 and the typed prompt",
         0,
         0,
         {Typed(FAKE_DIALOG_ID_PASSWORD, "carol", "pw")},
         128,
         ZUK_OK,
         "carol",
         true},
        {"an ID of exactly the buffer size",
         0,
         0,
         {Typed(FAKE_DIALOG_ID_PASSWORD, "12345678", "pw")},
         8,
         ZUK_OK,
         "12345678",
         false},
        {"one byte more",
         0,
         0,
         {Typed(FAKE_DIALOG_ID_PASSWORD, "123456789", "pw")},
         8,
         ZUK_ERR_BUFFER,
         "",
         false},
        {"mode 768 without a card: card or typed",
         1,
         1,
         {Typed(FAKE_DIALOG_CARD_OR_ID, "dave", "")},
         128,
         ZUK_OK,
         "dave",
         true},
        {"card-or-ID prompt cannot be shown",
         1,
         1,
         {Answer(FAKE_DIALOG_CARD_OR_ID, 0)},
         128,
         ZUK_ERR_INCOMPLETE,
         "",
         false},
        {"an unexpected prompt result",
         1,
         1,
         {Answer(FAKE_DIALOG_CARD_OR_ID, 7)},
         128,
         ZUK_ERR_UNEXPECTED,
         "",
         false},
    };
    for (const Case &c : cases) {
        Configure(768, c.device, 0x203);
        if (c.device == 1 && !CardSessionIsOpen()) Open();
        FakeDialogReset();
        FakeDialogScript(c.dialogs);
        FakeMessageBoxScript({PLAT_IDCANCEL});
        AccountRequest r = Request(c.accountSize);
        EXPECT_RESULT(Get(&r, 0, c.handle), c.expected) << c.name;
        EXPECT_EQ(FakeDialogUnexpected(), 0) << c.name;
        if (c.expected != ZUK_OK) continue;
        EXPECT_EQ(Account(r), c.id) << c.name;
        EXPECT_EQ(account[r.AccountLength] == '\0', c.terminated) << c.name;
    }
}

TEST_F(AccountTest, SilentReuseAndPickUp) {
    // User ID only, remembered: returned at once, whatever the mode, writing nothing.
    Configure(256, 1, 0x011);
    Open();
    StoreRemembered("erin", "");
    for (int mode : {0, 0x10000, 0x1010000}) {
        AccountRequest r = Request();
        ASSERT_RESULT(Get(&r, mode), ZUK_OK) << mode;
        EXPECT_EQ(Account(r), "erin");
        EXPECT_EQ(r.PasswordLength, 0);
    }
    EXPECT_TRUE(FakeDialogsShown().empty());
    EXPECT_EQ(card.commands.size(), 0u) << "the card is not read";

    // Nothing remembered: a hand-over call leaves the pair for exactly one pick-up.
    Configure(256, 1, 0x003);
    FakeDialogScript({Pin("1234")});
    AccountRequest r = Request();
    ASSERT_RESULT(Get(&r, 0x1010000), ZUK_OK);
    r = Request();
    ASSERT_RESULT(Get(&r, 0x10000), ZUK_OK);
    EXPECT_EQ(Account(r), "alice");
    EXPECT_EQ(Password(r), "s3cret-pass");
    FakeMessageBoxScript({PLAT_IDCANCEL});
    r = Request();
    EXPECT_RESULT(Get(&r, 0x10000), ZUK_ERR_ACCOUNT_STORE);
}

TEST_F(AccountTest, PickUpNeedsTheRememberedUser) {
    // User ID and password asked for, only the user ID remembered: the entered pair counts only
    // for the remembered user, and it is gone afterwards either way.
    Configure(256, 1, 0x213);
    Open();
    struct Case {
        const char *remembered;
        int expected;
    };
    for (const Case &c : {Case{"alice", ZUK_OK}, Case{"mallory", ZUK_ERR_ACCOUNT_STORE}}) {
        FakeDialogReset();
        FakeDialogScript({Pin("1234")});
        AccountRequest r = Request();
        ASSERT_RESULT(Get(&r, 0x1010000), ZUK_OK);
        StoreRemembered(c.remembered, "");
        FakeMessageBoxScript({PLAT_IDCANCEL});
        r = Request();
        EXPECT_RESULT(Get(&r, 0x10000), c.expected) << c.remembered;
        if (c.expected == ZUK_OK) {
            EXPECT_EQ(Account(r), "alice");
            EXPECT_EQ(Password(r), "s3cret-pass");
        } else {
            EXPECT_EQ(r.AccountLength, 128) << "another user's pair never reaches the host";
            EXPECT_NE(std::string(account, 5), "alice");
        }
        std::uint32_t type;
        std::string bytes;
        EXPECT_FALSE(FakeRegGetValue(PLAT_HKEY_CURRENT_USER, ZUK_VOLATILE_KEY, "InputUserID", &type,
                                     &bytes));
    }
}

TEST_F(AccountTest, ReaderFailureOffersRetry) {
    Open();
    RemoveCard();
    FakeDialogScript({Answer(FAKE_DIALOG_CARD_WAIT, 1)});  // "a card answered", then it is gone
    FakeMessageBoxScript({PLAT_IDCANCEL});
    AccountRequest r = Request();
    EXPECT_RESULT(Get(&r, 0), ZUK_ERR_NO_CARD);
    EXPECT_EQ(Boxes(), std::vector<std::uint32_t>{0x35});
    EXPECT_EQ(FakeAccessingOpened(), FakeAccessingClosed());
}

}  // namespace
