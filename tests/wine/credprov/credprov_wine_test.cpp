// ZUKCredProv under Wine against zuk-reader-sim, driven by a stand-in for the sign-in screen:
// sign-in and unlock with each form of account (the serialized record read back field by field
// with Windows' own KERB_INTERACTIVE_UNLOCK_LOGON), every status text of the tile, the tile
// following the card laid and taken away, no PIN or password left behind, and the DLL loaded as
// the sign-in screen loads it.
#include <winsock2.h>
#include <windows.h>
#include <ntsecapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ZUKcntrl.h"
#include "credprov/card_library.h"
#include "credprov/provider.h"
#include "settings/policy.h"
#include "settings/revocation.h"
#include "tests/wine/credprov/sign_in_screen.h"
#include "tests/wine/support/sim_control.h"
#include "tests/wine/support/wine_support.h"

namespace {

const ULONG kFakeNegotiatePackage = 0x4E47;
HMODULE g_dll = nullptr;  // install\ZUKCredProv.dll

HRESULT FakeNegotiatePackage(ULONG *package) {
    *package = kFakeNegotiatePackage;
    return S_OK;
}

// The provider's objects linked into this program: the same code as the DLL's, with the
// Negotiate lookup that Wine's LSA cannot answer (it fails with STATUS_UNSUCCESSFUL) faked.
HRESULT STDAPICALLTYPE LinkedGetClassObject(REFCLSID clsid, REFIID iid, void **out) {
    return CredProvGetClassObject(clsid, iid, out);
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : L"";
}

// A card description in /tmp for the simulator, written without a C library buffer (the secrets
// test must find no copy of the PIN or password in this process's heap that it made itself).
std::string WriteCard(const char *name, const char *account, const char *password,
                      const char *pin) {
    char text[512];
    const int n =
        std::snprintf(text, sizeof text,
                      "account = %s\npassword = %s\npin = %s\nretry_limit = 3\nfailure_count = 0\n"
                      "user_name = Card of %s\nidm = 01 2E 4C 1F 93 0A 55 08\n"
                      "pmm = 03 01 4B 02 4F 49 93 FF\nsystem_code = 88 B4\n",
                      account, password, pin, name);
    const std::string windowsPath = std::string("Z:\\tmp\\zuk-credprov-") + name + ".card";
    HANDLE file =
        CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, text, static_cast<DWORD>(n), &written, nullptr);
        CloseHandle(file);
    }
    SecureZeroMemory(text, sizeof text);
    return std::string("/tmp/zuk-credprov-") + name + ".card";
}

// One text of a packed record, read through Windows' own declaration of the record.
std::wstring Text(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION &s,
                  const UNICODE_STRING &field) {
    const ULONG_PTR offset = reinterpret_cast<ULONG_PTR>(field.Buffer);
    EXPECT_EQ(field.MaximumLength, field.Length);
    if (field.Length == 0) return L"";
    EXPECT_GE(offset, sizeof(KERB_INTERACTIVE_UNLOCK_LOGON));
    EXPECT_LE(offset + field.Length, s.cbSerialization);
    if (offset + field.Length > s.cbSerialization) return L"<outside>";
    return std::wstring(reinterpret_cast<const wchar_t *>(s.rgbSerialization + offset),
                        field.Length / 2);
}

// The texts of the English catalogue the tile shows.
const wchar_t kTitle[] = L"Card sign-in";
const wchar_t kPlaceCard[] = L"Place your card on the reader.";
const wchar_t kPinWrong[] = L"The PIN is not correct. Tries left:";
const wchar_t kLocked[] = L"This card is locked after too many wrong PINs. Ask your administrator.";
const wchar_t kRevoked[] = L"This card has been revoked on this computer and cannot be used here.";
const wchar_t kNoReader[] = L"No card reader answers. Connect the reader and try again.";
const wchar_t kOtherKeys[] =
    L"The card reader holds other keys than this computer. Ask your administrator.";
const wchar_t kSignInFailed[] =
    L"Windows did not accept the account on this card. Ask your administrator.";

class ProviderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (g_dll == nullptr) {
            g_dll = LoadLibraryA((InstallDir() + "ZUKCredProv.dll").c_str());
        }
        CredProvSetModule(g_dll);  // the linked objects find the library and catalogue beside it
        CredProvSeams()->negotiatePackage = FakeNegotiatePackage;
    }
    static void ForgetRevocation() { RevokeSampleCard(false); }
    // The provider's policy value as stored (type and bytes), or none (size 0).
    static void WritePolicy(DWORD type, const void *data, DWORD size) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZUK_POLICY_KEY, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        const char *name = SettingRowOf(kSettingCredentialProvider).name;
        if (size != 0) {
            RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
        } else {
            RegDeleteValueA(key, name);
        }
        RegCloseKey(key);
    }
    static void SetPolicy(bool off) {
        const DWORD zero = 0;
        WritePolicy(REG_DWORD, &zero, off ? sizeof zero : 0);
    }
    void SetUp() override {
        ASSERT_NE(g_dll, nullptr) << "ZUKCredProv.dll in " << InstallDir();
        ASSERT_TRUE(sim.Connected());
        ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
        ForgetRevocation();
        SetPolicy(false);
        WriteMachineConfig(kLibraryModeCard, kDeviceReader, kConfigPairRememberedNoReuse);
        WriteReaderIni(std::getenv("ZUK_SIM_COM"));
    }
    void TearDown() override {
        ForgetRevocation();
        SetPolicy(false);
        EXPECT_EQ(CredProvCanUnloadNow(), S_OK) << "an object of the provider outlived its session";
    }
    static void WriteReaderIni(const char *com) {
        WriteIni(std::string("[Device]\r\nPortName=\\\\.\\") + (com ? com : "COM99") +
                 "\r\nDeviceName=PR300\r\n[FeliCa]\r\nSystemCode=88B4\r\n[Card]\r\nPollingInterval="
                 "100\r\n");
    }
    // Waits until the provider reported `count` changes.
    static bool ChangedTimes(const SignInScreen &screen, int count, DWORD ms) {
        const DWORD start = GetTickCount();
        while (screen.events.changed.load() < count) {
            if (GetTickCount() - start > ms) return false;
            Sleep(20);
        }
        return true;
    }

    SimControl sim;
};

using SignIn = ProviderTest;
using TileStatus = ProviderTest;
using CardEvents = ProviderTest;
using Secrets = ProviderTest;
using ProviderDll = ProviderTest;
using Japanese = ProviderTest;

// Sign-in and unlock: the whole call sequence, and the record read back field by field against
// the card's account and password, for each form of account.
TEST_F(SignIn, EachAccountFormInBothScenarios) {
    struct Case {
        const char *name;
        const char *account;  // on the card (null: alice.card, account "alice")
        CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario;
        KERB_LOGON_SUBMIT_TYPE type;
        std::wstring domain, user, password, title;
    };
    const std::wstring computer = ComputerName();
    ASSERT_FALSE(computer.empty());
    const Case cases[] = {
        {"alice-logon", nullptr, CPUS_LOGON, KerbInteractiveLogon, computer, L"alice",
         L"s3cret-pass", L"Alice Example"},
        {"alice-unlock", nullptr, CPUS_UNLOCK_WORKSTATION, KerbWorkstationUnlockLogon, computer,
         L"alice", L"s3cret-pass", L"Alice Example"},
        {"bob", "CORP\\bob", CPUS_LOGON, KerbInteractiveLogon, L"CORP", L"bob", L"B0b-pw",
         L"Card of bob"},
        {"carol", "carol@corp.example", CPUS_UNLOCK_WORKSTATION, KerbWorkstationUnlockLogon, L"",
         L"carol@corp.example", L"B0b-pw", L"Card of carol"},
        {"dave", "dave", CPUS_CREDUI, KerbInteractiveLogon, computer, L"dave", L"B0b-pw",
         L"Card of dave"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.account != nullptr) {
            ASSERT_EQ(sim.Command("card " + WriteCard(c.name, c.account, "B0b-pw", "1234")), "OK");
        }
        SignInScreen screen;
        ASSERT_EQ(screen.Begin(LinkedGetClassObject, c.scenario), S_OK);
        ASSERT_EQ(screen.fieldCount, 4u);
        EXPECT_EQ(screen.fieldTypes[0], CPFT_LARGE_TEXT);
        EXPECT_EQ(screen.fieldTypes[1], CPFT_SMALL_TEXT);
        EXPECT_EQ(screen.fieldTypes[2], CPFT_PASSWORD_TEXT);
        EXPECT_EQ(screen.fieldTypes[3], CPFT_SUBMIT_BUTTON);
        EXPECT_EQ(screen.fieldLabels[2], L"PIN");
        EXPECT_EQ(screen.title, c.title);
        DWORD defaultTile = 99;
        EXPECT_EQ(screen.Tiles(&defaultTile), 1u);
        EXPECT_EQ(defaultTile, 0u) << "the laid card's tile is the default";

        Submitted s = screen.Submit(L"1234");
        ASSERT_EQ(s.hr, S_OK);
        ASSERT_EQ(s.response, CPGSR_RETURN_CREDENTIAL_FINISHED)
            << std::string(s.statusText.begin(), s.statusText.end());
        EXPECT_EQ(s.serialization.ulAuthenticationPackage, kFakeNegotiatePackage);
        EXPECT_TRUE(IsEqualCLSID(s.serialization.clsidCredentialProvider, kClsidZukCredProv));
        ASSERT_NE(s.serialization.rgbSerialization, nullptr);
        const std::size_t texts = 2 * (c.domain.size() + c.user.size() + c.password.size());
        ASSERT_EQ(s.serialization.cbSerialization, sizeof(KERB_INTERACTIVE_UNLOCK_LOGON) + texts);
        const auto *record = reinterpret_cast<const KERB_INTERACTIVE_UNLOCK_LOGON *>(
            s.serialization.rgbSerialization);
        EXPECT_EQ(record->Logon.MessageType, c.type);
        EXPECT_EQ(Text(s.serialization, record->Logon.LogonDomainName), c.domain);
        EXPECT_EQ(Text(s.serialization, record->Logon.UserName), c.user);
        EXPECT_TRUE(Text(s.serialization, record->Logon.Password) == c.password) << "the password";
        EXPECT_EQ(record->LogonId.LowPart, 0u);
        EXPECT_EQ(record->LogonId.HighPart, 0);
        EXPECT_TRUE(s.statusText.empty());
        FreeSerialization(&s.serialization);
        EXPECT_GE(screen.tileEvents.pinCleared, 1) << "the PIN field is emptied at the submit";
        EXPECT_EQ(screen.FieldText(2), L"") << "the PIN is never read back";
        screen.End(0);
        EXPECT_LT(screen.unAdviseMs, 2000u);
    }
}

