// How the dialogs behave: edit limits, OK with missing input, Esc and the close command, the
// credentials prompts' configuration (disabled password, masked user ID, remembered pair), the
// reader poll and its period, placement, an invalid parent, and the reset of the dialogs' record.
#include <gtest/gtest.h>

#include <cstring>

#include "ZUKcntrl.h"
#include "api/dialogs/dialog_common_win32.h"
#include "api/dialogs/dialogs.h"
#include "api/api_state.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "resources/dialog_ids.h"
#include "settings/config.h"
#include "settings/credentials.h"
#include "tests/wine/dialogs/dialog_fixture.h"
#include "tests/wine/support/wine_support.h"

namespace {

// Removes the remembered pair a test wrote, so no other test of the prefix meets it.
void ForgetRememberedPair() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, "UserID");
    RegDeleteValueA(key, "Password");
    RegCloseKey(key);
}

// Config: user ID and password typed, both remembered in the durable key.
const std::uint32_t kPairRemembered =
    kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile;

class DialogBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        AttachWithTemplates(kConfigPairTyped);
        ResetPromptState();
    }
    void TearDown() override {
        CloseAllWindows();
        ResetPromptState();
        ForgetRememberedPair();
    }
};

struct Prompt {
    const char *name;
    int (*show)(void *);
    UiKind kind;
};
const Prompt kCardOrId = {"card_or_id", CardOrIdDialog, UiKind::Credentials};
const Prompt kIdPassword = {"id_password", IdPasswordDialog, UiKind::Credentials};
const Prompt kPin = {"pin", PinDialog, UiKind::Pin};
const Prompt kCardWait = {"card_wait", CardWaitDialog, UiKind::CardWait};
const Prompt kNoCard = {"no_card", NoCardDialog, UiKind::NoCard};
const Prompt kPinError = {"pin_error", PinErrorDialog, UiKind::PinError};

bool Open(ShownDialog *shown, const Prompt &p, void *parent = nullptr) {
    std::string why;
    int (*show)(void *) = p.show;
    const bool ok = Show(
        shown, [show, parent] { return show(parent); }, p.kind, &why);
    if (!ok) ADD_FAILURE() << p.name << ": " << why;
    return ok;
}

TEST_F(DialogBehaviour, EditFieldsTakeTheInputLimits) {
    SetInputLimits(20, 30, 8);
    struct Case {
        Prompt prompt;
        int edit;
        int limit;
    };
    const Case cases[] = {{kCardOrId, ZUK_IDC_CRED_ID, 20},
                          {kCardOrId, ZUK_IDC_CRED_PASSWORD, 30},
                          {kIdPassword, ZUK_IDC_CRED_ID, 20},
                          {kIdPassword, ZUK_IDC_CRED_PASSWORD, 30},
                          {kPin, ZUK_IDC_PIN_EDIT, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.prompt.name) + " edit " + std::to_string(c.edit));
        ShownDialog shown;
        ASSERT_TRUE(Open(&shown, c.prompt));
        EXPECT_EQ(shown.window.Control(c.edit)->limit, c.limit);
        TypeChars(shown.window.hwnd, c.edit, std::string(static_cast<size_t>(c.limit) + 5, 'x'));
        EXPECT_EQ(EditText(shown.window.hwnd, c.edit).size(), static_cast<size_t>(c.limit));
        PressButton(shown.window.hwnd, IDCANCEL);
        ASSERT_TRUE(Ended(&shown));
        EXPECT_EQ(shown.call.result, kDialogCancel);
    }
}

TEST_F(DialogBehaviour, LimitsBeyondTheTypedTextBufferAreCappedSoNothingIsCut) {
    SetInputLimits(5000, 0, 16);
    ShownDialog shown;
    ASSERT_TRUE(Open(&shown, kIdPassword));
    EXPECT_EQ(shown.window.Control(ZUK_IDC_CRED_ID)->limit, 1023);
    EXPECT_EQ(shown.window.Control(ZUK_IDC_CRED_PASSWORD)->limit, 1023);
    const std::string id(1023, 'i');
    TypeChars(shown.window.hwnd, ZUK_IDC_CRED_ID, id + "overflow");
    PressButton(shown.window.hwnd, ZUK_IDC_CRED_OK);
    ASSERT_TRUE(Ended(&shown));
    EXPECT_EQ(shown.call.result, kDialogOk);
    EXPECT_EQ(std::string(EnteredId()), id);
}

