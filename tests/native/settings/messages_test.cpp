// The message catalogue: choosing the language file, and the message line rules.
#include <cstring>

#include "settings/config.h"
#include "settings/messages.h"
#include "tests/native/support.h"

namespace {

class Catalogue : public LibraryTest {};

TEST_F(Catalogue, SelectsTheSystemLocaleThenEnglish) {
    const struct {
        std::uint32_t lcid;
        std::string index;
        const char *chosen;    // relative to the install dir, "" for none
        std::uint32_t locale;  // whose line named it, 0 for none
    } cases[] = {
        {0x0411, "0411,ja.txt\n0409,en.txt\n", "ja.txt", 0x0411},
        {0x0411, "0409,en.txt\n0411,ja.txt\n", "ja.txt", 0x0411},
        {0x080A, "080A,es.txt\n0409,en.txt\n", "en.txt", 0x0409},  // keys are compared exactly
        {0x080a, "080a,es.txt,extra\n0409,en.txt\n", "es.txt", 0x080a},
        {0x0409, "0411,ja.txt\n", "", 0},
        {0x0411, "0411\n0409,en.txt", "en.txt", 0x0409},  // a key without a file is passed over
        {0x0411, ",,0411,,ja.txt\n", "ja.txt", 0x0411},   // empty fields are skipped
        {0x0411, "0411,ja.txt\r\n", "ja.txt", 0x0411},    // no line end in a file name
        {0x0411, "0411," + std::string(509, 'n') + "\n", "", 0x0411},  // the path does not fit
    };
    for (const auto &c : cases) {
        WriteFile(TestInstallDir() + "ZukLang.csv", c.index);
        FakeSetSystemLcid(c.lcid);
        char path[kMessageTextSize], name[kMessageTextSize];
        std::memset(path, 'x', sizeof path);
        std::memset(name, 'x', sizeof name);
        SelectLanguageFile(path);
        std::string expected = c.chosen[0] ? TestInstallDir() + c.chosen : "";
        EXPECT_EQ(std::string(path), expected) << c.index;
        EXPECT_EQ(FindLanguageFileName(name), c.locale) << c.index;
        if (c.chosen[0]) {
            EXPECT_STREQ(name, c.chosen) << c.index;
        }
    }
    std::remove((TestInstallDir() + "ZukLang.csv").c_str());
    char path[kMessageTextSize] = "junk", name[kMessageTextSize] = "junk";
    SelectLanguageFile(path);
    EXPECT_STREQ(path, "") << "no index file";
    EXPECT_EQ(FindLanguageFileName(name), 0u);
    EXPECT_STREQ(name, "") << "no index file";
}

TEST_F(Catalogue, MessageLineRules) {
    const struct {
        const char *line;
        std::uint32_t id;
        const char *text;
    } cases[] = {
        {"00010002,Put the card\\non the reader,\n", 0x10002, "Put the card\non the reader"},
        {"00010002,Hello, world\n", 0x10002, "Hello"},
        {"0001002,seven digits\n", 0x10002, "before"},
        {"000100020,nine digits\n", 0x10002, "before"},
        {"0001000g,not hex\n", 0x10002, "before"},
        {"00990001,not in the table\n", 0x10002, "before"},
        {"00010002\n", 0x10002, "before"},
        {"00010002,\\n,\n", 0x10002, "\n"},
        {"00010002,a\\Nb,\n", 0x10002, "a\\Nb"},
        {"00010002,\\\\n,\n", 0x10002, "\\\n"},
        {"000a0001,lower-case id,\n", 0xA0001, "lower-case id"},
        {"00010002,first,\n00010002,second,\n", 0x10002, "second"},
        {"00010002,,,after commas,\n", 0x10002, "after commas"},
    };
    const std::string file = TestInstallDir() + "msg.txt";
    for (const auto &c : cases) {
        ClearMessageTexts();
        WriteFile(file, "00010002,before,\n000A0001,before,\n");
        LoadMessageCatalogue(file.c_str());
        WriteFile(file, c.line);
        LoadMessageCatalogue(file.c_str());
        ASSERT_NE(GetMessageText(c.id), nullptr);
        EXPECT_STREQ(GetMessageText(c.id), c.text) << c.line;
    }
}

// When no comma follows a text, the line's own newline is the text's last character; a comma
// after the text leaves it out; an escaped newline at the end is always kept.  A CR LF line end
// gives the same "\n" as LF (as Windows reads a text file), a CR elsewhere is text.
TEST_F(Catalogue, TextKeepsTheLineNewlineUnlessACommaFollows) {
    const struct {
        const char *line;
        const char *text;
    } cases[] = {
        {"00010002,Ends the line\n", "Ends the line\n"},
        {"00010002,Ends the line,\n", "Ends the line"},
        {"00010002,Windows line\r\n", "Windows line\n"},
        {"00010002,Windows line,\r\n", "Windows line"},
        {"00010002,Last line", "Last line"},
        {"00010002,Escaped\\n\n", "Escaped\n\n"},
        {"00010002,Escaped\\n,\n", "Escaped\n"},
        {"00010002,Escaped\\n", "Escaped\n"},
        {"00010002,\\n\n", "\n\n"},
        {"00010002,\n", "\n"},
        {"00010002,\r\n", "\n"},
        {"00010002,Carriage\rreturn,\n", "Carriage\rreturn"},
        {"00010002,Lone carriage return\r", "Lone carriage return\r"},
    };
    const std::string file = TestInstallDir() + "msg.txt";
    for (const auto &c : cases) {
        ClearMessageTexts();
        WriteFile(file, c.line);
        LoadMessageCatalogue(file.c_str());
        EXPECT_STREQ(GetMessageText(0x10002), c.text) << c.line;
    }
}

TEST_F(Catalogue, LongLinesAreReadInPieces) {
    const std::string file = TestInstallDir() + "long.txt";
    // 9 + 600 characters: the first 511 form one line, the rest a second "line" that does not
    // start with an id; the text is the piece's remainder after the id.
    WriteFile(file, "00010001," + std::string(600, 'L') + "\n00010003,ok\n");
    LoadMessageCatalogue(file.c_str());
    EXPECT_EQ(std::strlen(GetMessageText(0x10001)), 511u - 9u);
    EXPECT_STREQ(GetMessageText(0x10003), "ok\n");
}

TEST_F(Catalogue, UnknownIdsAndMissingFiles) {
    EXPECT_EQ(GetMessageText(0x12345), nullptr);
    ASSERT_NE(GetMessageText(0x80001), nullptr);
    EXPECT_STREQ(GetMessageText(0x80001), "");
    LoadMessageCatalogue("");
    LoadMessageCatalogue((TestInstallDir() + "absent.txt").c_str());
    EXPECT_STREQ(GetMessageText(0x80001), "");
}

TEST_F(Catalogue, AttachLoadsTheCatalogue) {
    WriteFile(TestInstallDir() + "ZukLang.csv", "0409,en.txt\n");
    WriteFile(TestInstallDir() + "en.txt", "00080001,Busy,\n00080002,Another call is running.\n");
    ASSERT_TRUE(Reattach());
    EXPECT_STREQ(GetMessageText(0x80001), "Busy");
    std::remove((TestInstallDir() + "ZukLang.csv").c_str());
}

}  // namespace

namespace {

// Every message id has a text in each shipped language file, and no text ends in a line break
// (each is ended by a comma, so the line's own newline stays out of captions and labels).
TEST(ShippedCatalogue, EveryIdHasATextInEveryLanguage) {
    for (const char *file : {"ZukLang_0409.txt", "ZukLang_0411.txt"}) {
        ClearMessageTexts();
        std::string path = std::string(ZUK_SOURCE_DIR) + "/dist/" + file;
        LoadMessageCatalogue(path.c_str());
        for (std::size_t i = 0; i < MessageIdCount(); ++i) {
            const char *text = GetMessageText(MessageIdAt(i));
            ASSERT_NE(text, nullptr);
            EXPECT_STRNE(text, "") << file << " lacks 0x" << std::hex << MessageIdAt(i);
            const std::size_t length = std::strlen(text);
            EXPECT_TRUE(length == 0 || text[length - 1] != '\n')
                << file << " 0x" << std::hex << MessageIdAt(i) << " ends in a line break";
        }
    }
    ClearMessageTexts();
}

}  // namespace
