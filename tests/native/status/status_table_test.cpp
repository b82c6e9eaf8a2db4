// The status table: the result code each status becomes (the documented cases and the rules for
// statuses that carry bytes or a phase), the decoding of the trace's raw LOW codes, and the
// raw-code table of docs/api.md, which must be the table's own rows.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "ZUKcntrl.h"
#include "status/status_table.h"

namespace {

TEST(StatusTable, ResultsOfStatusesThatCarryBytesOrAPhase) {
    const struct {
        std::uint32_t status;
        std::int32_t result;
    } cases[] = {
        {LINK_ANSWER_CLASS_81, ZUK_ERR_READER_STATUS},  // the reader's answer class 0x81
        {0x2100200, ZUK_ERR_UNEXPECTED},                // ... met while opening the link
        {0x2101200, ZUK_ERR_UNEXPECTED},                // the authentication failed while opening
        {0x2200100, ZUK_ERR_UNEXPECTED},                // busy twice while closing
        {0x2016A82, ZUK_ERR_READER_STATUS},             // a status word during a card command
        {0x2116F00, ZUK_ERR_PORT_OPEN},                 // ... while opening the link
        {0x2216A82, ZUK_ERR_LINK_CLOSE},                // ... while closing it
        {0x2036300, ZUK_ERR_READER_STATUS},             // the reader refused the authentication
        {0x2136300, ZUK_ERR_PORT_OPEN},                 // ... while opening the link
        {0x8016A00, ZUK_ERR_READER_STATUS},             // the card's status flag 1 = 0x6A
        {0x80201A8, ZUK_ERR_READER_STATUS},             // the reader's status bytes
        {0x80400ED, ZUK_ERR_READER_STATUS},             // response codes the reader refuses with
        {0x80400FF, ZUK_ERR_READER_STATUS},
        {0x80400EB, ZUK_ERR_CARD_IO},
        {0x80400EF, ZUK_ERR_NO_CARD},
        {0x80400A0, ZUK_ERR_UNEXPECTED},  // any other response code
        {SESSION_ERR_NO_ITEM, ZUK_ERR_SYSTEM},
        {0, ZUK_OK},
        {0x12345678, ZUK_ERR_UNEXPECTED},  // no status at all
    };
    for (const auto &c : cases) {
        EXPECT_EQ(StatusResult(c.status), c.result) << std::hex << "status 0x" << c.status;
    }
}

TEST(StatusTable, EveryRowIsDecodedAndEveryFailureHasAResultOfItsOwn) {
    std::size_t count = 0;
    const StatusRow *rows = StatusTable(&count);
    ASSERT_GT(count, 40u);
    for (std::size_t i = 0; i < count; ++i) {
        const StatusRow &row = rows[i];
        SCOPED_TRACE(row.name);
        const std::uint32_t sample = row.bytes == 0 ? row.value : row.value + 0x42;
        EXPECT_EQ(StatusResult(sample), row.result);
        EXPECT_EQ(StatusIsSuccess(sample), row.result == ZUK_OK);
        if (row.result == ZUK_OK || row.value == CARD_RESPONSE_CODE_BASE) continue;
        EXPECT_NE(row.result, ZUK_ERR_UNEXPECTED);
        StatusDescription d{};
        ASSERT_TRUE(DescribeStatus(sample, &d));
        EXPECT_STREQ(d.family, row.family);
        EXPECT_TRUE(d.cause && d.cause[0]);
    }
}

TEST(StatusTable, RawCodesDecodeToTheirFamilyAndFields) {
    const struct {
        std::uint32_t code;
        const char *family;
        const char *meaning;  // a part of the meaning
    } cases[] = {
        {0x2000013, "reader link", "cannot be opened"},
        {0x2016A82, "reader link", "status word 6A 82"},
        {0x2216A82, "reader link", "status word 6A 82 while closing the link"},
        {0x2100200, "reader link", "class 0x81/0xA1 while opening the link"},
        {0x2101200, "reader link", "authentication"},
        {0x2136300, "reader link",
         "refused the library's authentication with status word 63 00 while opening the link"},
        {0x80400EF, "card command", "no card answered"},
        {0x80400FD, "card command", "response code 0xFD"},
        {0x80400A0, "card command", "unexpected response code 0xA0"},
        {0x80101A6, "card command", "status flags 01 A6: service does not exist"},
        {0x801FF71, "card command", "FF 71: rewrite-count warning"},
        {0x8021234, "card command", "status bytes 12 34"},
        {0x8000004, "card command", "reader not found"},
        {0x4000002, "command builder", "does not fit"},
        {0x10000006, "session", "PIN is locked"},
    };
    for (const auto &c : cases) {
        StatusDescription d{};
        ASSERT_TRUE(DescribeStatus(c.code, &d)) << std::hex << c.code;
        EXPECT_STREQ(d.family, c.family) << std::hex << c.code;
        EXPECT_NE(std::string(d.meaning).find(c.meaning), std::string::npos) << d.meaning;
    }
    // Values no layer writes: outside every family, both phases at once, no row.
    for (std::uint32_t code : {0u, 0x2000004u, 0x2300013u, 0x2020000u, 0x12345678u, 0x1000000u,
                               0x7F000000u, 0x10000001u}) {
        StatusDescription d{};
        EXPECT_FALSE(DescribeStatus(code, &d)) << std::hex << code;
    }
}

// Every raw code a reader holding other keys leaves in the trace names that cause and both
// remedies; other refusals of the reader do not.
TEST(StatusTable, AKeyMismatchNamesItsCauseAndRemedies) {
    const struct {
        std::uint32_t code;
        bool keys;
    } cases[] = {
        {0x2136300, true},   // the reader refused the library's answer while opening the link
        {0x2036300, true},   // ... while a card command authenticated afresh
        {0x2101200, true},   // the reader's answer did not prove the library's keys
        {0x2116300, true},   // a trace of a library that kept the refusal as a plain status word
        {0x2116F00, false},  // the reader refused another step of the opening
        {0x2000200, false},
    };
    for (const auto &c : cases) {
        StatusDescription d{};
        ASSERT_TRUE(DescribeStatus(c.code, &d)) << std::hex << c.code;
        const std::string cause = d.cause;
        EXPECT_EQ(cause.find("zukcard move-reader") != std::string::npos, c.keys)
            << std::hex << c.code << ": " << cause;
        EXPECT_EQ(cause.find("zukcli keys install") != std::string::npos, c.keys)
            << std::hex << c.code << ": " << cause;
    }
}

// The markdown table of docs/api.md's raw codes, made from the rows.
std::string ResultText(std::int32_t result, const char *name) {
    char number[32];
    if (result >= 0x10000) {
        std::snprintf(number, sizeof number, "0x%X", static_cast<unsigned>(result));
    } else {
        std::snprintf(number, sizeof number, "%d", result);
    }
    return std::string("`") + name + "` (" + number + ")";
}

std::string MarkdownTable() {
    std::string out = "| Family | Code | Name | Result | Meaning | Typical cause |\n"
                      "|---|---|---|---|---|---|\n";
    std::size_t count = 0;
    const StatusRow *rows = StatusTable(&count);
    const char *family = "";
    for (std::size_t i = 0; i < count; ++i) {
        const StatusRow &row = rows[i];
        char code[32];
        if (row.bytes == 0) {
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(row.value));
        } else {
            std::snprintf(code, sizeof code, "0x%06X%s", static_cast<unsigned>(row.value >> 8),
                          row.bytes == 1 ? "rr" : "");
            if (row.bytes == 2) {
                std::snprintf(code, sizeof code, "0x%04Xxxyy",
                              static_cast<unsigned>(row.value >> 16));
            }
        }
        const bool newFamily = std::string(family) != row.family;
        family = row.family;
        out += std::string("| ") + (newFamily ? row.family : "") + " | `" + code + "` | `" +
               row.name + "` | " + ResultText(row.result, row.resultName) + " | " + row.meaning +
               (row.bytes == 2   ? " `xx yy`"
                : row.bytes == 1 ? " `rr`"
                                 : "") +
               " | " + row.cause + " |\n";
    }
    const StatusPhase *phases = StatusPhases(&count);
    for (std::size_t i = 0; i < count; ++i) {
        const StatusPhase &p = phases[i];
        char code[32];
        std::snprintf(code, sizeof code, "+ 0x%08X", static_cast<unsigned>(p.bit));
        out += std::string("| ") + (i == 0 ? "phase" : "") + " | `" + code + "` | `" + p.name +
               "` | a status word: " + ResultText(p.wordResult, p.wordResultName) +
               "; any other: " + ResultText(p.otherResult, p.otherResultName) +
               " | the same status," + p.meaning + " | as the status without the bit |\n";
    }
    return out;
}

