// The settings table: its rows are consistent, every governed setting is read from its policy
// value, and an unusable policy value of any setting refuses the load and is named exactly.
#include <cstring>
#include <set>
#include <string>

#include "platform/fake/fake_platform.h"
#include "settings/config.h"
#include "settings/policy.h"
#include "settings/setting_table.h"
#include "tests/native/support.h"

namespace {

const std::uint32_t kRegQword = 11;

std::string Dword(std::uint32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); }
std::string Sz(const std::string &text) { return text + std::string(1, '\0'); }

TEST(SettingTable, EveryRowIsComplete) {
    std::set<std::string> names, iniKeys;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_TRUE(row.machine[0] || row.key[0] || row.kind == kKindGroup) << "stored nowhere";
        EXPECT_EQ(row.section[0] == '\0', row.key[0] == '\0');
        if (row.key[0]) {
            EXPECT_TRUE(iniKeys.insert(std::string(row.section) + "/" + row.key).second);
        }
        EXPECT_EQ(row.kind == kKindGroup, row.bits != 0);
        EXPECT_TRUE(row.refusal == kRegistryConfigOk || row.machine[0]) << "only machine values refuse";
        EXPECT_NE(row.meaning[0], '\0');
        EXPECT_EQ(std::string(PolicyValueName(static_cast<PolicyValue>(i))), row.governed ? row.name : "");
        // A governed number says which values a policy may set; each group's values keep to its bits.
        if (row.governed && row.kind != kKindText && row.kind != kKindCodes && row.kind != kKindIdm) {
            EXPECT_STRNE(row.accepted, "*");
        }
    }
}

TEST(SettingTable, AcceptedValuesAreListsOrRanges) {
    const SettingRow &mode = SettingRowOf(kSettingMode);
    const SettingRow &polling = SettingRowOf(kSettingPollingInterval);
    EXPECT_TRUE(SettingAccepts(mode, 768));
    EXPECT_FALSE(SettingAccepts(mode, 5));
    EXPECT_FALSE(SettingAccepts(mode, 76));
    EXPECT_TRUE(SettingAccepts(polling, 1) && SettingAccepts(polling, 60000));
    EXPECT_FALSE(SettingAccepts(polling, 0) || SettingAccepts(polling, 60001));
    EXPECT_TRUE(SettingAccepts(SettingRowOf(kSettingConfig), 0xFFFFFFFFu));
}

class Governed : public LibraryTest {
protected:
    void SetPolicy(const char *name, std::uint32_t type, const std::string &bytes) {
        FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, name, type, bytes);
    }
};