// Every status text of the tile: on the status field (given through the tile's events and read
// back) and as the submit's status text, with no credential.
TEST_F(TileStatus, EveryStatusText) {
    struct Step {
        const char *name;
        const char *simCommand;  // first (null: none)
        bool revoke;
        const wchar_t *pin;
        std::wstring text;
        CREDENTIAL_PROVIDER_STATUS_ICON icon;
    };
    const Step steps[] = {
        {"wrong PIN", nullptr, false, L"0000", std::wstring(kPinWrong) + L" 2", CPSI_ERROR},
        {"wrong PIN again", nullptr, false, L"0000", std::wstring(kPinWrong) + L" 1", CPSI_ERROR},
        {"wrong PIN that locks", nullptr, false, L"0000", kLocked, CPSI_ERROR},
        {"locked card", nullptr, false, L"1234", kLocked, CPSI_ERROR},
        {"revoked card", "card " ZUK_SIM_CARD_FILE, true, L"1234", kRevoked, CPSI_ERROR},
        {"no card", "remove", false, L"1234", kPlaceCard, CPSI_WARNING},
    };
    SignInScreen screen;
    ASSERT_EQ(screen.Begin(LinkedGetClassObject, CPUS_LOGON), S_OK);
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        if (s.simCommand != nullptr) {
            ASSERT_EQ(sim.Command(s.simCommand), "OK");
        }
        if (s.revoke) {
            ASSERT_TRUE(RevokeSampleCard(true));
        }
        Submitted result = screen.Submit(s.pin);
        EXPECT_EQ(result.hr, S_OK);
        EXPECT_EQ(result.response, CPGSR_NO_CREDENTIAL_NOT_FINISHED);
        EXPECT_EQ(result.serialization.rgbSerialization, nullptr);
        EXPECT_TRUE(result.statusText == s.text)
            << std::string(result.statusText.begin(), result.statusText.end());
        EXPECT_EQ(result.icon, s.icon);
        EXPECT_TRUE(screen.tileEvents.status == s.text);
        EXPECT_TRUE(screen.FieldText(1) == s.text);
    }
    screen.End(0);
    ForgetRevocation();

    // No reader on the port: said as soon as the tile shows, and again at a submit.
    WriteReaderIni("COM99");
    SignInScreen noReader;
    ASSERT_EQ(noReader.Begin(LinkedGetClassObject, CPUS_LOGON), S_OK);
    EXPECT_EQ(noReader.title, kTitle);
    EXPECT_TRUE(noReader.FieldText(1) == kNoReader);
    DWORD defaultTile = 0;
    EXPECT_EQ(noReader.Tiles(&defaultTile), 1u);
    EXPECT_EQ(defaultTile, CREDENTIAL_PROVIDER_NO_DEFAULT);
    EXPECT_TRUE(noReader.Submit(L"1234").statusText == kNoReader);
    noReader.End(0);

    // A reader that fails the authentication with this machine's keys while the link opens.
    WriteReaderIni(std::getenv("ZUK_SIM_COM"));
    ASSERT_EQ(sim.Command("place"), "OK");
    ASSERT_EQ(sim.Command("bad-auth"), "OK");
    SignInScreen otherKeys;
    ASSERT_EQ(otherKeys.Begin(LinkedGetClassObject, CPUS_LOGON), S_OK);
    EXPECT_TRUE(otherKeys.FieldText(1) == kOtherKeys);
    otherKeys.End(0);
}

