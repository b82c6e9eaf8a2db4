// Shared set-up of the export tests: the library loaded from a working configuration (reader on
// COM3, trace of every outcome), the fake serial port wired to an in-process simulated reader with
// a card holding an account, a password and a PIN, and helpers to read the trace and the store.
#ifndef ZUK_TESTS_API_FIXTURE_H
#define ZUK_TESTS_API_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZUKcntrl.h"
#include "api/frame.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "platform/fake/fake_internal.h"
#include "platform/messagebox.h"
#include "settings/config.h"
#include "settings/messages.h"
#include "tests/native/sim_fixture.h"
#include "tests/native/support.h"
#include "tests/result_expect.h"

// The machine values every test loads with first: accounts from the card (Mode 256), the reader
// (Device 1), the user ID alone read from the card, ID and password remembered in the durable key
// (Config 0x231).
const std::uint32_t kTestConfig = kRememberStoreNonVolatile | kRememberIdAndPassword | kInputIdOnly;

class ApiTest : public SimReaderTest {
protected:
    void SetUp() override {
        SimReaderTest::SetUp();
        std::remove(LogPath().c_str());
        // The card every test starts with: the simulator's sample card file, as zuk-reader-sim
        // --card and the Wine tests read it.
        std::string error;
        ASSERT_TRUE(SimCardReadDescriptionFile(ZUK_ALICE_CARD, &description, &error)) << error;
        PlaceCard();
        Configure(kLibraryModeCard, kDeviceReader, kTestConfig);
    }
    void TearDown() override {
        EXPECT_FALSE(ApiIsBusy()) << "a test left the frame busy";
        ReleasePortMutex();
        SimReaderTest::TearDown();
        EXPECT_EQ(FakeRegOpenKeyCount(), 0) << "a registry key was left open";
    }

public:
    // Loads the library with these machine values and INI lines (added to the defaults).
    void Configure(std::uint32_t mode, std::uint32_t device, std::uint32_t config,
                   const std::string &extraIni = "", const char *felica = nullptr) {
        WriteValidMachineConfig();
        FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode", mode);
        FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", device);
        FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", config);
        if (felica != nullptr)
            FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "FeliCa", felica);
        FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                           "[Device]\nPortName=" + portName +
                               "\nDeviceName=PR300\n[Log]\nMode=3\n"
                               "[FeliCa]\nSystemCode=88B4\n" +
                               extraIni);
        ResetSettings();
        ClearMessageTexts();
        ASSERT_TRUE(LibraryAttach(nullptr));
    }

    // Opens the reader through the export.
    void Open() {
        int handle = -1;
        ASSERT_RESULT(ZUKOpen(&handle), ZUK_OK);
        ASSERT_EQ(handle, 1);
    }
    // Opens the reader and senses the card, as a host does before reading from it.
    void OpenAndSense() {
        Open();
        int present = 0;
        ASSERT_RESULT(ZUKSenseCard(1, &present), ZUK_OK);
        ASSERT_EQ(present, 1);
    }

    // The laid card's IDm as sixteen hexadecimal digits, as revocation lists and events write it.
    std::string IdmText() const {
        char text[17];
        for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", card.idm[i]);
        return text;
    }
    // Reloads the library with the machine values set and these INI lines (added to the defaults).
    bool Reload(const std::string &ini = "") {
        FakeProfileSetFile(TestInstallDir() + "ZUKcntrl.ini",
                           "[Device]\nPortName=" + portName +
                               "\nDeviceName=PR300\n[Log]\nMode=3\n"
                               "[FeliCa]\nSystemCode=88B4\n" +
                               ini);
        ReleasePortMutex();
        LibraryDetach();
        return LibraryAttach(nullptr);
    }

    static std::string LogPath() { return TestInstallDir() + "ZUKcntrl.log"; }
    // The trace's lines without their time stamps.
    static std::vector<std::string> TraceLines() {
        std::vector<std::string> lines;
        const std::string text = ReadFile(LogPath());
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > 20) lines.push_back(line.substr(20));
            start = end + 1;
        }
        return lines;
    }
    static void ClearTrace() { std::remove(LogPath().c_str()); }

    std::string portName = kSimPort;  // the INI's PortName
};

// Tests of the pairs the credential store keeps: the host's buffers, one account call into them,
// the pair it handed over, and whether a value stands in the user's registry.
class StoredPairTest : public ApiTest {
protected:
    int Get(int mode) {
        std::memset(account, 0x55, sizeof account);
        std::memset(password, 0x55, sizeof password);
        request = AccountRequest{
            ZUK_ACCOUNT_REQUEST_VERSION, account, sizeof account, password, sizeof password, 0, 0};
        return ZUKGetUserAccount(1, &request, mode, nullptr);
    }
    std::string Pair() const {
        return std::string(account, static_cast<std::size_t>(request.AccountLength)) + "/" +
               std::string(password, static_cast<std::size_t>(request.PasswordLength));
    }
    static bool Has(const char *key, const char *name) {
        std::string bytes;
        return FakeRegGetValue(PLAT_HKEY_CURRENT_USER, key, name, nullptr, &bytes);
    }
    static void ScriptPin() {
        FakeDialogScript({{FAKE_DIALOG_PIN, 2, "", "", "1234", nullptr, nullptr}});
    }

    char account[128];
    char password[256];
    AccountRequest request{};
};

#endif