TEST_F(DialogBehaviour, CredentialsOkNeedsAUserIdButNotAPassword) {
    for (const Prompt &p : {kCardOrId, kIdPassword}) {
        SCOPED_TRACE(p.name);
        std::strcpy(EnteredId(), "old id");
        std::strcpy(EnteredPassword(), "old password");
        ShownDialog shown;
        ASSERT_TRUE(Open(&shown, p));
        const HWND w = shown.window.hwnd;
        SetEditText(w, ZUK_IDC_CRED_PASSWORD, "secret");
        PressButton(w, ZUK_IDC_CRED_OK);
        EXPECT_FALSE(WaitGone(w, 400)) << "OK without a user ID leaves the prompt open";
        EXPECT_STREQ(EnteredId(), "");
        if (p.show == CardOrIdDialog) {
            const size_t polls = Polls().size();
            Sleep(1300);
            EXPECT_GT(Polls().size(), polls) << "the reader poll goes on";
        }
        SetEditText(w, ZUK_IDC_CRED_ID, "alice");
        SetEditText(w, ZUK_IDC_CRED_PASSWORD, "");
        PressButton(w, ZUK_IDC_CRED_OK);
        ASSERT_TRUE(Ended(&shown));
        EXPECT_EQ(shown.call.result, kDialogOk);
        EXPECT_STREQ(EnteredId(), "alice");
        EXPECT_STREQ(EnteredPassword(), "");
    }
}

TEST_F(DialogBehaviour, CredentialsOkFillsBothTexts) {
    ShownDialog shown;
    ASSERT_TRUE(Open(&shown, kIdPassword));
    TypeChars(shown.window.hwnd, ZUK_IDC_CRED_ID, "bob");
    TypeChars(shown.window.hwnd, ZUK_IDC_CRED_PASSWORD, "pa ss");
    PressButton(shown.window.hwnd, ZUK_IDC_CRED_OK);
    ASSERT_TRUE(Ended(&shown));
    EXPECT_EQ(shown.call.result, kDialogOk);
    EXPECT_STREQ(EnteredId(), "bob");
    EXPECT_STREQ(EnteredPassword(), "pa ss");
}

TEST_F(DialogBehaviour, PinOkNeedsAPin) {
    std::strcpy(EnteredPin(), "9999");
    ShownDialog shown;
    ASSERT_TRUE(Open(&shown, kPin));
    const HWND w = shown.window.hwnd;
    PressButton(w, ZUK_IDC_PIN_OK);
    EXPECT_FALSE(WaitGone(w, 400)) << "OK without a PIN leaves the prompt open";
    EXPECT_STREQ(EnteredPin(), "");
    TypeChars(w, ZUK_IDC_PIN_EDIT, "1234");
    PressButton(w, ZUK_IDC_PIN_OK);
    ASSERT_TRUE(Ended(&shown));
    EXPECT_EQ(shown.call.result, kDialogOk);
    EXPECT_STREQ(EnteredPin(), "1234");
}