// The card taken away and laid again reaches the sign-in screen through CredentialsChanged from
// the background wait, and the tile follows; UnAdvise ends the wait at once and nothing is
// reported after it.
TEST_F(CardEvents, LaidAndTakenAwayUpdateTheTile) {
    SignInScreen screen;
    ASSERT_EQ(screen.Begin(LinkedGetClassObject, CPUS_UNLOCK_WORKSTATION), S_OK);
    EXPECT_EQ(screen.title, L"Alice Example");
    ASSERT_EQ(sim.Command("remove"), "OK");
    ASSERT_TRUE(ChangedTimes(screen, 1, 5000)) << "no CredentialsChanged for the card taken away";
    EXPECT_EQ(screen.events.lastContext.load(), 0x5A17u);
    DWORD defaultTile = 0;
    EXPECT_EQ(screen.Tiles(&defaultTile), 1u);
    EXPECT_EQ(defaultTile, CREDENTIAL_PROVIDER_NO_DEFAULT);
    EXPECT_EQ(screen.FieldText(0), kTitle);
    EXPECT_TRUE(screen.FieldText(1) == kPlaceCard);
    ASSERT_EQ(sim.Command("place"), "OK");
    ASSERT_TRUE(ChangedTimes(screen, 2, 5000)) << "no CredentialsChanged for the card laid";
    EXPECT_EQ(screen.FieldText(0), L"Alice Example");
    EXPECT_EQ(screen.Tiles(&defaultTile), 1u);
    EXPECT_EQ(defaultTile, 0u);
    // A submit while the wait runs: the wait steps aside for the account flow and comes back.
    Submitted s = screen.Submit(L"1234");
    EXPECT_EQ(s.response, CPGSR_RETURN_CREDENTIAL_FINISHED);
    FreeSerialization(&s.serialization);
    ASSERT_EQ(sim.Command("remove"), "OK");
    ASSERT_TRUE(ChangedTimes(screen, 3, 5000)) << "the wait did not come back after the submit";
    screen.End(0);
    EXPECT_LT(screen.unAdviseMs, 1000u);
    const int after = screen.events.changed.load();
    EXPECT_EQ(screen.events.refs.load(), 1) << "the provider kept a reference to the events";
    ASSERT_EQ(sim.Command("place"), "OK");
    Sleep(600);
    EXPECT_EQ(screen.events.changed.load(), after);
}

// Whether any writable section of a module holds the bytes.
bool SectionsHold(HMODULE module, const void *needle, std::size_t n) {
    const BYTE *base = reinterpret_cast<const BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
        const BYTE *from = base + section->VirtualAddress;
        for (std::size_t at = 0; at + n <= section->Misc.VirtualSize; ++at) {
            if (std::memcmp(from + at, needle, n) == 0) return true;
        }
    }
    return false;
}

// Whether any block of the process's heaps, in use or freed, holds the bytes.
bool HeapsHold(const void *needle, std::size_t n) {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    bool found = false;
    for (DWORD h = 0; h < count && h < 64 && !found; ++h) {
        if (!HeapLock(heaps[h])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (!found && HeapWalk(heaps[h], &entry)) {
            if ((entry.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE)) != 0)
                continue;
            const BYTE *from = static_cast<const BYTE *>(entry.lpData);
            for (std::size_t at = 0; at + n <= entry.cbData && !found; ++at) {
                found = std::memcmp(from + at, needle, n) == 0;
            }
        }
        HeapUnlock(heaps[h]);
    }
    return found;
}

