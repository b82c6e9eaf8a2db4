// Every reader and card fault the simulator offers against every export that talks to the reader:
// a documented result code, a bounded time, no busy frame or reader mutex left behind, the PIN
// failure count on the card neither lost nor doubled, and a working session once the fault clears.
// Each cell's result, raw status and time must be the one docs/reliability.md's table shows.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "api_fixture.h"
#include "tests/result_expect.h"

namespace {

struct Fault {
    const char *name;
    void (*apply)(SimReader *reader, SimCard *card);
};

const Fault kFaults[] = {
    {"none", [](SimReader *, SimCard *) {}},
    {"busy once", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x80, 1); }},
    {"busy twice", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x80, 2); }},
    {"busy always", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x80, 1000000); }},
    {"class 81", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x81, 1); }},
    {"class 82", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x82, 1); }},
    {"class 83", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x83, 1); }},
    {"class 84", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x84, 1); }},
    {"class 87", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x87, 1); }},
    {"unlisted class 85", [](SimReader *r, SimCard *) { SimFaultAnswerClass(r, 0x85, 1); }},
    {"answers in pieces", [](SimReader *r, SimCard *) { r->faults.splitPiece = 5; }},
    {"incomplete answers", [](SimReader *r, SimCard *) { r->faults.splitPiece = 1; }},
    {"answer cut (command counted)", [](SimReader *r, SimCard *) { r->faults.cutCount = 1; }},
    {"answer cut (command not counted)",
     [](SimReader *r, SimCard *) {
         r->faults.cutCount = 1;
         r->faults.cutUncounted = true;
     }},
    {"wrong sequence", [](SimReader *r, SimCard *) { r->faults.wrongSequence = true; }},
    {"bad authentication", [](SimReader *r, SimCard *) { r->faults.badAuthAnswer = true; }},
    {"empty secured answer", [](SimReader *r, SimCard *) { r->faults.emptySecured = true; }},
    {"status word on 01 (open/start)",
     [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x01); }},
    {"status word on 07 (speed)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x07); }},
    {"status word on 11 (activate)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x11); }},
    {"status word on 13 (setting)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x13); }},
    {"status word on 81 (challenge)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x81); }},
    {"status word on 83 (answer)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x83); }},
    {"status word on 87 (key state)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x87); }},
    {"status word on 89 (key table)", [](SimReader *r, SimCard *) { SimFaultStatusWord(r, 0x89); }},
    {"card read status flags", [](SimReader *, SimCard *c) { c->faults.readFlagCount = 1; }},
    {"card write status flags", [](SimReader *, SimCard *c) { c->faults.writeFlagCount = 1; }},
    {"card write fails always", [](SimReader *, SimCard *c) { c->faults.writeFlagCount = 1000; }},
    {"silent reader", [](SimReader *r, SimCard *) { r->faults.silent = true; }},
    {"silent card", [](SimReader *, SimCard *c) { c->faults.silentAfter = 0; }},
    {"card goes quiet mid-command", [](SimReader *, SimCard *c) { c->faults.silentAfter = 2; }},
    {"line closed", [](SimReader *r, SimCard *) { r->faults.closed = true; }},
    {"card removed between pieces",
     [](SimReader *, SimCard *c) { c->faults.removeAfterReads = 1; }},
    {"bad frame checksum", [](SimReader *r, SimCard *) { r->faults.badChecksum = true; }},
};

enum Export {
    OPEN,
    CLOSE,
    SENSE,
    VERIFY,
    VERIFY_WRONG,
    NAME,
    USER_OPTION,
    ADMIN_OPTION,
    ACCOUNT,
    EXPORT_COUNT
};
const char *const kExportNames[EXPORT_COUNT] = {
    "open", "close",       "sense",        "verify PIN", "verify wrong PIN",
    "name", "user option", "admin option", "account"};

// The table of docs/reliability.md: fault -> the cells of its row, in the order of the exports.
std::map<std::string, std::vector<std::string>> DocumentedCells(std::string *error) {
    std::map<std::string, std::vector<std::string>> rows;
    std::ifstream doc(std::string(ZUK_SOURCE_DIR) + "/docs/reliability.md");
    std::string line;
    bool inTable = false;
    while (std::getline(doc, line)) {
        if (line.rfind("| fault | open |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable || line.rfind("|---", 0) == 0) continue;
        if (line.empty() || line[0] != '|') break;
        std::vector<std::string> cells;
        std::stringstream parts(line.substr(1));
        std::string cell;
        while (std::getline(parts, cell, '|')) {
            const std::size_t a = cell.find_first_not_of(' ');
            const std::size_t b = cell.find_last_not_of(' ');
            cells.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
        }
        if (!cells.empty() && cells.back().empty()) cells.pop_back();
        const std::string fault = cells.front();
        cells.erase(cells.begin());
        rows[fault] = cells;
    }
    if (rows.empty()) *error = "docs/reliability.md has no table starting \"| fault | open |\"";
    return rows;
}

// A cell: the result code, the raw status the trace's LOW line would show (when the card layer
// met one), and the milliseconds waited.
std::string Cell(int result, std::uint32_t raw, std::uint64_t ms) {
    char cell[64];
    char status[24] = "";
    if (raw != 0) std::snprintf(status, sizeof status, " [0x%08X]", static_cast<unsigned>(raw));
    std::snprintf(cell, sizeof cell, "%s%X%s (%llu)", result < 0 ? "-" : "0x",
                  static_cast<unsigned>(result < 0 ? -result : result), status,
                  static_cast<unsigned long long>(ms));
    return cell;
}

class FaultMatrix : public ApiTest {
protected:
    // A fresh library, reader and card, as each test starts.
    void Fresh() {
        ReleasePortMutex();
        SetUp();
    }
    int FailureCount() const { return card.blocks[1][0][1]; }

    int Run(Export e) {
        char text[64];
        int length = sizeof text;
        int present = 0;
        switch (e) {
        case OPEN: {
            int handle = 0;
            return ZUKOpen(&handle);
        }
        case CLOSE: return ZUKClose(1);
        case SENSE: return ZUKSenseCard(1, &present);
        case VERIFY: return ZUKVerifyPIN(1, 4, "1234");
        case VERIFY_WRONG: return ZUKVerifyPIN(1, 4, "9999");
        case NAME: return ZUKGetUserName(1, text, &length);
        case USER_OPTION: return ZUKGetUserOption(1, text, &length);
        case ADMIN_OPTION: return ZUKGetAdminOption(1, text, &length);
        case ACCOUNT: {
            char account[128];
            char password[256];
            AccountRequest r{ZUK_ACCOUNT_REQUEST_VERSION,
                             account,
                             sizeof account,
                             password,
                             sizeof password,
                             0,
                             0};
            return ZUKGetUserAccount(1, &r, 0, nullptr);
        }
        case EXPORT_COUNT: break;
        }
        return ZUK_ERR_UNEXPECTED;
    }
};

TEST_F(FaultMatrix, EveryFaultOnEveryExportEndsCleanlyAndRecovers) {
    std::map<std::string, std::string> cells;
    for (const Fault &fault : kFaults) {
        for (int e = 0; e < EXPORT_COUNT; ++e) {
            const Export ex = static_cast<Export>(e);
            SCOPED_TRACE(std::string(fault.name) + " / " + kExportNames[e]);
            Fresh();
            if (ex != OPEN) {
                Open();
                int present = 0;
                ASSERT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
            }
            const int countBefore = FailureCount();
            FakeMessageBoxScript(std::vector<int>(8, PLAT_IDCANCEL));
            FakeDialogScript(std::vector<FakeDialogStep>(
                4, FakeDialogStep{FAKE_DIALOG_PIN, 2, "", "", "1234", nullptr, nullptr}));
            fault.apply(&sim, &card);
            SetLastCardStatus(0);
            const std::uint64_t slept = FakeSleptMilliseconds();
            const int result = Run(ex);
            const std::uint64_t ms = FakeSleptMilliseconds() - slept;

            EXPECT_TRUE(IsDocumentedResult(result)) << ResultName(result);
            EXPECT_LT(ms, 30000u) << "waited too long";
            EXPECT_FALSE(ApiIsBusy());
            EXPECT_EQ(FakeMutexOwned(ZUK_PORT_MUTEX_NAME), CardSessionIsOpen() == 1);
            // The count moves by at most one, and only for a wrong PIN.
            const int countAfter = FailureCount();
            if (ex == VERIFY_WRONG) {
                EXPECT_TRUE(countAfter == countBefore || countAfter == countBefore + 1);
                if (result == ZUK_ERR_PIN_WRONG) {
                    EXPECT_EQ(countAfter, countBefore + 1);
                }
            } else {
                EXPECT_TRUE(countAfter == countBefore || countAfter == 0);
            }
            cells[std::string(fault.name) + "|" + kExportNames[e]] =
                Cell(result, GetLastCardStatus(), ms);

            // The fault clears: the card is back, the next open works and the count is usable.
            sim.faults = SimFaults();
            card.faults = SimCardFaults();
            SimCardPlace(&card, &sim);
            FakeMessageBoxScript({});
            if (CardSessionIsOpen() == 1) {
                EXPECT_RESULT(ZUKClose(1), ZUK_OK) << std::hex << GetLastCardStatus();
            }
            int handle = 0;
            ASSERT_RESULT(ZUKOpen(&handle), ZUK_OK);
            int present = 0;
            ASSERT_RESULT(ZUKSenseCard(1, &present), ZUK_OK) << std::hex << GetLastCardStatus();
            EXPECT_EQ(present, 1);
            EXPECT_RESULT(ZUKVerifyPIN(1, 4, "1234"), ZUK_OK);
            EXPECT_EQ(FailureCount(), 0);
            char name[32];
            int length = sizeof name;
            EXPECT_RESULT(ZUKGetUserName(1, name, &length), ZUK_OK);
            EXPECT_RESULT(ZUKClose(1), ZUK_OK);
            EXPECT_FALSE(FakeMutexOwned(ZUK_PORT_MUTEX_NAME));
        }
    }
    // Every cell against the documented table; on a difference the table as measured is written
    // beside the build for the document.
    std::string error;
    const auto documented = DocumentedCells(&error);
    ASSERT_TRUE(error.empty()) << error;
    std::string table = "| fault |";
    for (const char *name : kExportNames) table += std::string(" ") + name + " |";
    table += "\n|---|";
    for (int e = 0; e < EXPORT_COUNT; ++e) table += "---|";
    table += "\n";
    int differences = 0;
    for (const Fault &fault : kFaults) {
        table += std::string("| ") + fault.name + " |";
        const auto row = documented.find(fault.name);
        for (int e = 0; e < EXPORT_COUNT; ++e) {
            const std::string &measured = cells[std::string(fault.name) + "|" + kExportNames[e]];
            table += " " + measured + " |";
            const bool known = row != documented.end() && e < static_cast<int>(row->second.size());
            const std::string expected = known ? row->second[e] : "(no cell)";
            if (measured != expected) {
                ++differences;
                ADD_FAILURE() << fault.name << " / " << kExportNames[e] << ": measured " << measured
                              << ", documented " << expected;
            }
        }
        table += "\n";
    }
    EXPECT_EQ(documented.size(), sizeof kFaults / sizeof kFaults[0]) << "rows of the document";
    if (differences != 0) {
        const std::string path = std::string(ZUK_BINARY_DIR) + "/fault-matrix.md";
        std::ofstream(path) << table;
        ADD_FAILURE() << "the measured table is in " << path;
    }
}

}  // namespace
