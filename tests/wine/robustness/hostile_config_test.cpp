// Hostile configuration under Wine: a log path that is a folder, a locked log file, a catalogue of
// 10 MB, a binary catalogue, registry strings of 1,024 bytes and more, odd INI values.  The exports
// behave as documented and nothing crashes.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/result_expect.h"
#include "tests/wine/robustness/robustness_common.h"
#include "tests/wine/support/sim_control.h"

namespace {

// An installation folder of this test's own, so the shipped catalogue stays as it is.
std::string HostileDir() {
    const std::string dir = ProgramDir() + "hostile\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteFileText(const std::string &path, const std::string &content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

// Loads the library from the hostile folder's settings and runs a host's cycle; every result.
std::vector<int> Cycle(const std::string &ini) {
    WriteFileText(HostileDir() + "ZUKcntrl.ini", ini);
    LoadedLibrary lib;
    if (lib.module == nullptr) return {};
    std::vector<int> results;
    int handle = 0;
    int present = 0;
    results.push_back(Cancelling([&] { return lib.Get<OpenFn>("ZUKOpen")(&handle); }));
    results.push_back(
        Cancelling([&] { return lib.Get<SenseFn>("ZUKSenseCard")(kReaderHandle, &present); }));
    results.push_back(Cancelling([&] {
        char text[64];
        int length = sizeof text;
        return lib.Get<ReadTextFn>("ZUKGetUserName")(kReaderHandle, text, &length);
    }));
    results.push_back(Cancelling([&] { return lib.Get<CloseFn>("ZUKClose")(1); }));
    return results;
}

// A cycle's results by name ("ZUK_OK (0), ZUK_ERR_PORT_OPEN (1280), ..."), so that a failure says
// which call gave what.
std::string Named(const std::vector<int> &results) {
    std::string text;
    for (int code : results) text += (text.empty() ? "" : ", ") + ResultName(code);
    return text;
}
std::string CycleNamed(const std::string &ini) { return Named(Cycle(ini)); }
const std::vector<int> kEveryCallOk = {ZUK_OK, ZUK_OK, ZUK_OK, ZUK_OK};

class HostileConfig : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Connected());
        ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
        WriteMachineConfig();
        SetMachineString("InstallPath", HostileDir());
        WriteFileText(HostileDir() + "ZukLang.csv", "0409,ZukLang_0409.txt\r\n");
        WriteFileText(HostileDir() + "ZukLang_0409.txt",
                      ReadWholeFile(InstallDir() + "ZukLang_0409.txt"));
    }
    void TearDown() override { ForgetSettings(); }
    SimControl sim;
};

TEST_F(HostileConfig, UnusableLogFiles) {
    const std::string dir = HostileDir();
    // The log path names a folder.
    EXPECT_EQ(CycleNamed(SimIni("[Log]\r\nMode=3\r\nFileName=" + dir + "\r\n")),
              Named(kEveryCallOk));
    // The log file is held open by another handle that shares nothing.
    const std::string log = dir + "locked.log";
    HANDLE held = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CycleNamed(SimIni("[Log]\r\nMode=3\r\nFileName=" + log + "\r\n")),
              Named(kEveryCallOk));
    CloseHandle(held);
    // A log path of 600 characters does not fit the setting: the default place is used or none.
    EXPECT_EQ(CycleNamed(SimIni("[Log]\r\nMode=3\r\nFileName=" + std::string(600, 'L') + "\r\n")),
              Named(kEveryCallOk));
}

TEST_F(HostileConfig, HugeAndBinaryCatalogues) {
    std::string huge;
    huge.reserve(10u << 20);
    while (huge.size() < (10u << 20)) huge += "00090002," + std::string(600, 'x') + "\\n\r\n";
    WriteFileText(HostileDir() + "ZukLang_0409.txt", huge);
    EXPECT_EQ(CycleNamed(SimIni()), Named(kEveryCallOk));
    std::string binary(64 * 1024, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteFileText(HostileDir() + "ZukLang_0409.txt", binary);
    WriteFileText(HostileDir() + "ZukLang.csv", binary.substr(0, 4096));
    EXPECT_EQ(CycleNamed(SimIni()), Named(kEveryCallOk));
}

TEST_F(HostileConfig, LongRegistryStrings) {
    // An installation path of 1,100 characters: the library refuses to load.
    SetMachineString("InstallPath", "C:\\" + std::string(1100, 'p') + "\\");
    {
        LoadedLibrary lib;
        EXPECT_EQ(lib.module, nullptr);
    }
    SetMachineString("InstallPath", HostileDir());
    // A FeliCa value of 2,000 bytes is not "IDM": the card's account is used as usual.
    SetMachineString("FeliCa", std::string(2000, 'I'));
    EXPECT_EQ(CycleNamed(SimIni()), Named(kEveryCallOk));
    DeleteMachineValue("FeliCa");
    // A port name of 1,024 characters cannot name the reader's port.
    const std::vector<int> results = Cycle("[Device]\r\nPortName=\\\\.\\" + std::string(1024, 'C') +
                                           "\r\n[FeliCa]\r\nSystemCode=88B4\r\n");
    ASSERT_FALSE(results.empty());
    EXPECT_NE(results[0], ZUK_OK);
    for (int code : results) EXPECT_TRUE(IsDocumentedResult(code)) << ResultName(code);
}

TEST_F(HostileConfig, OddIniValues) {
    const char *com = std::getenv("ZUK_SIM_COM");
    const std::vector<int> results =
        Cycle(std::string("[Device]\r\nPortName=\\\\.\\") + (com ? com : "COM1") +
              "\r\nDeviceName=PR300\r\nStrictLink=yes\r\n[Card]\r\nPollingInterval=-5\r\n"
              "VerifyRetry=abc\r\n[Log]\r\nMode=99999999999999999999\r\nFileName=\"\r\n"
              "[FeliCa]\r\nSystemCode=zzzz,,8165x,88B4\r\n");
    ASSERT_EQ(results.size(), 4u);
    EXPECT_RESULT(results[0], ZUK_OK);
    for (int code : results) EXPECT_TRUE(IsDocumentedResult(code)) << ResultName(code);
}

}  // namespace