// After a sign-in, neither the PIN nor the password is left, as ANSI or UTF-16 text, in the
// provider's static data (the DLL's and the linked copy's), anywhere in the process's heaps, or in
// the library's trace.
TEST_F(Secrets, NoPinOrPasswordLeftAfterASignIn) {
    ASSERT_EQ(sim.Command("card " + WriteCard("secret", "erin", "pw-Secret-8842", "739514")), "OK");
    // The library's trace on, at its most detailed: the provider's sign-in must not put a secret
    // there.
    const std::string log = InstallDir() + "ZUKcntrl.log";
    DeleteFileA(log.c_str());
    WriteIni(
        std::string("[Device]\r\nPortName=\\\\.\\") + std::getenv("ZUK_SIM_COM") +
        "\r\nDeviceName=PR300\r\n[FeliCa]\r\nSystemCode=88B4\r\n[Card]\r\nPollingInterval=100\r\n"
        "[Log]\r\nMode=3\r\n");
    const GetClassObjectFn dllGetClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(g_dll, "DllGetClassObject")));
    ASSERT_NE(dllGetClassObject, nullptr);
    for (GetClassObjectFn getClassObject : {LinkedGetClassObject, dllGetClassObject}) {
        SignInScreen screen;
        ASSERT_EQ(screen.Begin(getClassObject, CPUS_LOGON), S_OK);
        Submitted s = screen.Submit(L"739514");
        EXPECT_EQ(s.hr, S_OK);
        FreeSerialization(&s.serialization);
        screen.End(0);
    }
    struct Needle {
        const char *name;
        const void *bytes;
        std::size_t size;
    };
    const wchar_t widePin[] = L"739514", widePassword[] = L"pw-Secret-8842";
    const Needle needles[] = {{"PIN", "739514", 6},
                              {"password", "pw-Secret-8842", 14},
                              {"UTF-16 PIN", widePin, 12},
                              {"UTF-16 password", widePassword, 28}};
    for (const Needle &n : needles) {
        EXPECT_FALSE(SectionsHold(g_dll, n.bytes, n.size)) << n.name << " in ZUKCredProv.dll";
        EXPECT_FALSE(SectionsHold(GetModuleHandleA(nullptr), n.bytes, n.size))
            << n.name << " in the linked copy";
        EXPECT_FALSE(HeapsHold(n.bytes, n.size)) << n.name << " in a heap";
    }
    const std::string trace = ReadWholeFile(log);
    EXPECT_NE(trace.find("ZUKGetUserAccountWithPin"), std::string::npos) << "the trace was written";
    EXPECT_EQ(trace.find("739514"), std::string::npos) << "the PIN in the trace";
    EXPECT_EQ(trace.find("pw-Secret-8842"), std::string::npos) << "the password in the trace";
    DeleteFileA(log.c_str());
    DeleteFileA("Z:\\tmp\\zuk-credprov-secret.card");
    // The scan sees what a freed block kept (past its heap header): a wipe left out would show.
    char *freed = static_cast<char *>(CoTaskMemAlloc(256));
    std::strcpy(freed + 64, "freed-block-7731");
    CoTaskMemFree(freed);
    EXPECT_TRUE(HeapsHold("freed-block-7731", 16));
}

