// Group Policy over the machine values and the INI: each policy value wins over what it names and
// is checked like it; the source of each effective value is known; without the policy key nothing
// changes.  And the revocation lists: a revoked card identifies nobody through any export, without
// a read of its items or a touch of its failure count, while sensing still finds it.
#include <cstring>

#include "api_fixture.h"
#include "platform/eventlog.h"
#include "settings/policy.h"
#include "settings/revocation.h"
#include "status/status_table.h"
#include "tests/result_expect.h"

namespace {

const char kPolicyKey[] = ZUK_POLICY_KEY;

class PolicyTest : public ApiTest {
protected:
    int FailureCount() const { return card.blocks[1][0][1]; }
};

TEST_F(PolicyTest, WithoutPoliciesEverySettingHasItsOwnSource) {
    ASSERT_TRUE(Reload("[Prompt]\nUnattended=1\n"));
    EXPECT_EQ(GetSettingSource(kPolicyMode), kSourceMachine);
    EXPECT_EQ(GetSettingSource(kPolicyConfigRememberItems), kSourceMachine);
    EXPECT_EQ(GetSettingSource(kPolicyUnattended), kSourceIni);
    EXPECT_EQ(GetSettingSource(kPolicyStrictLink), kSourceDefault);
    EXPECT_EQ(GetSettingSource(kPolicyLogMode), kSourceIni);
    EXPECT_EQ(GetLibraryMode(), kLibraryModeCard);
    EXPECT_EQ(GetRememberItems(), kRememberIdAndPassword);
}

TEST_F(PolicyTest, EachPolicyValueWinsOverWhatItNames) {
    struct Case {
        const char *name;
        std::uint32_t value;
        bool (*holds)();
    };
    const Case cases[] = {
        {"Mode", 0, [] { return GetLibraryMode() == kLibraryModeOff; }},
        {"Mode", 768, [] { return GetLibraryMode() == kLibraryModeCardOrTyped; }},
        {"Device", 0, [] { return GetDeviceKind() == kDeviceNone; }},
        {"ConfigInputItems", 3, [] { return GetInputItems() == kInputIdAndPassword; }},
        {"ConfigRememberItems", 0,
         [] { return GetRememberItems() == kRememberNothing && GetInputItems() == kInputIdOnly; }},
        {"ConfigRememberStore", 0x100, [] { return GetRememberStore() == kRememberStoreVolatile; }},
        {"ConfigReuseBlock", 0xF000, [] { return GetReuseBlock() == 0xF000u; }},
        {"ConfigDialogVariant", 0x10000,
         [] { return GetDialogVariant() == kDialogVariantMaskedId; }},
        {"Unattended", 1, [] { return GetUnattended(); }},
        {"StrictLink", 1, [] { return GetStrictLink() == 1; }},
        {"LogMode", 0, [] { return GetLogMode() == kLogModeOff; }},
        {"ProtectPasswords", 1, [] { return GetProtectPasswords(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + std::to_string(c.value));
        FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, c.name, c.value);
        ASSERT_TRUE(Reload("[Prompt]\nUnattended=0\n"));
        EXPECT_TRUE(c.holds());
        PolicyValue v = kPolicyCount;
        for (int i = 0; i < kPolicyCount; ++i) {
            if (std::strcmp(PolicyValueName(static_cast<PolicyValue>(i)), c.name) == 0)
                v = static_cast<PolicyValue>(i);
        }
        ASSERT_NE(v, kPolicyCount);
        EXPECT_EQ(GetSettingSource(v), kSourcePolicy);
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, c.name);
    }
    // FeliCa is text; the process's own environment does not beat a policy either.
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, "FeliCa", "IDM");
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, "Unattended", 0);
    FakeSetEnvironment(kEnvUnattended, "1");
    ASSERT_TRUE(Reload());
    EXPECT_EQ(GetIdmAsAccount(), 1u);
    EXPECT_FALSE(GetUnattended());
    EXPECT_EQ(GetSettingSource(kPolicyUnattended), kSourcePolicy);
}

