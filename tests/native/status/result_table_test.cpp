// The public result codes' table: the header's names and comments are its rows, the results table
// of docs/api.md is made from it, the stored site keys' results map onto statuses that say so, and
// the tests' failure messages name results by it.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "ZUKcntrl.h"
#include "settings/site_key_store.h"
#include "status/result_table.h"
#include "status/status_table.h"
#include "tests/result_expect.h"

namespace {

std::string ReadSource(const std::string &path) {
    std::ifstream file(std::string(ZUK_SOURCE_DIR) + "/" + path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The values are checked at compile time; here the header's result #defines, in their order and
// with the comments beside them, must be the rows: a code added to the header alone, or a comment
// changed on one side, fails.
TEST(ResultTable, TheHeaderDefinesTheRowsWithTheirComments) {
    const std::string header = ReadSource("include/ZUKcntrl.h");
    ASSERT_FALSE(header.empty());
    const std::regex define(
        R"(#define\s+(ZUK_OK|ZUK_CANCELLED|ZUK_ERR_\w+)\s+\S+[ \t]*(/\*\s*(.*?)\s*\*/)?)");
    std::string listed, expected;
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
        listed += (*it)[1].str() + ": " + (*it)[3].str() + "\n";
    }
    std::size_t count = 0;
    const ResultRow *rows = ResultRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        expected += std::string(rows[i].name) + ": " + rows[i].headerComment + "\n";
    }
    EXPECT_EQ(listed, expected);
}

TEST(ResultTable, EveryRowHasItsTextsAndIsFoundByItsValue) {
    std::size_t count = 0;
    const ResultRow *rows = ResultRows(&count);
    ASSERT_GT(count, 20u);
    std::set<std::int32_t> values;
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_TRUE(values.insert(rows[i].value).second) << "a value twice";
        EXPECT_EQ(FindResultRow(rows[i].value), &rows[i]);
        EXPECT_TRUE(rows[i].meaning[0] && rows[i].action[0]);
        EXPECT_EQ(ResultIsReaderError(rows[i].value), rows[i].readerError);
    }
    EXPECT_EQ(FindResultRow(0x12345), nullptr);
    EXPECT_FALSE(ResultIsReaderError(0x12345));
}

// The results table of docs/api.md and the sentence that lists the reader errors, made from the
// rows.
std::string ResultsMarkdown() {
    std::string out = "| Value | Name | Meaning | What a host should do |\n|---|---|---|---|\n";
    std::string readerErrors;
    std::size_t count = 0;
    const ResultRow *rows = ResultRows(&count);
    std::size_t errors = 0;
    for (std::size_t i = 0; i < count; ++i) errors += rows[i].readerError ? 1 : 0;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const ResultRow &row = rows[i];
        char value[40];
        if (row.value >= 0x10000) {
            std::snprintf(value, sizeof value, "0x%X (%d)", static_cast<unsigned>(row.value),
                          static_cast<int>(row.value));
        } else {
            std::snprintf(value, sizeof value, "%d", static_cast<int>(row.value));
        }
        out += std::string("| ") + value + " | `" + row.name + "` | " + row.meaning + " | " +
               row.action + " |\n";
        if (row.readerError) {
            ++seen;
            readerErrors += std::string(seen == 1 ? "" : seen == errors ? " and " : ", ") + value;
        }
    }
    return out +
           "\nThe reader errors, for which the prompts offer Retry and a host can reasonably try "
           "again, are " +
           readerErrors +
           ".\n`zukcli codes` lists the codes with their meanings; `zukcli codes <code>` also says "
           "what to do\n"
           "and whether it is a reader error.\n";
}

int NoCardAnswered() { return ZUK_ERR_NO_CARD; }

// The tests' EXPECT_RESULT names both results when they differ: every row by its name, and a code
// the library does not define as a number.
TEST(ResultTable, TestFailuresNameTheResults) {
    std::size_t count = 0;
    const ResultRow *rows = ResultRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(ResultName(rows[i].value).rfind(std::string(rows[i].name) + " (", 0), 0u)
            << ResultName(rows[i].value);
    }
    EXPECT_EQ(ResultName(ZUK_ERR_PIN_WRONG), "ZUK_ERR_PIN_WRONG (3)");
    EXPECT_EQ(ResultName(ZUK_ERR_PARAM), "ZUK_ERR_PARAM (0x10000)");
    EXPECT_EQ(ResultName(12), "no result code (12)");
    EXPECT_NONFATAL_FAILURE(EXPECT_RESULT(NoCardAnswered(), ZUK_OK),
                            "NoCardAnswered() gave ZUK_ERR_NO_CARD (5), not ZUK_OK (0)");
}

TEST(ResultTable, TheDocumentsResultTableIsTheTable) {
    const std::string all = ReadSource("docs/api.md");
    const std::string begin = "<!-- result-table: made from status/result_table.h -->\n";
    const std::string end = "<!-- result-table end -->";
    const std::size_t from = all.find(begin);
    const std::size_t to = all.find(end);
    ASSERT_NE(from, std::string::npos) << "docs/api.md has no line " << begin;
    ASSERT_NE(to, std::string::npos);
    const std::string expected = ResultsMarkdown();
    const std::string written = all.substr(from + begin.size(), to - from - begin.size());
    if (written != expected) {
        const std::string path = std::string(ZUK_BINARY_DIR) + "/result-table.md";
        std::ofstream(path) << expected;
        FAIL() << "the results table of docs/api.md differs from status/result_table.h: put "
               << path << " between its markers";
    }
}

// Every fault of the stored site keys has a name and a sentence of its own and becomes a session
// status that gives ZUK_ERR_SYSTEM and names the site keys' remedy; every such status is some
// fault's, and the usable results are no fault.
TEST(ResultTable, EachStoredSiteKeyFaultBecomesASiteKeyStatus) {
    struct Row {
        SiteKeyStoreResult result;
        const char *name;
        const char *text;
        std::uint32_t status;
    };
#define ZUK_KEY_STORE_TEST_ROW(enumerator, name, text, status) {enumerator, name, text, status},
    const Row rows[] = {ZUK_SITE_KEY_STORE_RESULTS(ZUK_KEY_STORE_TEST_ROW)};
#undef ZUK_KEY_STORE_TEST_ROW
    std::set<std::string> names, texts;
    std::set<std::uint32_t> statuses;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(SiteKeyStoreResultName(row.result), row.name);
        EXPECT_STREQ(SiteKeyStoreResultText(row.result), row.text);
        EXPECT_TRUE(names.insert(row.name).second && texts.insert(row.text).second);
        const bool usable = row.result == kKeyStoreNone || row.result == kKeyStoreOk;
        if (usable) {
            EXPECT_EQ(row.status, SESSION_OK);
            continue;
        }
        statuses.insert(row.status);
        EXPECT_RESULT(StatusResult(row.status), ZUK_ERR_SYSTEM);
        StatusDescription d{};
        ASSERT_TRUE(DescribeStatus(row.status, &d));
        EXPECT_NE(std::string(d.cause).find("zukcli keys"), std::string::npos) << d.cause;
    }
    for (std::uint32_t status = SESSION_ERR_KEYS_UNREADABLE; status <= SESSION_ERR_KEYS_WEAK;
         ++status) {
        EXPECT_EQ(statuses.count(status), 1u)
            << std::hex << "status 0x" << status << " is no fault's";
    }
    EXPECT_STREQ(SiteKeyStoreResultName(static_cast<SiteKeyStoreResult>(99)), "unknown");
}

}  // namespace
