// The library with site keys stored on the machine: it talks to a reader holding the site's key
// sets and masks remembered passwords with the site's mask; a reader holding the built-in set
// refuses it; and stored keys that cannot be used leave it without any keys (every reader call
// fails with the fault's status, before a byte goes to the reader, and nothing is read from or
// written to the credential store), never with the built-in keys.
#include <cstring>

#include "api_fixture.h"
#include "platform/eventlog.h"
#include "card/card_state.h"
#include "link/link_state.h"
#include "settings/credentials.h"
#include "settings/site_key_store.h"
#include "status/status_table.h"
#include "tests/result_expect.h"

namespace {

const char kGuid[] = "0d6e1f8c-2b47-4c3a-9e51-7f20a8b3c914";

class SiteKeysTest : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid", kGuid);
        SiteKeysWipe(&site);
        for (std::size_t i = 0; i < sizeof site.initial; ++i)
            site.initial[i] = static_cast<std::uint8_t>(0x21 + 3 * i);
        for (std::size_t i = 0; i < sizeof site.operational; ++i)
            site.operational[i] = static_cast<std::uint8_t>(0x91 + 5 * i);
        // The simulated cards carry the built-in card keys: the site keeps them in its table.
        const std::uint8_t reader[SITE_READER_KEYS_SIZE] = ZUK_READER_KEYS_INIT;
        std::memcpy(site.reader, reader, sizeof reader);
        for (std::size_t i = 0; i < sizeof site.mask; ++i)
            site.mask[i] = static_cast<std::uint8_t>(0x3C ^ (7 * i));
    }
    // Stores the site keys and loads the library again; the reader then holds `held`.
    void InstallAndReload(const std::uint8_t held[24]) {
        ASSERT_EQ(SiteKeyStoreWrite(0, site), 0);
        Reload();
        std::memcpy(sim.heldKeys, held, 24);
    }
    void Reload() {
        ReleasePortMutex();
        LibraryDetach();
        ClearTrace();
        ASSERT_TRUE(LibraryAttach(nullptr));
    }
    std::string StoredPassword() const {
        std::uint32_t type = 0;
        std::string bytes;
        EXPECT_TRUE(FakeRegGetValue(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "Password", &type,
                                    &bytes));
        return bytes;
    }
    void Remember(const std::string &id, const std::string &password) {
        char text[kStoredTextSize];
        const std::int32_t n =
            ScramblePassword(reinterpret_cast<const std::uint8_t *>(password.data()),
                             static_cast<std::int32_t>(password.size()), text);
        ASSERT_GT(n, 0);
        ASSERT_EQ(
            WriteCredentials(id.data(), static_cast<std::int32_t>(id.size()), text, n, Remembered),
            0);
    }
    std::string RememberedPassword() {
        char id[kStoredTextSize] = {0}, stored[kStoredTextSize] = {0};
        std::int32_t idLength = sizeof id, storedLength = sizeof stored;
        EXPECT_EQ(ReadCredentials(id, &idLength, stored, &storedLength, Remembered), 0);
        std::uint8_t password[kStoredTextSize] = {0};
        const std::int32_t n =
            storedLength > 0 ? UnscramblePassword(stored, storedLength, password) : 0;
        return std::string(reinterpret_cast<char *>(password), static_cast<std::size_t>(n));
    }
    std::string Name() {
        char buffer[64] = {0};
        int length = sizeof buffer;
        const int result = ZUKGetUserName(1, buffer, &length);
        return result == 0 ? std::string(buffer, static_cast<std::size_t>(length))
                           : "result " + std::to_string(result);
    }
    SiteKeys site;
};

TEST_F(SiteKeysTest, TheSiteKeysReplaceTheBuiltInOnes) {
    Remember("alice", "s3cret-pass");
    const std::string builtInForm = StoredPassword();
    InstallAndReload(site.operational);
    EXPECT_EQ(GetSiteKeySource().result, kKeyStoreOk);

    OpenAndSense();
    EXPECT_EQ(Name(), "Alice Example");
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);

    Remember("alice", "s3cret-pass");
    EXPECT_NE(StoredPassword(), builtInForm) << "masked with the built-in mask";
    EXPECT_EQ(RememberedPassword(), "s3cret-pass");

    // Unloading brings back the built-in keys: the pair written under the site's mask reads as no
    // pair (its record holds the check of another mask), and the reader refuses the library.
    Reload();
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, ZUK_SITE_KEYS_VALUE);
    Reload();
    EXPECT_EQ(GetSiteKeySource().result, kKeyStoreNone);
    EXPECT_EQ(RememberedPassword(), "");
    int handle = 0;
    EXPECT_NE(ZUKOpen(&handle), ZUK_OK)
        << "a reader moved to the site's keys took the built-in ones";
}

