// The trace log: mode filter, line formats, rotation at 1 MiB and silent failure.
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "ZUKcntrl.h"
#include "settings/config.h"
#include "settings/trace.h"
#include "tests/native/support.h"
#include "tests/result_expect.h"

namespace {

class TraceLog : public LibraryTest {
protected:
    std::string log;
    void SetUp() override {
        LibraryTest::SetUp();
        log = TestInstallDir() + "trace.log";
        std::remove(log.c_str());
        std::remove((log + ".old").c_str());
        std::strcpy(MutableSettings()->LogFileName, log.c_str());
        FakeSetTime(1336987805);  // 2012/05/14,09:30:05
    }
    bool Exists(const std::string &p) {
        struct stat st;
        return stat(p.c_str(), &st) == 0;
    }
};

TEST_F(TraceLog, ModeFilterAndLineFormats) {
    const struct {
        int mode;
        const char *layer;
        std::uint32_t code;
        const char *line;  // null: nothing written
    } cases[] = {
        {0, "ZUK", 0x10, nullptr},
        {2, "ZUK", 0x10, nullptr},
        {7, "ZUK", 0x10, nullptr},
        {1, "ZUK", 0, nullptr},
        {1, "ZUK", 0x10, "2012/05/14,09:30:05,ZUKOpen,ZUK,0x00000010\n"},
        {3, "ZUK", 0, "2012/05/14,09:30:05,ZUKOpen,NormalEnd\n"},
        {3, "LOW", 0xA00, "2012/05/14,09:30:05,ZUKOpen,LOW,0x00000a00,0x08016a00\n"},
        {3, "LOWER", 0xA00, "2012/05/14,09:30:05,ZUKOpen,LOWER,0x00000a00\n"},
        {1, "ZUK", 0xFFFFFFFF, "2012/05/14,09:30:05,ZUKOpen,ZUK,0xffffffff\n"},
    };
    for (const auto &c : cases) {
        std::remove(log.c_str());
        MutableSettings()->LogMode = c.mode;
        Trace("ZUKOpen", c.layer, c.code, 0x8016A00);
        if (c.line) {
            EXPECT_EQ(ReadFile(log), c.line) << c.mode << " " << c.layer;
        } else {
            EXPECT_FALSE(Exists(log)) << "mode " << c.mode << " created the file";
        }
    }
}

TEST_F(TraceLog, ExportsTraceTheirOutcome) {
    MutableSettings()->LogMode = 3;
    int version = 0;
    ASSERT_RESULT(ZUKGetLibVersion(&version), ZUK_OK);
    EXPECT_EQ(ReadFile(log), "2012/05/14,09:30:05,ZUKGetLibVersion,NormalEnd\n");
}

TEST_F(TraceLog, RotatesBeforePassingOneMebibyte) {
    MutableSettings()->LogMode = 1;
    // 20 + 31 bytes: "2012/05/14,09:30:05," + "ZUKOpen,ZUK,0x00000010" + "\n" = 43 bytes.
    const std::string line = "2012/05/14,09:30:05,ZUKOpen,ZUK,0x00000010\n";
    WriteFile(log + ".old", "older generation");
    WriteFile(log, std::string(1048576 - line.size(), 'a'));
    Trace("ZUKOpen", "ZUK", 0x10);
    EXPECT_EQ(ReadFile(log).size(), 1048576u) << "a line that reaches exactly 1 MiB is appended";
    EXPECT_EQ(ReadFile(log + ".old"), "older generation");

    WriteFile(log, std::string(1048570, 'b'));
    Trace("ZUKOpen", "ZUK", 0x10);
    EXPECT_EQ(ReadFile(log), line) << "the line starts a new file";
    EXPECT_EQ(ReadFile(log + ".old"), std::string(1048570, 'b')) << "replacing the older .old";
}

TEST_F(TraceLog, FailuresAreSilent) {
    MutableSettings()->LogMode = 3;
    std::strcpy(MutableSettings()->LogFileName, "/nonexistent-dir/zuk/trace.log");
    int version = 0;
    EXPECT_RESULT(ZUKGetLibVersion(&version), ZUK_OK);
    EXPECT_EQ(version, 0x30100);

    std::strcpy(MutableSettings()->LogFileName, log.c_str());
    FakeFail(FAKE_CALL_LOCAL_TIME, FAKE_FAIL_EVERY);
    Trace("ZUKOpen", "ZUK", 0x10);
    EXPECT_FALSE(Exists(log));
    FakeFail(FAKE_CALL_LOCAL_TIME, 0);

    // A name whose rotation name would not fit is refused whole.
    std::string longName = TestInstallDir() + std::string(508 - TestInstallDir().size(), 'n');
    ASSERT_EQ(longName.size(), 508u);
    std::strcpy(MutableSettings()->LogFileName, longName.c_str());
    Trace("ZUKOpen", "ZUK", 0x10);
    EXPECT_FALSE(Exists(longName));
}

TEST_F(TraceLog, LongFunctionNameKeepsTheLineEnd) {
    MutableSettings()->LogMode = 1;
    std::string name(1500, 'F');
    Trace(name.c_str(), "ZUK", 0x10);
    std::string text = ReadFile(log);
    ASSERT_FALSE(text.empty());
    EXPECT_LE(text.size(), 1023u);
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