TEST_F(PolicyTest, AnUnusablePolicyValueRefusesTheLoadAsTheMachineValueWould) {
    struct Case {
        const char *name;
        bool text;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"Mode", true, 0},                     // not a number of four bytes
        {"Device", false, 2},                  // no such reader kind
        {"ConfigRememberItems", false, 0x31},  // bits outside the group
        {"ConfigInputItems", true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.text) {
            FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, c.name,
                             "a long text, not a number");
        } else {
            FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, c.name, c.value);
        }
        EXPECT_FALSE(Reload());
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, c.name);
        EXPECT_TRUE(Reload());
    }
}

// A load refused by a policy value says which one in the trace (the INI's trace settings still
// apply), and the library stays unloaded until the value is mended.
TEST_F(PolicyTest, ARefusedLoadIsTracedWithThePolicyValue) {
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, "ProtectPasswords", "1");
    ClearTrace();
    EXPECT_FALSE(Reload("[Credentials]\nProtectPasswords=1\n"));
    ASSERT_FALSE(TraceLines().empty());
    EXPECT_EQ(TraceLines().back(),
              "DllLoad,NOTE,policy value ProtectPasswords is a REG_SZ of 2 bytes (\"1\"): of the "
              "wrong type "
              "(a REG_DWORD of 0 or 1 is accepted); the library refuses to load");
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, kPolicyKey, "ProtectPasswords", 1);
    EXPECT_TRUE(Reload());
    EXPECT_TRUE(GetProtectPasswords());
}

TEST(RevocationList, EntriesAreSixteenHexadecimalDigits) {
    const struct {
        const char *text;
        bool valid;
        std::uint64_t idm;
    } cases[] = {
        {"0123456789ABCDEF", true, 0x0123456789ABCDEFull},
        {"0123456789abcdef", true, 0x0123456789ABCDEFull},
        {"  0123456789abcdef ", true, 0x0123456789ABCDEFull},
        {"0123456789abcde", false, 0},
        {"0123456789abcdef0", false, 0},
        {"0123456789abcdeg", false, 0},
        {"01 23456789abcdef", false, 0},
        {"", false, 0},
        // As zukcard prints it, or with colons or hyphens: one separator between every two pairs.
        {"01 2E 4C 1F 93 0A 55 07", true, 0x012E4C1F930A5507ull},
        {"01:2e:4c:1f:93:0a:55:07", true, 0x012E4C1F930A5507ull},
        {"01-2E-4C-1F-93-0A-55-07", true, 0x012E4C1F930A5507ull},
        {" 01 2E 4C 1F 93 0A 55 07 ", true, 0x012E4C1F930A5507ull},
        {"01 2E:4C 1F 93 0A 55 07", true, 0x012E4C1F930A5507ull},
        {"01  2E 4C 1F 93 0A 55 07", false, 0},
        {"012 E4C 1F 93 0A 55 07 0", false, 0},
        {":01 2E 4C 1F 93 0A 55 07", false, 0},
        {"01 2E 4C 1F 93 0A 55", false, 0},
        {"01 2E 4C 1F 93 0A 55 07:", false, 0},
    };
    for (const auto &c : cases) {
        std::uint64_t idm = 0;
        EXPECT_EQ(ParseRevokedIdm(c.text, std::strlen(c.text) + 1, &idm), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(idm, c.idm) << c.text;
        }
    }
}

