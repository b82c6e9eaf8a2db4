// Protected passwords in Wine's real registry with its real data protection (crypt32): the switch
// from the machine value, the stored form (a binary value, no masked one, the password nowhere in
// a registry export), either form read whatever the switch says, a blob that does not open, and a
// hand-over and pick-up through ZUKcntrl.dll with its typed prompt.  Wine's data protection is not
// bound to the user or the machine, so "not ours" here is a blob made with other entropy.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ZUKcntrl.h"
#include "api/workers.h"
#include "platform/protect.h"
#include "resources/dialog_ids.h"
#include "settings/config.h"
#include "settings/credentials.h"
#include "tests/wine/support/ui_watcher.h"
#include "tests/wine/support/wine_support.h"
#include "tools/zuk_exports.h"
#include "tests/result_expect.h"

namespace {

const char kSecret[] = "Wine-Pa55word";
const DWORD kPairRemembered =
    kInputIdAndPassword | kRememberIdAndPassword | kRememberStoreNonVolatile;

// The exact bytes of a value of the current user's store and its type; "<none>" when absent.
std::string UserValue(const char *key, const char *name, DWORD *type = nullptr) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &k) != 0) return "<none>";
    BYTE data[4096] = {0};
    DWORD size = sizeof data, t = 0;
    const LONG error = RegQueryValueExA(k, name, nullptr, &t, data, &size);
    RegCloseKey(k);
    if (error != 0) return "<none>";
    if (type) *type = t;
    return std::string(reinterpret_cast<char *>(data), size);
}

void SetUserBinary(const char *key, const char *name, const std::string &bytes) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                              nullptr),
              0);
    RegSetValueExA(k, name, 0, REG_BINARY, reinterpret_cast<const BYTE *>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(k);
}

std::string Masked(const char *password) {
    char text[kStoredTextSize] = {0};
    const std::int32_t n = ScramblePassword(reinterpret_cast<const std::uint8_t *>(password),
                                            static_cast<std::int32_t>(std::strlen(password)), text);
    return std::string(text, static_cast<std::size_t>(n));
}

// The pair as ReadCredentials gives it, the password unmasked: "id/password", "/" for none.
std::string ReadPair(CredentialKind kind) {
    char id[kStoredTextSize] = {0}, masked[kStoredTextSize] = {0};
    std::int32_t idLength = sizeof id, maskedLength = sizeof masked;
    if (ReadCredentials(id, &idLength, masked, &maskedLength, kind) != kStoreOk) return "<failed>";
    std::uint8_t clear[kStoredTextSize] = {0};
    const std::int32_t n = UnscramblePassword(masked, maskedLength, clear);
    return std::string(id, static_cast<std::size_t>(idLength)) + "/" +
           std::string(reinterpret_cast<char *>(clear), static_cast<std::size_t>(n));
}

// The text of `reg export` of the library's user key (written as UTF-16; read as its ASCII).
std::string ExportUserKey() {
    const std::string file = ProgramDir() + "protected-export.reg";
    DeleteFileA(file.c_str());
    std::string command = "reg.exe export HKCU\\SOFTWARE\\KORVA\\ZUKLib \"" + file + "\" /y";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi)) {
        return "<reg.exe did not start>";
    }
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string text;
    for (char c : ReadWholeFile(file)) {
        if (c != '\0') text += c;
    }
    DeleteFileA(file.c_str());
    return text;
}

// The password's bytes as reg export writes binary data ("57,69,6e,...").
std::string ExportHex(const char *text) {
    std::string hex;
    for (const char *p = text; *p; ++p) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(*p));
        hex += (hex.empty() ? "" : ",") + std::string(byte);
    }
    return hex;
}

class ProtectedRealStore : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, ZUK_VOLATILE_KEY);
        RegDeleteKeyA(HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY);
        WriteIni("");
    }
    void TearDown() override { WriteMachineConfig(); }
    // The library's own load with these machine values.
    static void Load(DWORD config, bool machineSwitch) {
        WriteMachineConfig(kLibraryModeCard, kDeviceNone, config);
        if (machineSwitch) SetMachineDword("ProtectPasswords", 1);
        ResetSettings();
        ASSERT_EQ(LoadRegistryConfig(), kRegistryConfigOk);
        LoadIniSettings(GetInstallPath());
        ASSERT_EQ(GetProtectPasswords(), machineSwitch);
        ASSERT_EQ(GetSettingSource(kPolicyProtectPasswords),
                  machineSwitch ? kSourceMachine : kSourceDefault);
    }
    static int Write(const char *id, const char *password, CredentialKind kind) {
        const std::string masked = Masked(password);
        return WriteCredentials(id, static_cast<std::int32_t>(std::strlen(id)), masked.data(),
                                static_cast<std::int32_t>(masked.size()), kind);
    }
};

