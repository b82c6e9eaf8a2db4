// The opt-in strict link check ([Device] StrictLink=1): answers whose frame checksum, inner
// checksum or padding do not hold are malformed answers instead of card data.
#include "api_fixture.h"
#include "tests/result_expect.h"

namespace {

using StrictLink = ApiTest;

TEST_F(StrictLink, LineDamageIsAMalformedAnswerOnlyWhenSwitchedOn) {
    struct Case {
        const char *name;
        void (*fault)(SimReader *);
        bool strict;
        int result;
    };
    const Case cases[] = {
        {"clean line, strict", [](SimReader *) {}, true, ZUK_OK},
        // Off, the frame checksum is not looked at: the data is intact and is used.
        {"bad frame checksum", [](SimReader *r) { r->faults.badChecksum = true; }, false, ZUK_OK},
        {"bad frame checksum, strict", [](SimReader *r) { r->faults.badChecksum = true; }, true,
         ZUK_ERR_CARD_IO},
        {"changed ciphertext, strict", [](SimReader *r) { r->faults.flipSecuredByte = true; }, true,
         ZUK_ERR_CARD_IO},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Configure(256, 1, 0x231);
        if (c.strict) {
            FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                               "[Device]\nPortName=" + portName +
                                   "\nDeviceName=PR300\nStrictLink=1\n[FeliCa]\nSystemCode=88B4\n");
            ResetSettings();
            ASSERT_TRUE(LibraryAttach(nullptr));
        }
        OpenAndSense();
        c.fault(&sim);
        FakeMessageBoxScript({PLAT_IDCANCEL});
        char name[64];
        int length = sizeof name;
        EXPECT_EQ(ZUKGetUserName(1, name, &length), c.result);
        if (c.result == ZUK_OK) {
            EXPECT_EQ(std::string(name, static_cast<std::size_t>(length)), "Alice Example");
        }
        // The session goes on: the next read in it works.
        length = sizeof name;
        EXPECT_RESULT(ZUKGetUserName(1, name, &length), ZUK_OK);
        EXPECT_RESULT(ZUKClose(1), ZUK_OK);
    }
}

}  // namespace