TEST(StatusTable, TheDocumentsRawCodeTableIsTheTable) {
    std::ifstream doc(std::string(ZUK_SOURCE_DIR) + "/docs/api.md");
    ASSERT_TRUE(doc.good());
    std::stringstream text;
    text << doc.rdbuf();
    const std::string all = text.str();
    const std::string begin = "<!-- status-table: made from status/status_table.h -->\n";
    const std::string end = "<!-- status-table end -->";
    const std::size_t from = all.find(begin);
    const std::size_t to = all.find(end);
    ASSERT_NE(from, std::string::npos) << "docs/api.md has no line " << begin;
    ASSERT_NE(to, std::string::npos);
    // One description of the raw codes: a second, hand-written copy of a section would go on
    // saying what the table no longer says.
    std::istringstream lines(all);
    std::set<std::string> headings;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#", 0) == 0) {
            EXPECT_TRUE(headings.insert(line).second) << "docs/api.md has " << line << " twice";
        }
    }
    const std::string expected = MarkdownTable();
    const std::string written = all.substr(from + begin.size(), to - from - begin.size());
    if (written != expected) {
        const std::string path = std::string(ZUK_BINARY_DIR) + "/status-table.md";
        std::ofstream(path) << expected;
        FAIL() << "the raw-code table of docs/api.md differs from the status table: put " << path
               << " between its markers";
    }
}

}  // namespace