TEST_F(PolicyTest, ARevokedCardIdentifiesNobodyThroughAnyExport) {
    OpenAndSense();
    const std::string idm = IdmText();
    // One list by policy, the other kept by the machine; malformed entries beside it count for
    // nothing.
    int malformed = 0;
    for (const char *key : {ZUK_REVOKED_POLICY_KEY, ZUK_REVOKED_MACHINE_KEY}) {
        SCOPED_TRACE(key);
        malformed += 2;
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, key, "a", "not an IDm");
        FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, key, "b", 7);
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, key, idm, idm);
        const std::size_t commands = card.commands.size();
        const int count = FailureCount();
        char text[64];
        int length = sizeof text;
        EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
        length = sizeof text;
        EXPECT_RESULT(ZUKGetUserOption(1, text, &length), ZUK_ERR_CARD_LOCKED);
        length = sizeof text;
        EXPECT_RESULT(ZUKGetAdminOption(1, text, &length), ZUK_ERR_CARD_LOCKED);
        EXPECT_RESULT(ZUKVerifyPIN(1, 4, "9999"), ZUK_ERR_CARD_LOCKED);
        EXPECT_EQ(card.commands.size(), commands) << "nothing of the card was read";
        EXPECT_EQ(FailureCount(), count);
        int present = 0;
        EXPECT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
        EXPECT_EQ(present, 1);
        EXPECT_EQ(RevokedCardCount(), 1);
        EXPECT_EQ(MalformedRevocationEntries(), malformed);
        EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOKED);
        // Taken off the list, the card works again at once, in the same loaded library.
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, key, idm);
        length = sizeof text;
        EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_OK);
        EXPECT_RESULT(ZUKVerifyPIN(1, 4, "1234"), ZUK_OK);
    }
}

TEST_F(PolicyTest, ARevokedCardInTheAccountFlowIsALockedCard) {
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "1", IdmText());
    char account[128], password[256];
    // Unattended: the call ends with the lock, nothing shown, no PIN asked.
    Configure(kLibraryModeCard, kDeviceReader, kTestConfig, "[Prompt]\nUnattended=1\n");
    Open();
    AccountRequest r{
        ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    EXPECT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_ERR_CARD_LOCKED);
    EXPECT_TRUE(FakeDialogsShown().empty() || FakeDialogsShown().back().kind != FAKE_DIALOG_PIN);
    EXPECT_TRUE(FakeMessageBoxesShown().empty());
    EXPECT_EQ(card.writes, 0);
    EXPECT_RESULT(ZUKClose(1), ZUK_OK);
    // Attended: the revoked card's notice, until the card is taken away.
    Configure(kLibraryModeCard, kDeviceReader, kTestConfig);
    LoadMessageCatalogue(ZUK_SOURCE_DIR "/dist/ZukLang_0409.txt");
    Open();
    FakeMessageBoxSetHook(
        [](const FakeMessageBox &, void *self) { static_cast<PolicyTest *>(self)->RemoveCard(); },
        this);
    FakeMessageBoxScript({PLAT_IDOK});
    FakeDialogScript({{FAKE_DIALOG_CARD_WAIT, -1, "", "", "", nullptr, nullptr}});
    r = AccountRequest{
        ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
    EXPECT_RESULT(ZUKGetUserAccount(1, &r, 0, nullptr), ZUK_CANCELLED);
    ASSERT_EQ(FakeMessageBoxesShown().size(), 1u);
    // Its own notice, not the one of a card locked by wrong PINs.
    EXPECT_EQ(FakeMessageBoxesShown()[0].caption, "Card revoked");
    EXPECT_EQ(FakeMessageBoxesShown()[0].text, GetMessageText(kMsgRevokedText));
    EXPECT_NE(FakeMessageBoxesShown()[0].text.find("revoked on this computer"), std::string::npos);
    EXPECT_EQ(card.writes, 0);
    FakeMessageBoxSetHook(nullptr, nullptr);
    bool revokedTraced = false;
    for (const std::string &line : TraceLines()) {
        if (line.find("ZUKGetUserAccount,LOW,0x00000006,0x10000008") != std::string::npos)
            revokedTraced = true;
    }
    EXPECT_TRUE(revokedTraced);
}

