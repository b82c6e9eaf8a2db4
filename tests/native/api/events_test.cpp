// The library's events through the platform's event log: each one's id, type and strings where
// it happens (a refused load, a locked card; the site keys', reader's and revocation lists' events
// are checked in their own tests), the EventLog switch from the INI and from policy, no secret in
// any string, and the message table's source (resources/events.mc) against the events' table.
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "api_fixture.h"
#include "platform/fake/fake_platform.h"
#include "settings/events.h"
#include "settings/policy.h"
#include "settings/revocation.h"

namespace {

class EventsTest : public ApiTest {
protected:
    int WithPin(const char *pin, int *tries) {
        request = AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
        return ZUKGetUserAccountWithPin(1, &request, ZUK_ACCOUNT_MODE_INTERACTIVE, pin,
                                        static_cast<int>(std::strlen(pin)), tries);
    }
    char account[128];
    char password[256];
    AccountRequest request{};
};

std::string Joined(const FakeEventRecord &e) {
    std::string all;
    for (const std::string &s : e.strings) all += s + "|";
    return all;
}

// Each refusal of the load writes one error event naming the value; a refusing policy value its
// own event.  Where the INI could be read, its EventLog=0 is obeyed; without an installation
// folder nothing can say events are off.
TEST_F(EventsTest, ARefusedLoadSaysWhichValue) {
    struct Case {
        const char *what;
        void (*arrange)();
        const char *ini;
        std::uint32_t id;  // 0: no event
        const char *names;
    };
    const Case cases[] = {
        {"Mode missing",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode"); }, "", 100,
         "Mode"},
        {"Device above 1",
         [] { FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", 2); }, "", 100,
         "Device"},
        {"no installation folder",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath"); },
         "[Log]\nEventLog=0\n", 100, "InstallPath"},
        {"policy value not accepted",
         [] { FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "Mode", 5); }, "", 101,
         "Mode"},
        {"Mode missing, events off in the INI",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode"); },
         "[Log]\nEventLog=0\n", 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "Mode");
        Configure(kLibraryModeCard, kDeviceReader, kTestConfig);
        c.arrange();
        const std::size_t before = FakeEventLog().size();
        EXPECT_FALSE(Reload(c.ini));
        const std::vector<FakeEventRecord> events = FakeEventLog();
        if (c.id == 0) {
            EXPECT_EQ(events.size(), before);
            continue;
        }
        ASSERT_EQ(events.size(), before + 1);
        EXPECT_EQ(events.back().id, c.id);
        EXPECT_EQ(events.back().type, PLAT_EVENT_ERROR);
        ASSERT_EQ(events.back().strings.size(), 1u);
        EXPECT_NE(events.back().strings[0].find(c.names), std::string::npos)
            << events.back().strings[0];
    }
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "Mode");
    Configure(kLibraryModeCard, kDeviceReader, kTestConfig);
}

// Wrong PINs that lock the card, and the locked card laid again: a warning with its IDm and why,
// and no string of any event holds the PIN, the account's password or the account.
TEST_F(EventsTest, ALockedCardIsReportedWithoutSecrets) {
    OpenAndSense();
    int tries = 0;
    EXPECT_EQ(WithPin("0000", &tries), ZUK_ERR_PIN_WRONG);
    EXPECT_EQ(WithPin("0000", &tries), ZUK_ERR_PIN_WRONG);
    EXPECT_TRUE(FakeEventLog().empty());
    EXPECT_EQ(WithPin("0000", &tries), ZUK_ERR_PIN_LOCKED_NOW);
    EXPECT_EQ(WithPin("1234", &tries), ZUK_ERR_CARD_LOCKED);
    const std::vector<FakeEventRecord> events = FakeEventLog();
    ASSERT_EQ(events.size(), 2u);
    for (const FakeEventRecord &e : events) {
        EXPECT_EQ(e.id, 201u);
        EXPECT_EQ(e.type, PLAT_EVENT_WARNING);
        ASSERT_EQ(e.strings.size(), 2u);
        EXPECT_EQ(e.strings[0], IdmText());
        for (const char *secret : {"0000", "1234", "s3cret-pass", "alice"})
            EXPECT_EQ(Joined(e).find(secret), std::string::npos) << secret;
    }
    EXPECT_NE(events[0].strings[1], events[1].strings[1]) << "locked now, and locked before";
}