// Esc, the close command and the Cancel button: the prompts end with -1, the notices ignore Esc
// and the close command and end only with their button.
TEST_F(DialogBehaviour, EscCloseAndButtons) {
    enum Action { Esc, Close, Button };
    struct Case {
        Prompt prompt;
        Action action;
        int button;  // for Button
        int result;  // 99: the dialog stays open
    };
    const Case cases[] = {
        {kCardWait, Esc, 0, kDialogCancel},
        {kCardWait, Close, 0, kDialogCancel},
        {kCardWait, Button, ZUK_IDC_WAIT_CANCEL, kDialogCancel},
        {kCardOrId, Esc, 0, kDialogCancel},
        {kCardOrId, Close, 0, kDialogCancel},
        {kCardOrId, Button, ZUK_IDC_CRED_CANCEL, kDialogCancel},
        {kIdPassword, Esc, 0, kDialogCancel},
        {kIdPassword, Button, ZUK_IDC_CRED_CANCEL, kDialogCancel},
        {kPin, Esc, 0, kDialogCancel},
        {kPin, Button, ZUK_IDC_PIN_CANCEL, kDialogCancel},
        {kNoCard, Esc, 0, 99},
        {kNoCard, Close, 0, 99},
        {kNoCard, Button, ZUK_IDC_NOCARD_OK, kDialogOk},
        {kPinError, Esc, 0, 99},
        {kPinError, Close, 0, 99},
        {kPinError, Button, ZUK_IDC_PINERR_OK, kDialogOk},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.prompt.name) + " action " + std::to_string(c.action));
        ShownDialog shown;
        ASSERT_TRUE(Open(&shown, c.prompt));
        const HWND w = shown.window.hwnd;
        if (c.action == Esc) SendEscape(w);
        if (c.action == Close) SendCloseCommand(w);
        if (c.action == Button) PressButton(w, c.button);
        if (c.result == 99) {
            EXPECT_FALSE(WaitGone(w, 500));
            ASSERT_TRUE(CloseByKind(w));
        }
        ASSERT_TRUE(Ended(&shown));
        EXPECT_EQ(shown.call.result, c.result == 99 ? kDialogOk : c.result);
    }
}

TEST_F(DialogBehaviour, CredentialsPromptsFollowTheConfiguration) {
    // A remembered pair, written as the account flow writes it.
    const char password[] = "remembered secret";
    char stored[kStoredTextSize] = {0};
    const std::int32_t storedLength =
        ScramblePassword(reinterpret_cast<const std::uint8_t *>(password),
                         static_cast<std::int32_t>(strlen(password)), stored);
    MutableSettings()->Config = kPairRemembered;
    ASSERT_EQ(WriteCredentials("carol", 5, stored, storedLength, Remembered), kStoreOk);

    struct Case {
        std::uint32_t config;
        bool passwordEnabled;
        bool idMasked;
        const char *id;
        const char *password;
    };
    const Case cases[] = {
        {kConfigPairTyped, true, false, "", ""},
        {kInputIdOnly | kRememberStoreNonVolatile, false, false, "", ""},  // no password field
        {kInputIdAndPassword | kRememberId | kRememberStoreNonVolatile, true, false, "carol", ""},
        {kPairRemembered, true, false, "carol", password},
        {kDialogVariantMaskedId | kPairRemembered, true, true, "carol", password},
        {kDialogVariantMaskedId | kInputIdOnly | kRememberStoreNonVolatile, false, true, "", ""},
    };
    for (const Prompt &p : {kCardOrId, kIdPassword}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(p.name) + " config " + std::to_string(c.config));
            MutableSettings()->Config = c.config;
            ShownDialog shown;
            ASSERT_TRUE(Open(&shown, p));
            const DialogSnapshot &w = shown.window;
            EXPECT_EQ(w.Control(ZUK_IDC_CRED_PASSWORD_LABEL)->enabled, c.passwordEnabled);
            EXPECT_EQ(w.Control(ZUK_IDC_CRED_PASSWORD)->enabled, c.passwordEnabled);
            EXPECT_TRUE(w.Control(ZUK_IDC_CRED_ID_LABEL)->enabled);
            EXPECT_TRUE(w.Control(ZUK_IDC_CRED_ID)->enabled);
            EXPECT_EQ(w.Control(ZUK_IDC_CRED_ID)->masked, c.idMasked);
            EXPECT_TRUE(w.Control(ZUK_IDC_CRED_PASSWORD)->masked);
            EXPECT_EQ(w.Text(ZUK_IDC_CRED_ID), c.id);
            EXPECT_EQ(EditText(w.hwnd, ZUK_IDC_CRED_PASSWORD), c.password);
            if (c.config == (kDialogVariantMaskedId | kPairRemembered))
                SaveScreenshot(w.hwnd, LocaleFolder(), std::string(p.name) + "_masked_filled");
            PressButton(w.hwnd, ZUK_IDC_CRED_CANCEL);
            ASSERT_TRUE(Ended(&shown));
        }
    }
}

