// The card session: opening with a given port or through the driver's registry entries, the key
// table the reader receives, the refusals of reader selection, and closing.
#include <cstring>

#include "card_fixture.h"
#include "settings/registry.h"
#include "tests/result_expect.h"

namespace {

const char *kPrefix = "KORVA DATA USB-SER Comm. Port (";

void PutMachineValue(const std::string &key, const char *name, const std::string &text) {
    ASSERT_EQ(WriteRegString(PLAT_HKEY_LOCAL_MACHINE, key.c_str(), name,
                             reinterpret_cast<const std::uint8_t *>(text.c_str()),
                             static_cast<std::uint32_t>(text.size() + 1), false),
              0);
}

void PutDriver(const char *service, const std::string &instance, const std::string &friendly) {
    PutMachineValue(std::string("SYSTEM\\CurrentControlSet\\Services\\") + service + "\\Enum", "0",
                    instance);
    PutMachineValue("SYSTEM\\CurrentControlSet\\Enum\\" + instance, "FriendlyName", friendly);
}

using SessionTest = CardTest;

TEST_F(SessionTest, OpenLoadsTheKeyTableAndRefusesASecondOpen) {
    Open();
    EXPECT_EQ(CardSessionIsOpen(), 1);
    ASSERT_EQ(sim.keyTable.size(), 1u);
    const std::uint8_t keys[56] = ZUK_READER_KEYS_INIT;
    std::uint8_t table[88] = {0};
    std::memcpy(table, keys, 16);
    std::memcpy(table + 24, keys + 16, 24);
    std::memcpy(table + 56, keys + 40, 8);
    std::memcpy(table + 72, keys + 48, 8);
    EXPECT_EQ(SimHex(sim.keyTable[0].data), SimHex(table, sizeof table));
    EXPECT_EQ(sim.keyTable[0].p1, 0);
    EXPECT_EQ(sim.keyTable[0].p2, 0);
    EXPECT_RESULT(CardStatusResult(CardOpenSession("PR300", kCardPort)), ZUK_ERR_ALREADY_OPEN);
    EXPECT_EQ(CardCloseSession(), SESSION_OK);
    EXPECT_EQ(CardSessionIsOpen(), 0);
    // Closed: the close sequence meets the closed port.
    EXPECT_RESULT(CardStatusResult(CardCloseSession()), ZUK_ERR_NOT_OPEN);
}

TEST_F(SessionTest, DeviceNameIsCheckedBeforeTheRegistry) {
    for (const char *name : {"pr300", "", "PR3000", "PR30"}) {
        EXPECT_RESULT(CardStatusResult(CardOpenSession(name, kCardPort)), ZUK_ERR_PORT_OPEN)
            << name;
        EXPECT_EQ(GetLastCardStatus(), CARD_ERR_NO_READER);
    }
    const std::string longName(512, 'P');
    EXPECT_EQ(CardOpenSession(longName.c_str(), kCardPort), CARD_ERR_ARGUMENT);
    EXPECT_EQ(CardSessionIsOpen(), 0);
}

TEST_F(SessionTest, DriverServicesAreTriedInOrder) {
    // Only the last service present: it is used.
    PutDriver("PCD_SER2", "USB\\VID_1\\7", std::string(kPrefix) + "COM3)");
    ASSERT_EQ(CardOpenSession("PR300", nullptr), SESSION_OK) << std::hex << GetLastCardStatus();
    ASSERT_EQ(CardCloseSession(), SESSION_OK);
    // All three present: D_SER2_A wins even though the others name working ports too.
    PutDriver("Ser2dw", "USB\\VID_2\\8", std::string(kPrefix) + "COM3)");
    PutDriver("D_SER2_A", "USB\\VID_3\\9", std::string(kPrefix) + "COM9)");
    EXPECT_RESULT(CardStatusResult(CardOpenSession("PR300", nullptr)), ZUK_ERR_PORT_OPEN);
    EXPECT_EQ(GetLastCardStatus(), 0x2000013u);  // COM9 does not open
    PutDriver("D_SER2_A", "USB\\VID_3\\9", std::string(kPrefix) + "COM3)");
    EXPECT_EQ(CardOpenSession("PR300", nullptr), SESSION_OK);
}

TEST_F(SessionTest, NoDriverOrAnotherVendorIsNoReader) {
    EXPECT_RESULT(CardStatusResult(CardOpenSession("PR300", nullptr)), ZUK_ERR_PORT_OPEN);
    PutDriver("Ser2dw", "USB\\VID_2\\8", "OTHER VENDOR USB Serial Port (COM3)");
    EXPECT_RESULT(CardStatusResult(CardOpenSession("PR300", nullptr)), ZUK_ERR_PORT_OPEN);
    EXPECT_EQ(GetLastCardStatus(), CARD_ERR_NO_READER);
    // An instance path that would not fit the key path area is refused, not cut.
    PutMachineValue("SYSTEM\\CurrentControlSet\\Services\\Ser2dw\\Enum", "0",
                    std::string(490, 'X'));
    EXPECT_RESULT(CardStatusResult(CardOpenSession("PR300", nullptr)), ZUK_ERR_PORT_OPEN);
    EXPECT_EQ(CardSessionIsOpen(), 0);
}

struct PortCase {
    std::string tail;
    CardStatus status;
    const char *path;
};

TEST(PortPath, FromFriendlyName) {
    const PortCase cases[] = {
        {"COM3)", CARD_OK, "\\\\.\\COM3"},     {"COM7)", CARD_OK, "\\\\.\\COM7"},
        {"COM12)", CARD_OK, "\\\\.\\COM12"},   {"COM10)", CARD_OK, "\\\\.\\COM10"},
        {"COM100)", CARD_OK, "\\\\.\\COM100"}, {"COM4", CARD_OK, "\\\\.\\COM4"},
        {"COM1000)", CARD_ERR_NO_READER, ""},  {"COM)", CARD_ERR_NO_READER, ""},
        {"LPT1)", CARD_ERR_NO_READER, ""},     {"COM1x)", CARD_ERR_NO_READER, ""},
        {"", CARD_ERR_NO_READER, ""},
    };
    for (const PortCase &c : cases) {
        char path[64] = "untouched";
        const std::string friendly = std::string(kPrefix) + c.tail;
        EXPECT_EQ(PortPathFromFriendlyName(friendly.c_str(), path, sizeof path), c.status)
            << c.tail;
        if (c.status == CARD_OK) {
            EXPECT_STREQ(path, c.path);
        }
    }
    char path[64];
    EXPECT_EQ(PortPathFromFriendlyName("KORVA DATA USB-SER Comm. Port(COM3)", path, sizeof path),
              CARD_ERR_NO_READER);
}

TEST_F(SessionTest, FailedKeyLoadLeavesTheSessionClosed) {
    sim.faults.statusIns = 0x89;
    sim.faults.statusWord = 0x6982;
    sim.faults.statusCount = 1;
    const std::int32_t first = CardOpenSession("PR300", kCardPort);
    EXPECT_NE(first, 0);
    EXPECT_NE(first, 0x100);
    EXPECT_EQ(CardSessionIsOpen(), 0);
    EXPECT_EQ(CardOpenSession("PR300", kCardPort), SESSION_OK);
    EXPECT_EQ(CardSessionIsOpen(), 1);
}

}  // namespace