TEST_F(SiteKeysTest, AReaderHoldingTheBuiltInSetRefusesTheSiteKeys) {
    const std::uint8_t builtIn[24] = ZUK_OPERATIONAL_KEYS_INIT;
    InstallAndReload(builtIn);
    int handle = 0;
    const int result = ZUKOpen(&handle);
    EXPECT_NE(result, ZUK_OK);
    EXPECT_TRUE(IsDocumentedResult(result)) << ResultName(result);
    EXPECT_EQ(std::memcmp(sim.heldKeys, builtIn, 24), 0) << "the reader's keys changed";
    // The event log names the reader's port and its refusal, not the keys.
    ASSERT_FALSE(FakeEventLog().empty());
    const FakeEventRecord event = FakeEventLog().back();
    EXPECT_EQ(event.id, 103u);
    EXPECT_EQ(event.type, PLAT_EVENT_ERROR);
    ASSERT_EQ(event.strings.size(), 2u);
    EXPECT_NE(event.strings[0].find(portName), std::string::npos) << event.strings[0];
}

TEST_F(SiteKeysTest, AFactoryReaderIsProvisionedWithTheSiteSet) {
    SimReaderInit(&sim, site.initial, site.operational, false);
    PlaceCard();
    ASSERT_EQ(SiteKeyStoreWrite(0, site), 0);
    Reload();
    OpenAndSense();
    EXPECT_EQ(Name(), "Alice Example");
    EXPECT_EQ(std::memcmp(sim.heldKeys, site.operational, 24), 0);
}

TEST_F(SiteKeysTest, UnusableStoredKeysLeaveTheLibraryWithoutKeys) {
    Remember("alice", "s3cret-pass");
    struct Case {
        const char *what;
        void (*arrange)();
        std::uint32_t status;
    };
    const Case cases[] = {
        {"another machine's keys", [] { FakeSetProtectIdentity(7, 1); },
         SESSION_ERR_KEYS_UNDECRYPTABLE},
        {"no MachineGuid",
         [] { FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid"); },
         SESSION_ERR_KEYS_UNDECRYPTABLE},
        {"a value of another type",
         [] {
             FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, ZUK_SITE_KEYS_VALUE, "x");
         },
         SESSION_ERR_KEYS_UNREADABLE},
        // Keys stored before weak keys were refused: a mask of zeros would leave the remembered
        // password in the clear.
        {"weak stored keys",
         [] {
             SiteKeys weak;
             SiteKeysWipe(&weak);
             for (std::size_t i = 0; i < sizeof weak.initial; ++i)
                 weak.initial[i] = static_cast<std::uint8_t>(0x10 + i);
             for (std::size_t i = 0; i < sizeof weak.operational; ++i)
                 weak.operational[i] = static_cast<std::uint8_t>(0x40 + i);
             for (std::size_t i = 0; i < sizeof weak.reader; ++i)
                 weak.reader[i] = static_cast<std::uint8_t>(0x80 + i);
             ASSERT_EQ(SiteKeyStoreWrite(0, weak), 0);
         },
         SESSION_ERR_KEYS_WEAK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeSetProtectIdentity(1, 1);
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_MACHINE_GUID_KEY, "MachineGuid", kGuid);
        const std::uint8_t builtIn[24] = ZUK_OPERATIONAL_KEYS_INIT;
        InstallAndReload(builtIn);  // the reader holds the built-in set: a fallback would open it
        Remember("alice", "s3cret-pass");
        c.arrange();
        Reload();
        ASSERT_EQ(TraceLines().size(), 1u);
        char line[64];
        std::snprintf(line, sizeof line, "DllLoad,LOW,0x00040000,0x%08x", c.status);
        EXPECT_EQ(TraceLines()[0], line) << "the load says why";
        ASSERT_FALSE(FakeEventLog().empty());
        const FakeEventRecord event = FakeEventLog().back();
        EXPECT_EQ(event.id, 102u) << "and so does the event log";
        EXPECT_EQ(event.type, PLAT_EVENT_ERROR);
        ASSERT_EQ(event.strings.size(), 2u);
        EXPECT_FALSE(event.strings[0].empty());

        const std::size_t framesBefore = sim.log.size();
        const std::size_t boxesBefore = FakeMessageBoxesShown().size();
        int handle = 0;
        EXPECT_RESULT(ZUKOpen(&handle), ZUK_ERR_SYSTEM);
        // No Retry is offered: a retry fails the same way until an administrator acts.
        EXPECT_EQ(FakeMessageBoxesShown().size(), boxesBefore)
            << "a retry prompt for unusable site keys";
        int present = 0;
        EXPECT_RESULT(ZUKSenseCard(1, &present), ZUK_ERR_NOT_OPEN);
        EXPECT_EQ(sim.log.size(), framesBefore) << "a frame went to the reader";
        std::snprintf(line, sizeof line, "ZUKOpen,LOW,0x00040000,0x%08x", c.status);
        EXPECT_EQ(TraceLines()[1], line);
        EXPECT_EQ(RememberedPassword(), "") << "a password read without the site's mask";
        char text[kStoredTextSize];
        EXPECT_EQ(ScramblePassword(reinterpret_cast<const std::uint8_t *>("new"), 3, text), 0);
        EXPECT_NE(WriteCredentials("bob", 3, "00", 2, Remembered), 0);
        EXPECT_RESULT(StatusResult(c.status), ZUK_ERR_SYSTEM);
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, ZUK_SITE_KEYS_VALUE);
    }
}

}  // namespace
