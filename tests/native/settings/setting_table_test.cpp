// The settings table: its rows are consistent, every governed setting is read from its policy
// value, and an unusable policy value of any setting refuses the load and is named exactly.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
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
        EXPECT_TRUE(row.machine[0] || row.key[0] || row.kind == kKindGroup || row.governed)
            << "stored nowhere, and no policy";
        EXPECT_EQ(row.section[0] == '\0', row.key[0] == '\0');
        if (row.key[0]) {
            EXPECT_TRUE(iniKeys.insert(std::string(row.section) + "/" + row.key).second);
        }
        EXPECT_EQ(row.kind == kKindGroup, row.bits != 0);
        EXPECT_TRUE(row.refusal == kRegistryConfigOk || row.machine[0])
            << "only machine values refuse";
        EXPECT_NE(row.meaning[0], '\0');
        EXPECT_EQ(std::string(PolicyValueName(static_cast<PolicyValue>(i))),
                  row.governed ? row.name : "");
        // A governed number says which values a policy may set; each group's values keep to its
        // bits.
        if (row.governed && row.kind != kKindText && row.kind != kKindCodes &&
            row.kind != kKindIdm) {
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
         "policy value ProtectPasswords is a REG_SZ of 2 bytes (\"1\"): of the wrong type (a "
         "REG_DWORD of 0 or 1 is accepted)"},
        {"ProtectPasswords", PLAT_REG_BINARY, std::string(8, '\1'), kProblemType,
         "REG_BINARY of 8 bytes"},
        {"Mode", PLAT_REG_SZ, Sz("768"), kProblemType, "Mode is a REG_SZ of 4 bytes (\"768\")"},
        {"Mode", PLAT_REG_DWORD, Dword(5), kProblemValue,
         "Mode is 5 (0x5): not an accepted value (a REG_DWORD of 0 or 256 or 768"},
        {"Mode", kRegQword, std::string(8, '\0'), kProblemType, "REG_QWORD of 8 bytes"},
        {"Device", PLAT_REG_DWORD, Dword(2), kProblemValue, "Device is 2"},
        {"ConfigInputItems", PLAT_REG_DWORD, Dword(2), kProblemValue,
         "(a REG_DWORD of 1 or 3 is accepted)"},
        {"ConfigInputItems", PLAT_REG_DWORD, Dword(0x13), kProblemValue,
         "ConfigInputItems is 19 (0x13)"},
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
        {"PortName", PLAT_REG_SZ, Sz(std::string(512, 'C')), kProblemTooLong,
         "too long (a REG_SZ of at most 511 characters"},
        {"SystemCode", PLAT_REG_SZ, Sz("8165,81G5"), kProblemValue, "four-digit hexadecimal codes"},
        {"SystemCode", PLAT_REG_SZ, Sz("1,2,3,4,5,6"), kProblemValue, "SystemCode"},
        {"CredentialProvider", PLAT_REG_SZ, Sz("0"), kProblemType,
         "CredentialProvider is a REG_SZ"},
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
    FakeProfileSetFile(
        TestInstallDir() + "ZUKcntrl.ini",
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
    for (Setting s : {kSettingPollingInterval, kSettingVerifyRetry, kSettingPortName,
                      kSettingOpenWait, kSettingSystemCode}) {
        EXPECT_EQ(GetSettingSource(s), kSourcePolicy) << SettingRowOf(s).name;
    }
    // An empty port name by policy: the port is looked up, whatever the INI says.
    SetPolicy("PortName", PLAT_REG_SZ, Sz(""));
    ASSERT_TRUE(Reattach());
    EXPECT_STREQ(GetPortName(), "");
}

// A setting that only a policy sets (the credential provider's switch) starts at its default on
// every load, and the policy replaces it.
TEST_F(Governed, APolicyOnlySettingStartsAtItsDefault) {
    char text[32];
    ASSERT_TRUE(Reattach());
    SettingValueText(kSettingCredentialProvider, text, sizeof text);
    EXPECT_STREQ(text, "1");
    EXPECT_EQ(GetSettingSource(kSettingCredentialProvider), kSourceDefault);
    SetPolicy("CredentialProvider", PLAT_REG_DWORD, Dword(0));
    ASSERT_TRUE(Reattach());
    SettingValueText(kSettingCredentialProvider, text, sizeof text);
    EXPECT_STREQ(text, "0");
    EXPECT_EQ(GetSettingSource(kSettingCredentialProvider), kSourcePolicy);
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, "CredentialProvider");
    ASSERT_TRUE(Reattach());
    SettingValueText(kSettingCredentialProvider, text, sizeof text);
    EXPECT_STREQ(text, "1") << "the policy's value outlived it";
}