TEST_F(ProtectedRealStore, StoredProtectedReadBackAndKeptAfterSwitchingOff) {
    Load(kPairRemembered, true);
    ASSERT_EQ(Write("wineuser", kSecret, Remembered), kStoreOk);
    DWORD type = 0;
    const std::string blob = UserValue(ZUK_NONVOLATILE_KEY, "PasswordProtected", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_GT(blob.size(), std::strlen(kSecret));
    EXPECT_LE(blob.size(), PLAT_PROTECT_MAX);
    EXPECT_EQ(UserValue(ZUK_NONVOLATILE_KEY, "Password"), "<none>");
    const std::string exported = ExportUserKey();
    ASSERT_NE(exported.find("PasswordProtected"), std::string::npos) << exported;
    EXPECT_EQ(exported.find(kSecret), std::string::npos);
    EXPECT_EQ(exported.find(ExportHex(kSecret)), std::string::npos);
    EXPECT_EQ(exported.find(Masked(kSecret)), std::string::npos);
    EXPECT_EQ(ReadPair(Remembered), std::string("wineuser/") + kSecret);

    // Switched off: the protected pair is still read; the next write stores it masked again.
    Load(kPairRemembered, false);
    EXPECT_EQ(ReadPair(Remembered), std::string("wineuser/") + kSecret);
    ASSERT_EQ(Write("wineuser", "masked-again", Remembered), kStoreOk);
    EXPECT_EQ(UserValue(ZUK_NONVOLATILE_KEY, "PasswordProtected"), "<none>");
    EXPECT_NE(UserValue(ZUK_NONVOLATILE_KEY, "Password"), "<none>");
    EXPECT_EQ(ReadPair(Remembered), "wineuser/masked-again");
}

// A blob that does not open, a damaged one or one another program made for this user with its
// own entropy, is no pair: neither the ID nor the masked password left beside it comes back.
TEST_F(ProtectedRealStore, ABlobThatDoesNotOpenIsNoPair) {
    Load(kPairRemembered, true);
    ASSERT_EQ(Write("wineuser", kSecret, Remembered), kStoreOk);
    std::string damaged = UserValue(ZUK_NONVOLATILE_KEY, "PasswordProtected");
    damaged[damaged.size() - 8] ^= 0x20;
    std::uint8_t other[PLAT_PROTECT_MAX];
    std::uint32_t otherSize = sizeof other;
    const char entropy[] = "another program";
    const std::uint8_t data[] = {1, 'p', 'w'};
    ASSERT_EQ(PlatProtectData(data, sizeof data, reinterpret_cast<const std::uint8_t *>(entropy),
                              sizeof entropy - 1, PLAT_PROTECT_USER, other, &otherSize),
              0);
    const std::pair<const char *, std::string> cases[] = {
        {"damaged", damaged},
        {"another program's entropy", std::string(reinterpret_cast<char *>(other), otherSize)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        SetUserBinary(ZUK_NONVOLATILE_KEY, "PasswordProtected", c.second);
        HKEY k = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, 0, KEY_SET_VALUE, &k), 0);
        const std::string old = Masked("old");
        RegSetValueExA(k, "Password", 0, REG_SZ, reinterpret_cast<const BYTE *>(old.c_str()),
                       static_cast<DWORD>(old.size()));
        RegCloseKey(k);
        EXPECT_EQ(ReadPair(Remembered), "/");
    }
}

// A hand-over call through the DLL keeps the typed pair protected; the pick-up call gets it back
// and leaves nothing behind.
TEST_F(ProtectedRealStore, HandOverAndPickUpThroughTheLibrary) {
    Load(kConfigPairTyped, true);
    LoadedLibrary lib;
    ASSERT_NE(lib.module, nullptr);
    int handle = -1;
    ASSERT_RESULT(lib.Get<OpenFn>("ZUKOpen")(&handle), ZUK_OK);
    auto account = lib.Get<UserAccountFn>("ZUKGetUserAccount");
    char accountText[128];
    char passwordText[256];
    AccountRequest request = {ZUK_ACCOUNT_REQUEST_VERSION,
                              accountText,
                              sizeof accountText,
                              passwordText,
                              sizeof passwordText,
                              0,
                              0};
    CallThread call;
    StartCall(&call, [&] {
        return account(handle, &request, ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER, nullptr);
    });
    SeenWindow prompt;
    ASSERT_TRUE(WaitForDialogWith(ZUK_IDC_CRED_ID, &prompt, call.id, 10000));
    SetDlgItemTextA(prompt.hwnd, ZUK_IDC_CRED_ID, "typeduser");
    SetDlgItemTextA(prompt.hwnd, ZUK_IDC_CRED_PASSWORD, kSecret);
    PressButton(prompt.hwnd, ZUK_IDC_CRED_OK);
    ASSERT_TRUE(FinishCall(&call, 15000));
    ASSERT_RESULT(call.result, ZUK_OK);

    DWORD type = 0;
    EXPECT_NE(UserValue(ZUK_VOLATILE_KEY, "InputPasswordProtected", &type), "<none>");
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "InputPassword"), "<none>");
    const std::string exported = ExportUserKey();
    EXPECT_EQ(exported.find(kSecret), std::string::npos);
    EXPECT_EQ(exported.find(ExportHex(kSecret)), std::string::npos);

    request = AccountRequest{ZUK_ACCOUNT_REQUEST_VERSION,
                             accountText,
                             sizeof accountText,
                             passwordText,
                             sizeof passwordText,
                             0,
                             0};
    ASSERT_RESULT(account(handle, &request, ZUK_ACCOUNT_MODE_PICKUP, nullptr), ZUK_OK);
    EXPECT_EQ(std::string(accountText, static_cast<std::size_t>(request.AccountLength)),
              "typeduser");
    EXPECT_EQ(std::string(passwordText, static_cast<std::size_t>(request.PasswordLength)), kSecret);
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "InputUserID"), "<none>");
    EXPECT_EQ(UserValue(ZUK_VOLATILE_KEY, "InputPasswordProtected"), "<none>");
    lib.Get<CloseFn>("ZUKClose")(handle);
}

}  // namespace
