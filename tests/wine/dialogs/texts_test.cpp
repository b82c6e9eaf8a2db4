// What each dialog shows: its caption and labels from the message catalogue of the system locale
// (English, and Japanese in the Japanese-locale run), with the mnemonic suffixes of the labels in
// front of edit fields.  Every dialog is also saved as a picture.
#include <gtest/gtest.h>

#include <cstdlib>

#include "api/dialogs/dialogs.h"
#include "resources/dialog_ids.h"
#include "tests/wine/dialogs/dialog_fixture.h"
#include "tests/wine/support/wine_support.h"

namespace {

struct ExpectedText {
    int control;
    std::uint32_t message;  // 0: the control is empty
    const char *suffix;
};

struct DialogCase {
    const char *name;
    int (*show)(void *parent);
    UiKind kind;
    std::uint32_t caption;
    std::vector<ExpectedText> texts;
};

const DialogCase kCases[] = {
    {"card_wait",
     CardWaitDialog,
     UiKind::CardWait,
     0x10001,
     {{ZUK_IDC_WAIT_TEXT, 0x10002, ""}, {ZUK_IDC_WAIT_CANCEL, 0x10003, ""}}},
    {"card_or_id",
     CardOrIdDialog,
     UiKind::Credentials,
     0x20001,
     {{ZUK_IDC_CRED_TEXT1, 0x20002, ""},
      {ZUK_IDC_CRED_TEXT2, 0x20003, ""},
      {ZUK_IDC_CRED_ID_LABEL, 0x20004, "(&I)"},
      {ZUK_IDC_CRED_PASSWORD_LABEL, 0x20005, "(&P)"},
      {ZUK_IDC_CRED_ID, 0, ""},
      {ZUK_IDC_CRED_PASSWORD, 0, ""},
      {ZUK_IDC_CRED_OK, 0x20006, ""},
      {ZUK_IDC_CRED_CANCEL, 0x20007, ""}}},
    {"id_password",
     IdPasswordDialog,
     UiKind::Credentials,
     0xC0001,
     {{ZUK_IDC_CRED_TEXT1, 0xC0003, ""},
      {ZUK_IDC_CRED_TEXT2, 0, ""},
      {ZUK_IDC_CRED_ID_LABEL, 0x20004, "(&I)"},
      {ZUK_IDC_CRED_PASSWORD_LABEL, 0x20005, "(&P)"},
      {ZUK_IDC_CRED_ID, 0, ""},
      {ZUK_IDC_CRED_PASSWORD, 0, ""},
      {ZUK_IDC_CRED_OK, 0xC0004, ""},
      {ZUK_IDC_CRED_CANCEL, 0xC0005, ""}}},
    {"pin",
     PinDialog,
     UiKind::Pin,
     0x30001,
     {{ZUK_IDC_PIN_TEXT, 0x30002, "(&P)"},
      {ZUK_IDC_PIN_EDIT, 0, ""},
      {ZUK_IDC_PIN_OK, 0x30003, ""},
      {ZUK_IDC_PIN_CANCEL, 0x30004, ""}}},
    {"no_card",
     NoCardDialog,
     UiKind::NoCard,
     0x40001,
     {{ZUK_IDC_NOCARD_TEXT1, 0x40002, ""},
      {ZUK_IDC_NOCARD_TEXT2, 0x40003, ""},
      {ZUK_IDC_NOCARD_OK, 0x40004, ""}}},
    {"pin_error",
     PinErrorDialog,
     UiKind::PinError,
     0x50001,
     {{ZUK_IDC_PINERR_TEXT, 0x50002, ""}, {ZUK_IDC_PINERR_OK, 0x50003, ""}}},
};

class DialogTexts : public ::testing::Test {
protected:
    void SetUp() override {
        AttachWithTemplates(kConfigPairTyped);
        if (std::getenv("ZUK_EXPECT_JAPANESE") != nullptr) {
            ASSERT_EQ(GetACP(), 932u) << "the Japanese run needs the Japanese system locale";
            ASSERT_EQ(LocaleFolder(), "ja");
        }
    }
    void TearDown() override { CloseAllWindows(); }
};

TEST_F(DialogTexts, EachDialogShowsCatalogueTexts) {
    for (const DialogCase &c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(CatalogueText(c.caption).empty()) << "the catalogue has the caption";
        ShownDialog shown;
        std::string why;
        int (*show)(void *) = c.show;
        ASSERT_TRUE(Show(
            &shown, [show] { return show(nullptr); }, c.kind, &why))
            << why;
        const DialogSnapshot &w = shown.window;
        EXPECT_EQ(w.caption, CatalogueText(c.caption));
        EXPECT_EQ(w.controls.size(),
                  c.texts.size() + (c.kind == UiKind::NoCard || c.kind == UiKind::PinError));
        for (const ExpectedText &t : c.texts) {
            const std::string expected = t.message != 0 ? CatalogueText(t.message) + t.suffix : "";
            EXPECT_EQ(w.Text(t.control), expected) << "control " << t.control;
        }
        EXPECT_FALSE(SaveScreenshot(w.hwnd, LocaleFolder(), c.name).empty());
        ASSERT_TRUE(CloseByKind(w.hwnd));
        ASSERT_TRUE(Ended(&shown));
    }
}

TEST_F(DialogTexts, AccessingWindowShowsCatalogueTexts) {
    ASSERT_TRUE(OpenAccessingWindow(nullptr));
    SeenWindow seen;
    ASSERT_TRUE(WaitForWindow(&seen, 2000, GetCurrentThreadId()));
    DialogSnapshot w;
    ReadDialog(seen.hwnd, &w);
    EXPECT_EQ(w.kind, UiKind::Accessing);
    EXPECT_EQ(w.caption, CatalogueText(0x60001));
    EXPECT_EQ(w.Text(ZUK_IDC_ACCESS_TEXT), CatalogueText(0x60002));
    EXPECT_FALSE(SaveScreenshot(w.hwnd, LocaleFolder(), "accessing").empty());
    CloseAccessingWindow();
    EXPECT_FALSE(IsWindow(seen.hwnd));
}

}  // namespace