std::string ReadSource(const std::string &path) {
    std::ifstream file(std::string(ZUK_SOURCE_DIR) + "/" + path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool IsText(const SettingRow &row) {
    return row.kind == kKindIdm || row.kind == kKindText || row.kind == kKindFile ||
           row.kind == kKindCodes;
}

// The values a policy may write, as configuration.md shows them.
std::string AcceptedText(const SettingRow &row) {
    if (row.kind == kKindIdm) return "`IDM`, `NONE`";
    if (row.kind == kKindCodes) return "one to five comma-separated four-digit hexadecimal codes";
    if (IsText(row)) return "a text of at most 511 characters";
    std::string text = row.accepted;
    const std::size_t range = text.find("..");
    if (range != std::string::npos) return text.substr(0, range) + " to " + text.substr(range + 2);
    std::string out;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%lX", std::stoul(word));
        out += (out.empty() ? "" : ", ") +
               (row.kind == kKindGroup && word != "0" ? std::string(hex) : word);
    }
    return out;
}

// What the policy replaces.
std::string ReplacesText(const SettingRow &row) {
    if (row.kind == kKindGroup) {
        char bits[32];
        std::snprintf(bits, sizeof bits, "`Config` bits 0x%05X", static_cast<unsigned>(row.bits));
        return bits;
    }
    std::string out;
    if (row.machine[0]) out = std::string("machine `") + row.machine + "`";
    if (row.key[0])
        out += (out.empty() ? "`[" : " and `[") + std::string(row.section) + "] " + row.key + "`";
    if (row.env[0]) out += std::string(" and `") + row.env + "`";
    return out.empty() ? "nothing (a policy only)" : out;
}

std::string GroupPolicyMarkdown() {
    std::string out =
        "| Policy value | Type | Replaces | Values | Meaning |\n|---|---|---|---|---|\n";
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (!row.governed) continue;
        out += std::string("| `") + row.name + "` | " + (IsText(row) ? "string" : "DWORD") + " | " +
               ReplacesText(row) + " | " + AcceptedText(row) + " | " + row.meaning + " |\n";
    }
    return out;
}

// The Group Policy table of docs/configuration.md is made from the governed rows.
TEST(SettingTable, TheConfigurationGroupPolicyTableIsTheTable) {
    const std::string all = ReadSource("docs/configuration.md");
    const std::string begin = "<!-- policy-table: made from settings/setting_table.h -->\n";
    const std::string end = "<!-- policy-table end -->";
    const std::size_t from = all.find(begin);
    const std::size_t to = all.find(end);
    ASSERT_NE(from, std::string::npos) << "docs/configuration.md has no line " << begin;
    ASSERT_NE(to, std::string::npos);
    const std::string expected = GroupPolicyMarkdown();
    if (all.substr(from + begin.size(), to - from - begin.size()) != expected) {
        const std::string path = std::string(ZUK_BINARY_DIR) + "/policy-table.md";
        std::ofstream(path) << expected;
        FAIL() << "the Group Policy table of docs/configuration.md differs from "
                  "settings/setting_table.h: put "
               << path << " between its markers";
    }
}

// The machine values' and the INI keys' tables of configuration.md name every row (the INI key
// with its default), and no other.
TEST(SettingTable, TheConfigurationTablesNameEveryRow) {
    const std::string all = ReadSource("docs/configuration.md");
    auto section = [&all](const std::string &heading) {
        const std::size_t from = all.find("\n## " + heading + "\n");
        const std::size_t to = from == std::string::npos ? from : all.find("\n## ", from + 4);
        return from == std::string::npos ? std::string() : all.substr(from, to - from);
    };
    std::set<std::string> machine, ini;
    const std::string machineSection = section("Machine registry values");
    const std::string doc = section("`ZUKcntrl.ini`");
    ASSERT_FALSE(machineSection.empty() || doc.empty());
    const std::regex machineLine(R"(\n\| `(\w+)` \| (string|DWORD) \|)");
    for (std::sregex_iterator m(machineSection.begin(), machineSection.end(), machineLine), e;
         m != e; ++m) {
        machine.insert((*m)[1]);
    }
    const std::regex iniLine(R"(\n\| `(\w+)` \| `(\w+)` \| ([^|]*) \|)");
    std::map<std::string, std::string> defaults;
    for (std::sregex_iterator m(doc.begin(), doc.end(), iniLine), e; m != e; ++m) {
        ini.insert(std::string((*m)[1]) + "/" + std::string((*m)[2]));
        defaults[std::string((*m)[1]) + "/" + std::string((*m)[2])] = (*m)[3];
    }
    std::set<std::string> rowsMachine, rowsIni;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (row.machine[0]) rowsMachine.insert(row.machine);
        if (!row.key[0]) continue;
        const std::string key = std::string(row.section) + "/" + row.key;
        rowsIni.insert(key);
        if (row.def[0] && defaults.count(key)) {
            EXPECT_NE(defaults[key].find(row.def), std::string::npos)
                << key << ": the default " << row.def;
        }
    }
    EXPECT_EQ(machine, rowsMachine) << "the machine values' table of docs/configuration.md";
    EXPECT_EQ(ini, rowsIni) << "the INI keys' table of docs/configuration.md";
}