// The faults an administrator or an attacker meets: each unusable policy value refuses the load,
// whatever it governs, and the refusal names the value, how it is stored and what is accepted.
TEST_F(Governed, AnUnusablePolicyValueOfAnySettingRefusesTheLoadAndIsNamed) {
    const struct {
        const char *name;
        std::uint32_t type;
        std::string bytes;
        SettingProblem problem;
        const char *says;
    } cases[] = {
        {"ProtectPasswords", PLAT_REG_SZ, Sz("1"), kProblemType,
         "policy value ProtectPasswords is a REG_SZ of 2 bytes (\"1\"): of the wrong type (a REG_DWORD of 0 or 1 is accepted)"},
        {"ProtectPasswords", PLAT_REG_BINARY, std::string(8, '\1'), kProblemType, "REG_BINARY of 8 bytes"},
        {"Mode", PLAT_REG_SZ, Sz("768"), kProblemType, "Mode is a REG_SZ of 4 bytes (\"768\")"},
        {"Mode", PLAT_REG_DWORD, Dword(5), kProblemValue, "Mode is 5 (0x5): not an accepted value (a REG_DWORD of 0 or 256 or 768"},
        {"Mode", kRegQword, std::string(8, '\0'), kProblemType, "REG_QWORD of 8 bytes"},
        {"Device", PLAT_REG_DWORD, Dword(2), kProblemValue, "Device is 2"},
        {"ConfigInputItems", PLAT_REG_DWORD, Dword(2), kProblemValue, "(a REG_DWORD of 1 or 3 is accepted)"},
        {"ConfigInputItems", PLAT_REG_DWORD, Dword(0x13), kProblemValue, "ConfigInputItems is 19 (0x13)"},
        {"ConfigRememberItems", PLAT_REG_DWORD, Dword(0x20), kProblemValue, "0 or 16 or 48"},
        {"StrictLink", PLAT_REG_DWORD, Dword(2), kProblemValue, "StrictLink is 2"},
        {"Unattended", PLAT_REG_BINARY, Dword(1), kProblemType, "REG_BINARY of 4 bytes"},
        {"LogMode", PLAT_REG_DWORD, Dword(2), kProblemValue, "LogMode is 2"},
        {"FeliCa", PLAT_REG_SZ, Sz("idm"), kProblemValue, "a REG_SZ IDM or NONE is accepted"},
        {"FeliCa", PLAT_REG_DWORD, Dword(1), kProblemType, "FeliCa is 1 (0x1)"},
        {"PollingInterval", PLAT_REG_DWORD, Dword(0), kProblemValue, "from 1 to 60000"},
        {"VerifyRetry", PLAT_REG_DWORD, Dword(101), kProblemValue, "from 0 to 100"},
        {"OpenWait", PLAT_REG_SZ, Sz("5000"), kProblemType, "OpenWait is a REG_SZ"},
        {"PortName", PLAT_REG_DWORD, Dword(3), kProblemType, "PortName is 3"},
        {"PortName", PLAT_REG_SZ, Sz(std::string(512, 'C')), kProblemTooLong, "too long (a REG_SZ of at most 511 characters"},
        {"SystemCode", PLAT_REG_SZ, Sz("8165,81G5"), kProblemValue, "four-digit hexadecimal codes"},
        {"SystemCode", PLAT_REG_SZ, Sz("1,2,3,4,5,6"), kProblemValue, "SystemCode"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.says);
        FakePlatformReset();
        WriteValidMachineConfig();
        SetPolicy(c.name, c.type, c.bytes);
        EXPECT_EQ(LoadRegistryConfig(), kRegistryConfigBadPolicy);
        Setting setting = kSettingCount;
        const PolicyRead *read = nullptr;
        ASSERT_TRUE(GetRefusedPolicy(&setting, &read));
        EXPECT_STREQ(PolicyValueName(setting), c.name);
        EXPECT_EQ(read->problem, c.problem);
        char text[512];
        DescribeRefusedPolicy(setting, *read, text, sizeof text);
        EXPECT_NE(std::string(text).find(c.says), std::string::npos) << text;
        EXPECT_NE(std::string(text).find("the library refuses to load"), std::string::npos);
        EXPECT_FALSE(Reattach());
    }
    // The same number as a machine value loads (zukcli warns about it); only the policy refuses.
    FakePlatformReset();
    WriteValidMachineConfig();
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode", 5);
    EXPECT_EQ(LoadRegistryConfig(), kRegistryConfigOk);
    EXPECT_FALSE(GetRefusedPolicy(nullptr, nullptr));
}

// The settings governed besides the machine values and switches: each policy wins over the INI
// (and a process's environment), with its source.
TEST_F(Governed, TheReaderSettingsFollowTheirPolicies) {
    FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                       "[Card]\nPollingInterval=250\nVerifyRetry=0\n[Device]\nPortName=COM3\nOpenWait=100\n"
                       "[FeliCa]\nSystemCode=8165\n");
    FakeSetEnvironment(kEnvOpenWait, "200");
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetOpenWaitMs(), 200);
    EXPECT_EQ(GetSettingSource(kSettingOpenWait), kSourceEnvironment);
    EXPECT_EQ(GetSettingSource(kSettingPortName), kSourceIni);
    EXPECT_EQ(GetSettingSource(kSettingDeviceName), kSourceDefault);

    SetPolicy("PollingInterval", PLAT_REG_DWORD, Dword(500));
    SetPolicy("VerifyRetry", PLAT_REG_DWORD, Dword(2));
    SetPolicy("PortName", PLAT_REG_SZ, Sz("\\\\.\\COM12"));
    SetPolicy("OpenWait", PLAT_REG_DWORD, Dword(5000));
    SetPolicy("SystemCode", PLAT_REG_SZ, Sz("88B4,8165"));
    ASSERT_TRUE(Reattach());
    EXPECT_EQ(GetPollingInterval(), 500);
    EXPECT_EQ(GetVerifyRetry(), 2);
    EXPECT_STREQ(GetPortName(), "\\\\.\\COM12");
    EXPECT_EQ(GetOpenWaitMs(), 5000);
    const std::uint8_t *codes = nullptr;
    ASSERT_EQ(GetSystemCodes(&codes), 2);
    EXPECT_EQ(codes[0], 0x88);
    EXPECT_EQ(codes[1], 0xB4);
    for (Setting s : {kSettingPollingInterval, kSettingVerifyRetry, kSettingPortName, kSettingOpenWait,
                      kSettingSystemCode}) {
        EXPECT_EQ(GetSettingSource(s), kSourcePolicy) << SettingRowOf(s).name;
    }
    // An empty port name by policy: the port is looked up, whatever the INI says.
    SetPolicy("PortName", PLAT_REG_SZ, Sz(""));
    ASSERT_TRUE(Reattach());
    EXPECT_STREQ(GetPortName(), "");
}

}  // namespace
