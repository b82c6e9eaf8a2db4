// The card session under Wine against zuk-reader-sim: the reader's COM port is found through
// USB-serial driver entries in HKLM, the key table reaches the simulator intact, and a card is
// sensed and read (account, user name, PIN state).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "card/felica.h"
#include "card/last_status.h"
#include "card/layout.h"
#include "card/pin.h"
#include "card/sensing.h"
#include "card/session.h"
#include "tests/wine/support/sim_control.h"
#include "tests/result_expect.h"

namespace {

const char *kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\D_SER2_A\\Enum";
const char *kInstance = "USB\\VID_0ZUK&PID_0300\\SIMREADER";
const char *kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0ZUK&PID_0300\\SIMREADER";

void SetMachineText(const char *path, const char *name, const std::string &text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(WineCard, OpensThroughTheDriverEntriesAndReadsTheCard) {
    SimControl sim;
    ASSERT_TRUE(sim.Connected());
    ASSERT_EQ(sim.Command(std::string("card ") + ZUK_SIM_CARD_FILE), "OK");
    const char *com = std::getenv("ZUK_SIM_COM");
    ASSERT_NE(com, nullptr);
    SetMachineText(kServiceKey, "0", kInstance);
    SetMachineText(kEnumKey, "FriendlyName",
                   std::string("KORVA DATA USB-SER Comm. Port (") + com + ")");

    ASSERT_EQ(CardOpenSession("PR300", nullptr), SESSION_OK) << std::hex << GetLastCardStatus();
    const std::string table = sim.Command("keytable");
    EXPECT_NE(table.find("tables 1"), std::string::npos) << table;
    EXPECT_NE(table.find("match yes"), std::string::npos) << table;

    const std::uint8_t code[2] = {0x88, 0xB4};
    int present = -1;
    ASSERT_EQ(CardSense(&present, code, 1), SESSION_OK);
    EXPECT_EQ(present, 1);

    std::uint8_t account[128], password[256];
    int accountLength = 128, passwordLength = 256;
    ASSERT_EQ(CardReadAccount(account, &accountLength, password, &passwordLength), SESSION_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(account), accountLength), "alice");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(password), passwordLength), "s3cret-pass");

    std::uint8_t name[64];
    int nameLength = 64;
    ASSERT_EQ(CardReadUserName(name, &nameLength), SESSION_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(name), nameLength), "Alice Example");

    int pinPresent = -1, limit = -1, count = -1;
    std::uint8_t pin[16];
    int pinLength = 16;
    ASSERT_EQ(CardGetPinState(&pinPresent, &limit, &count, pin, &pinLength), SESSION_OK);
    EXPECT_EQ(pinPresent, 1);
    EXPECT_EQ(limit, 3);
    EXPECT_EQ(count, 0);

    // A wrong PIN is counted on the card: the simulator's dump shows the new count.
    const std::uint8_t wrong[4] = {'0', '0', '0', '0'};
    EXPECT_RESULT(CardStatusResult(CardVerifyPin(wrong, 4)), ZUK_ERR_PIN_WRONG);
    const std::vector<std::string> blocks = sim.Dump(1);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks[0], "03 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00");

    EXPECT_EQ(CardCloseSession(), SESSION_OK);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEnumKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kServiceKey);
}

}  // namespace