// A list that changed but cannot be read now keeps the list in force: a passing registry failure
// never lets a revoked card back in.
TEST_F(PolicyTest, AListThatCannotBeReadKeepsTheOneReadBefore) {
    OpenAndSense();
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card", IdmText());
    char text[64];
    int length = sizeof text;
    ASSERT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
    ASSERT_FALSE(FakeEventLog().empty());
    EXPECT_EQ(FakeEventLog().back().id, 200u) << "a revoked card met";
    EXPECT_EQ(FakeEventLog().back().strings, std::vector<std::string>{IdmText()});
    for (FakeCall call :
         {FAKE_CALL_REG_ENUM_VALUE, FAKE_CALL_REG_OPEN_KEY, FAKE_CALL_REG_LAST_WRITE}) {
        SCOPED_TRACE(FakeCallName(call));
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "other",
                         "0000000000000001");
        FakeFail(call, FAKE_FAIL_EVERY);
        length = sizeof text;
        EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
        FakeFailNone();
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "other");
    }
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
    EXPECT_EQ(RevokedCardCount(), 1);
}

TEST_F(PolicyTest, TenThousandEntriesStillFindTheCard) {
    OpenAndSense();
    for (int i = 0; i < 10000; ++i) {
        char entry[17];
        std::snprintf(entry, sizeof entry, "01%014X", static_cast<unsigned>(i) * 7919u);
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, std::to_string(i), entry);
    }
    char text[64];
    int length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_OK);
    EXPECT_EQ(RevokedCardCount(), 10000);
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "last", IdmText());
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
}

// Both lists are held whole or not at all.  Duplicates, within a list or across both, take no
// room: 32,768 distinct cards fit however often they are named.  One distinct card more and no
// list is in force: every card is refused with a status that says so, never a list cut short.
TEST_F(PolicyTest, TheListsAreHeldWholeOrEveryCardIsRefused) {
    OpenAndSense();
    auto filler = [](int i) {
        char entry[17];
        std::snprintf(entry, sizeof entry, "FF%014X", static_cast<unsigned>(i));
        return std::string(entry);
    };
    for (int i = 0; i < kMaxRevokedCards - 1; ++i) {
        const std::string name = "c" + std::to_string(100000 + i);
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, name, filler(i));
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, name, filler(i));
    }
    // Enumerated last ("z..."), after twice 32,767 entries: the 32,768th distinct card.
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "zz card", IdmText());
    char text[64];
    int length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
    EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOKED);
    EXPECT_EQ(RevokedCardCount(), kMaxRevokedCards);
    EXPECT_EQ(RevocationEntriesRead(), 2 * kMaxRevokedCards - 1);
    const std::uint8_t other[8] = {0x02, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(CardRevocationStanding(other), kCardAccepted);

    // The 32,769th distinct card: every card is refused, and the trace says why.
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "one more",
                     filler(kMaxRevokedCards));
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_SYSTEM);
    EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOCATION_TOO_LONG);
    EXPECT_EQ(CardRevocationStanding(other), kRevocationTooLong);
    EXPECT_EQ(RevocationListState(), kRevocationTooLong);
    ASSERT_FALSE(FakeEventLog().empty());
    EXPECT_EQ(FakeEventLog().back().id, 104u) << "the list not held whole";
    EXPECT_EQ(FakeEventLog().back().type, PLAT_EVENT_ERROR);
    EXPECT_GT(RevokedCardCount(), kMaxRevokedCards);
    EXPECT_EQ(TraceLines().back(), "ZUKGetUserName,LOW,0x00040000,0x10000020");
    // One event for the spell, however often a host calls while it lasts.
    auto notWholeEvents = [] {
        int n = 0;
        for (const FakeEventRecord &e : FakeEventLog()) n += e.id == 104u;
        return n;
    };
    for (int i = 0; i < 3; ++i) {
        length = sizeof text;
        EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_SYSTEM);
    }
    EXPECT_EQ(notWholeEvents(), 1);

    // Taken off again: the list is whole, the unlisted card is accepted, the listed one is not.
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "one more");
    EXPECT_EQ(CardRevocationStanding(other), kCardAccepted);
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "zz card");
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_OK);
    // A new spell after the lists were whole is a new event.
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "one more",
                     filler(kMaxRevokedCards));
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "two more",
                     filler(kMaxRevokedCards + 1));
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_SYSTEM);
    EXPECT_EQ(notWholeEvents(), 2);
}