// The DLL as the sign-in screen loads it: its class object, CoCreateInstance through the class
// registration the installers write, the scenarios it stays out of, the policy switching it off,
// and the Negotiate package looked up from LSA for real.
TEST_F(ProviderDll, LoadedAsTheSignInScreenLoadsIt) {
    const GetClassObjectFn getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(g_dll, "DllGetClassObject")));
    ASSERT_NE(getClassObject, nullptr);
    typedef HRESULT(STDAPICALLTYPE * CanUnloadFn)();
    const CanUnloadFn canUnload = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(g_dll, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);

    for (CREDENTIAL_PROVIDER_USAGE_SCENARIO other :
         {CPUS_CHANGE_PASSWORD, CPUS_PLAP, CPUS_INVALID}) {
        SignInScreen screen;
        EXPECT_EQ(screen.Begin(getClassObject, other), E_NOTIMPL) << other;
    }
    // 0 switches the provider off; so does a value the policy cannot hold (the library would
    // refuse to load over it): a mistyped policy never leaves the tile on.  1 leaves it on.
    const DWORD zero = 0, one = 1, two = 2;
    const struct {
        DWORD type;
        const void *data;
        DWORD size;
        HRESULT begin;
    } policies[] = {
        {REG_DWORD, &zero, 4, E_NOTIMPL}, {REG_SZ, "0", 2, E_NOTIMPL},
        {REG_SZ, "1", 2, E_NOTIMPL},      {REG_DWORD, &two, 4, E_NOTIMPL},
        {REG_BINARY, &one, 2, E_NOTIMPL}, {REG_DWORD, &one, 4, S_OK},
    };
    for (const auto &policy : policies) {
        WritePolicy(policy.type, policy.data, policy.size);
        SignInScreen screen;
        EXPECT_EQ(screen.Begin(getClassObject, CPUS_LOGON), policy.begin)
            << "policy of type " << policy.type << " and " << policy.size << " bytes";
        if (policy.begin == E_NOTIMPL) {
            EXPECT_EQ(GetModuleHandleA((InstallDir() + "ZUKcntrl.dll").c_str()), nullptr)
                << "the library is not even loaded";
        }
    }
    SetPolicy(false);

    // LSA is asked for the Negotiate package; where it cannot answer (Wine), the tile says that
    // Windows refused the card's account instead of handing over a record.
    ULONG package = 0;
    const HRESULT lookup = LookupNegotiatePackage(&package);
    {
        SignInScreen screen;
        ASSERT_EQ(screen.Begin(getClassObject, CPUS_LOGON), S_OK);
        EXPECT_EQ(screen.title, L"Alice Example");
        EXPECT_EQ(screen.fieldLabels[2], L"PIN");
        Submitted s = screen.Submit(L"1234");
        EXPECT_EQ(s.hr, S_OK);
        if (SUCCEEDED(lookup)) {
            EXPECT_EQ(s.response, CPGSR_RETURN_CREDENTIAL_FINISHED);
            EXPECT_EQ(s.serialization.ulAuthenticationPackage, package);
        } else {
            EXPECT_EQ(s.response, CPGSR_NO_CREDENTIAL_NOT_FINISHED);
            EXPECT_TRUE(s.statusText == kSignInFailed);
            EXPECT_EQ(s.serialization.rgbSerialization, nullptr);
        }
        FreeSerialization(&s.serialization);
    }
    EXPECT_EQ(canUnload(), S_OK);

    // Registered as the installers register it, created by COM.
    const std::string clsidKey = "SOFTWARE\\Classes\\CLSID\\" ZUK_CREDPROV_CLSID_TEXT;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (clsidKey + "\\InprocServer32").c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string path = InstallDir() + "ZUKCredProv.dll";
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE *>("Apartment"),
                   10);
    RegCloseKey(key);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ICredentialProvider *created = nullptr;
    EXPECT_EQ(CoCreateInstance(kClsidZukCredProv, nullptr, CLSCTX_INPROC_SERVER,
                               kIidCredentialProvider, reinterpret_cast<void **>(&created)),
              S_OK);
    if (created != nullptr) {
        SignInScreen screen;
        EXPECT_EQ(screen.Begin(created, CPUS_UNLOCK_WORKSTATION), S_OK);
        EXPECT_EQ(screen.title, L"Alice Example");
        screen.End(0);
    }
    CoUninitialize();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, clsidKey.c_str());
}

// The tile's texts in Japanese (the system locale 0411 selects ZukLang_0411.txt, code page 932).
TEST_F(Japanese, TheTilesTextsInJapanese) {
    ASSERT_EQ(GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    SignInScreen screen;
    ASSERT_EQ(screen.Begin(LinkedGetClassObject, CPUS_LOGON), S_OK);
    EXPECT_TRUE(screen.fieldLabels[2] == L"暗証番号");
    Submitted s = screen.Submit(L"0000");
    EXPECT_TRUE(s.statusText == L"暗証番号が正しくありません。残り回数: 2");
    screen.End(0);
    ASSERT_EQ(sim.Command("remove"), "OK");
    SignInScreen noCard;
    ASSERT_EQ(noCard.Begin(LinkedGetClassObject, CPUS_LOGON), S_OK);
    EXPECT_TRUE(noCard.title == L"カードでサインイン");
    EXPECT_TRUE(noCard.FieldText(1) == L"カードをリーダーに置いてください。");
    noCard.End(0);
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