TEST_F(DialogBehaviour, PinFieldIsMasked) {
    ShownDialog shown;
    ASSERT_TRUE(Open(&shown, kPin));
    EXPECT_TRUE(shown.window.Control(ZUK_IDC_PIN_EDIT)->masked);
    PressButton(shown.window.hwnd, ZUK_IDC_PIN_CANCEL);
    ASSERT_TRUE(Ended(&shown));
}

TEST_F(DialogBehaviour, ACardEndsTheWaitingDialogsWhateverWasTyped) {
    for (const Prompt &p : {kCardWait, kCardOrId}) {
        SCOPED_TRACE(p.name);
        MutableSettings()->PollingInterval = 100;
        // The card answers the tenth poll: the dialog stays up for a second at least, long enough
        // for the watcher to find it on a busy machine.
        const int cardAt = 10;
        ScriptPolls(cardAt);
        ShownDialog shown;
        ASSERT_TRUE(Open(&shown, p));
        if (p.kind == UiKind::Credentials) SetEditText(shown.window.hwnd, ZUK_IDC_CRED_ID, "typed");
        ASSERT_TRUE(Ended(&shown));
        EXPECT_EQ(shown.call.result, kDialogCard);
        const std::vector<PollRecord> polls = Polls();
        ASSERT_EQ(polls.size(), static_cast<std::size_t>(cardAt))
            << "no poll after the card answered";
        for (const PollRecord &r : polls) EXPECT_EQ(r.handle, kReaderHandle);
    }
}

TEST_F(DialogBehaviour, PromptsWithoutAReaderDoNotPoll) {
    MutableSettings()->PollingInterval = 100;
    for (const Prompt &p : {kIdPassword, kPin, kNoCard, kPinError}) {
        SCOPED_TRACE(p.name);
        ScriptPolls(1);
        ShownDialog shown;
        ASSERT_TRUE(Open(&shown, p));
        Sleep(350);
        EXPECT_TRUE(Polls().empty());
        ASSERT_TRUE(CloseByKind(shown.window.hwnd));
        ASSERT_TRUE(Ended(&shown));
    }
}

// The poll period is PollingInterval, at least 100 ms, counted from the end of the previous
// poll.  Only lower bounds on the gaps are checked (a timer never fires early), plus a generous
// upper bound on the whole wait.
TEST_F(DialogBehaviour, PollPeriod) {
    struct Case {
        std::int32_t interval;
        DWORD workMs;
        int polls;
        DWORD minGapMs;  // from the end of one poll to the start of the next
    };
    const Case cases[] = {{50, 0, 5, 90}, {-1, 0, 3, 90}, {1000, 0, 3, 950}, {100, 250, 3, 90}};
    for (const Case &c : cases) {
        SCOPED_TRACE("PollingInterval " + std::to_string(c.interval) + ", poll work " +
                     std::to_string(c.workMs) + " ms");
        MutableSettings()->PollingInterval = c.interval;
        ScriptPolls(c.polls, c.workMs);
        ShownDialog shown;
        ASSERT_TRUE(Open(&shown, kCardWait));
        ASSERT_TRUE(Ended(&shown, 15000));
        EXPECT_EQ(shown.call.result, kDialogCard);
        const std::vector<PollRecord> polls = Polls();
        ASSERT_EQ(polls.size(), static_cast<size_t>(c.polls));
        DWORD smallest = 0xFFFFFFFF;
        for (size_t i = 1; i < polls.size(); ++i) {
            const DWORD gap = polls[i].start - polls[i - 1].end;
            if (gap < smallest) smallest = gap;
        }
        EXPECT_GE(smallest, c.minGapMs);
        const DWORD period = c.interval < 100 ? 100 : static_cast<DWORD>(c.interval);
        EXPECT_LT(polls.back().end - polls.front().start, (period + c.workMs) * c.polls * 3 + 2000);
    }
}