// The shipped ZUKcntrl.ini shows every INI key of the table in its section (set or commented out)
// and no other key.
TEST(SettingTable, TheShippedIniShowsEveryIniKey) {
    std::istringstream file(ReadSource("dist/ZUKcntrl.ini"));
    std::set<std::string> shown;
    std::string section;
    const std::regex keyLine(R"(^;?(\w+)=.*)");
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::smatch m;
        if (line.size() > 2 && line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
        } else if (std::regex_match(line, m, keyLine)) {
            EXPECT_TRUE(shown.insert(section + "/" + std::string(m[1])).second) << line;
        }
    }
    std::set<std::string> rows;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
        if (row.key[0]) rows.insert(std::string(row.section) + "/" + row.key);
    }
    EXPECT_EQ(shown, rows);
}

// What the installers write into the library's key and into ZUKcntrl.ini are settings of the
// table, each in the type its kind reads.
TEST(SettingTable, TheInstallersWriteOnlySettingsOfTheTable) {
    auto machineRow = [](const std::string &name) -> const SettingRow * {
        for (int i = 0; i < kSettingCount; ++i) {
            const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
            if (name == row.machine) return &row;
        }
        return nullptr;
    };
    auto iniRow = [](const std::string &section, const std::string &key) -> const SettingRow * {
        for (int i = 0; i < kSettingCount; ++i) {
            const SettingRow &row = SettingRowOf(static_cast<Setting>(i));
            if (section == row.section && key == row.key) return &row;
        }
        return nullptr;
    };
    const std::string nsi = ReadSource("dist/ZUKcntrl.nsi");
    const std::string wxs = ReadSource("dist/msi/ZUKcntrl.wxs");
    ASSERT_FALSE(nsi.empty() || wxs.empty());
    int checked = 0;
    const std::regex nsiReg(R"re(WriteReg(Str|DWORD) HKLM "\$\{ZUK_KEY\}" "(\w+)")re");
    for (std::sregex_iterator m(nsi.begin(), nsi.end(), nsiReg), e; m != e; ++m, ++checked) {
        const SettingRow *row = machineRow((*m)[2]);
        ASSERT_NE(row, nullptr) << "ZUKcntrl.nsi writes the machine value " << (*m)[2];
        EXPECT_EQ((*m)[1] == "Str", IsText(*row) || row->kind == kKindPath) << row->name;
    }
    const std::regex nsiIni(R"re(WriteINIStr "[^"]*ZUKcntrl\.ini" "(\w+)" "(\w+)")re");
    for (std::sregex_iterator m(nsi.begin(), nsi.end(), nsiIni), e; m != e; ++m, ++checked) {
        EXPECT_NE(iniRow((*m)[1], (*m)[2]), nullptr)
            << "ZUKcntrl.nsi writes [" << (*m)[1] << "] " << (*m)[2];
    }
    const std::regex wxsReg(R"re(<RegistryValue Name="(\w+)" Type="(\w+)")re");
    for (std::sregex_iterator m(wxs.begin(), wxs.end(), wxsReg), e; m != e; ++m) {
        const SettingRow *row = machineRow((*m)[1]);
        if (!row) continue;  // the uninstall entries and the site keys are no settings
        ++checked;
        EXPECT_EQ((*m)[2] == "string", IsText(*row) || row->kind == kKindPath) << row->name;
    }
    EXPECT_GE(checked, 10);
}

}  // namespace