// [Log] EventLog=0, or the EventLog policy at 0 over an INI that says 1, writes nothing; the
// policy at 1 over an INI that says 0 writes.
TEST_F(EventsTest, TheSwitchFromTheIniAndFromPolicy) {
    struct Case {
        const char *ini;
        int policy;  // -1: no policy value
        bool written;
    };
    const Case cases[] = {
        {"", -1, true},
        {"[Log]\nEventLog=0\n", -1, false},
        {"[Log]\nEventLog=1\n", 0, false},
        {"[Log]\nEventLog=0\n", 1, true},
        {"[Log]\nEventLog=2\n", -1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " policy " + std::to_string(c.policy));
        if (c.policy >= 0)
            FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "EventLog",
                            static_cast<std::uint32_t>(c.policy));
        ASSERT_TRUE(Reload(c.ini));
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "EventLog");
        OpenAndSense();
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card", IdmText());
        const std::size_t before = FakeEventLog().size();
        char text[64];
        int length = sizeof text;
        EXPECT_EQ(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
        const std::vector<FakeEventRecord> events = FakeEventLog();
        if (c.written) {
            ASSERT_EQ(events.size(), before + 1);
            EXPECT_EQ(events.back().id, 200u);
            EXPECT_EQ(events.back().type, PLAT_EVENT_WARNING);
            EXPECT_EQ(events.back().strings, std::vector<std::string>{IdmText()});
        } else {
            EXPECT_EQ(events.size(), before);
        }
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card");
        EXPECT_EQ(ZUKClose(1), 0);
    }
}

// resources/events.mc, which windmc compiles into the library's message table, has for every
// event of the table its id under its symbolic name, with an English and a Japanese text that
// use exactly the event's strings (%1..%n); and no message the table does not know.
TEST(EventMessages, EveryEventHasItsTextsInBothLanguages) {
    std::ifstream in(std::string(ZUK_SOURCE_DIR) + "/resources/events.mc");
    ASSERT_TRUE(in.good());
    struct Message {
        std::string symbol;
        std::map<std::string, std::string> texts;
    };
    std::map<std::uint32_t, Message> messages;
    std::string line;
    std::uint32_t id = 0;
    std::string language, text;
    bool inText = false;
    while (std::getline(in, line)) {
        if (inText) {
            if (line == ".") {
                messages[id].texts[language] = text;
                inText = false;
            } else {
                text += line + "\n";
            }
        } else if (line.rfind("MessageId=", 0) == 0) {
            id = static_cast<std::uint32_t>(std::stoul(line.substr(10)));
            EXPECT_EQ(messages.count(id), 0u) << "id " << id << " twice";
            messages[id];
        } else if (line.rfind("SymbolicName=", 0) == 0) {
            messages[id].symbol = line.substr(13);
        } else if (line.rfind("Language=", 0) == 0) {
            language = line.substr(9);
            text.clear();
            inText = true;
        }
    }
    EXPECT_FALSE(inText) << "a text without its closing line";
    EXPECT_EQ(messages.size(), static_cast<std::size_t>(kEventCount));
    for (int i = 0; i < kEventCount; ++i) {
        const EventRow &row = EventRowOf(static_cast<LibraryEvent>(i));
        SCOPED_TRACE(row.symbol);
        ASSERT_EQ(messages.count(row.id), 1u);
        const Message &m = messages[row.id];
        EXPECT_EQ(m.symbol, row.symbol);
        for (const char *lang : {"English", "Japanese"}) {
            SCOPED_TRACE(lang);
            ASSERT_EQ(m.texts.count(lang), 1u);
            const std::string &t = m.texts.at(lang);
            EXPECT_GT(t.size(), 10u);
            for (int n = 1; n <= 9; ++n) {
                const bool uses = t.find("%" + std::to_string(n)) != std::string::npos;
                EXPECT_EQ(uses, n <= row.strings) << "%" << n;
            }
        }
        EXPECT_TRUE(row.type == PLAT_EVENT_ERROR || row.type == PLAT_EVENT_WARNING);
    }
}

}  // namespace