// A list never read whole is no list: until one reading succeeds every card is refused.
TEST_F(PolicyTest, AListNeverReadWholeRefusesEveryCard) {
    OpenAndSense();
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "1", "0000000000000001");
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card", IdmText());
    FakeFail(FAKE_CALL_REG_ENUM_VALUE, FAKE_FAIL_EVERY);
    char text[64];
    int length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_SYSTEM);
    EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOCATION_UNREADABLE);
    FakeFailNone();
    length = sizeof text;
    EXPECT_RESULT(ZUKGetUserName(1, text, &length), ZUK_ERR_CARD_LOCKED);
    EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOKED);
}

// What Group Policy Preferences and administrators write: REG_EXPAND_SZ values, and REG_MULTI_SZ
// values with one IDm per string.  Every string counts, an empty one in between too; a malformed
// value is counted while the IDms beside it still revoke; a REG_MULTI_SZ value too long to read
// leaves no list in force.
TEST_F(PolicyTest, EveryStringTypeRevokes) {
    OpenAndSense();
    const std::string idm = IdmText();
    const std::string spaced = idm.substr(0, 2) + " " + idm.substr(2, 2) + " " + idm.substr(4, 2) +
                               " " + idm.substr(6, 2) + " " + idm.substr(8, 2) + " " +
                               idm.substr(10, 2) + " " + idm.substr(12, 2) + " " +
                               idm.substr(14, 2);
    const struct {
        const char *what;
        std::uint32_t type;
        std::string data;
        int malformed;
        int revoked;  // 1: the card is revoked; 2: every card is refused
    } cases[] = {
        {"REG_EXPAND_SZ", PLAT_REG_EXPAND_SZ, idm + std::string(1, '\0'), 0, 1},
        {"REG_SZ as zukcard prints it", PLAT_REG_SZ, spaced + std::string(1, '\0'), 0, 1},
        {"REG_MULTI_SZ", PLAT_REG_MULTI_SZ,
         "0000000000000001" + std::string(1, '\0') + idm + std::string(2, '\0'), 0, 1},
        {"REG_MULTI_SZ after an empty string", PLAT_REG_MULTI_SZ,
         "0000000000000001" + std::string(2, '\0') + idm + std::string(2, '\0'), 0, 1},
        {"REG_MULTI_SZ with a malformed string", PLAT_REG_MULTI_SZ,
         "lost card" + std::string(1, '\0') + idm + std::string(2, '\0'), 1, 1},
        {"REG_MULTI_SZ without strings", PLAT_REG_MULTI_SZ, std::string(2, '\0'), 1, 0},
        {"REG_BINARY", PLAT_REG_BINARY, idm, 1, 0},
        {"REG_MULTI_SZ over 64 KB", PLAT_REG_MULTI_SZ, std::string(kMaxRevocationValue + 1, 'A'), 0,
         2},
    };
    for (const char *key : {ZUK_REVOKED_POLICY_KEY, ZUK_REVOKED_MACHINE_KEY}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(key) + ": " + c.what);
            FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, key, "entry", c.type, c.data);
            char text[64];
            int length = sizeof text;
            const int result = ZUKGetUserName(1, text, &length);
            EXPECT_EQ(result, c.revoked == 0   ? ZUK_OK
                              : c.revoked == 1 ? ZUK_ERR_CARD_LOCKED
                                               : ZUK_ERR_SYSTEM);
            if (c.revoked == 1) {
                EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOKED);
            }
            if (c.revoked == 2) {
                EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOCATION_TOO_LONG);
            }
            EXPECT_EQ(MalformedRevocationEntries(), c.malformed);
            FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, key, "entry");
        }
    }
}

}  // namespace