// Centred on the desktop; topmost without a parent, on top of the parent's z-order with one.  The
// owner lives on the dialog's thread, as a host's window does.
TEST_F(DialogBehaviour, PlacementAndZOrder) {
    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    for (bool withParent : {false, true}) {
        for (const Prompt &p : {kCardWait, kIdPassword, kPin, kNoCard}) {
            SCOPED_TRACE(std::string(p.name) +
                         (withParent ? " with a parent" : " without a parent"));
            HWND owner = nullptr;
            ShownDialog shown;
            std::string why;
            int (*show)(void *) = p.show;
            ASSERT_TRUE(Show(
                &shown,
                [show, withParent, &owner] {
                    if (withParent) {
                        owner =
                            CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                            10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
                    }
                    const int result = show(owner);
                    if (owner != nullptr) DestroyWindow(owner);
                    return result;
                },
                p.kind, &why))
                << why;
            const RECT r = shown.window.rect;
            EXPECT_EQ(r.left, (desktop.right - (r.right - r.left)) / 2);
            EXPECT_EQ(r.top, (desktop.bottom - (r.bottom - r.top)) / 2);
            EXPECT_EQ(shown.window.topmost, !withParent);
            EXPECT_FALSE(shown.window.hasSystemMenu);
            EXPECT_EQ(GetWindow(shown.window.hwnd, GW_OWNER), owner);
            ASSERT_TRUE(CloseByKind(shown.window.hwnd));
            ASSERT_TRUE(Ended(&shown));
        }
    }
}

TEST_F(DialogBehaviour, AnInvalidParentShowsNothing) {
    HWND gone = CreateWindowExA(0, "STATIC", "gone", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    for (const Prompt &p : {kCardWait, kCardOrId, kIdPassword, kPin, kNoCard, kPinError}) {
        SCOPED_TRACE(p.name);
        CallThread call;
        int (*show)(void *) = p.show;
        StartCall(&call, [show, gone] { return show(gone); });
        ASSERT_TRUE(FinishCall(&call, 5000)) << "no dialog may stay open";
        EXPECT_EQ(call.result, kDialogFailed);
    }
    EXPECT_FALSE(OpenAccessingWindow(gone));
    CloseAccessingWindow();
}

TEST_F(DialogBehaviour, AccessingWindowGivesTheActivationBack) {
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(host);
    ASSERT_EQ(GetActiveWindow(), host);
    ASSERT_TRUE(OpenAccessingWindow(host));
    SeenWindow seen;
    ASSERT_TRUE(WaitForWindow(&seen, 2000, GetCurrentThreadId()));
    EXPECT_EQ(GetWindow(seen.hwnd, GW_OWNER), host);
    EXPECT_FALSE(seen.topmost);
    CloseAccessingWindow();
    EXPECT_FALSE(IsWindow(seen.hwnd));
    EXPECT_EQ(GetActiveWindow(), host);
    CloseAccessingWindow();  // a second close finds nothing to close
    DestroyWindow(host);
}

// The library's reset puts the dialogs' record back to the state at load with the other layers':
// the last parent and the card-access window are forgotten, and a close after it reaches nothing.
TEST_F(DialogBehaviour, TheLibraryResetForgetsTheLastParentAndTheCardAccessWindow) {
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenAccessingWindow(host));
    SeenWindow seen;
    ASSERT_TRUE(WaitForWindow(&seen, 2000, GetCurrentThreadId()));
    EXPECT_EQ(DialogParent(), host);
    LibraryStateReset();
    EXPECT_EQ(DialogParent(), nullptr);
    EXPECT_EQ(g_dialogs.accessWindow, nullptr);
    EXPECT_EQ(g_dialogs.accessPreviouslyActive, nullptr);
    CloseAccessingWindow();
    EXPECT_TRUE(IsWindow(seen.hwnd)) << "a close after the reset reached the forgotten window";
    DestroyWindow(seen.hwnd);
    DestroyWindow(host);
}

TEST_F(DialogBehaviour, AccessingWindowOpenedTwiceLeavesNoWindowBehind) {
    ASSERT_TRUE(OpenAccessingWindow(nullptr));
    SeenWindow first;
    ASSERT_TRUE(WaitForWindow(&first, 2000, GetCurrentThreadId()));
    EXPECT_TRUE(first.topmost);
    ASSERT_TRUE(OpenAccessingWindow(nullptr));
    EXPECT_FALSE(IsWindow(first.hwnd));
    SeenWindow second;
    ASSERT_TRUE(WaitForWindow(&second, 2000, GetCurrentThreadId()));
    CloseAccessingWindow();
    EXPECT_FALSE(IsWindow(second.hwnd));
}

}  // namespace
