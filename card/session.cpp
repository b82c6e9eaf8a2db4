// The card session: its open flag, opening (device check, port selection from the setting or the
// USB-serial driver's registry entries, link open, key table) and closing.
#include "card/session.h"

#include <cstdio>
#include <cstring>

#include "card/card_state.h"
#include "card/felica.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "link/reader.h"
#include "link/transport.h"
#include "platform/system.h"
#include "settings/events.h"
#include "settings/registry.h"

namespace {

constexpr std::uint32_t kAreaSize = 512;
constexpr char kDeviceName[] = "PR300";
constexpr char kFriendlyPrefix[] = "KORVA DATA USB-SER Comm. Port (";
constexpr std::size_t kFriendlyPrefixLength = sizeof kFriendlyPrefix - 1;  // 31
constexpr const char *kDriverServices[] = {"D_SER2_A", "Ser2dw", "PCD_SER2"};

// Joins two texts into a 512-byte key path area; false when they would not fit with the
// terminator, so an over-long instance path is refused instead of cut or overrun.
bool JoinPath(const char *head, const char *tail, char (&out)[kAreaSize]) {
    const std::size_t a = std::strlen(head);
    const std::size_t b = std::strlen(tail);
    if (a + b >= kAreaSize) return false;
    std::memcpy(out, head, a);
    std::memcpy(out + a, tail, b);
    out[a + b] = '\0';
    return true;
}

// Reads a value below HKEY_LOCAL_MACHINE (at most 512 bytes, one trailing zero dropped):
// CARD_OK, or the registry's error code with *length 0.
std::uint32_t QueryMachineValue(const char *keyPath, const char *valueName, std::uint8_t *buffer,
                                std::uint32_t *length) {
    if (length == nullptr) return PLAT_ERROR_INVALID_PARAMETER;
    if (*length > kAreaSize) *length = kAreaSize;
    const long error = ReadRegString(PLAT_HKEY_LOCAL_MACHINE, keyPath, valueName, buffer, length);
    if (error != 0) {
        *length = 0;
        return static_cast<std::uint32_t>(error);
    }
    return CARD_OK;
}

}  // namespace

CardStatus FindDriverPort(char *path, std::uint32_t capacity) {
    char instance[kAreaSize];
    bool found = false;
    for (const char *service : kDriverServices) {
        char head[kAreaSize];
        char key[kAreaSize];
        if (!JoinPath("SYSTEM\\CurrentControlSet\\Services\\", service, head) ||
            !JoinPath(head, "\\Enum", key))
            continue;
        std::memset(instance, 0, sizeof instance);
        std::uint32_t length = kAreaSize - 1;  // keep a terminator in the zeroed area
        if (QueryMachineValue(key, "0", reinterpret_cast<std::uint8_t *>(instance), &length) ==
                CARD_OK &&
            length >= 1) {
            found = true;
            break;
        }
    }
    if (!found) return CARD_ERR_NO_READER;
    char key[kAreaSize];
    if (!JoinPath("SYSTEM\\CurrentControlSet\\Enum\\", instance, key)) return CARD_ERR_NO_READER;
    char friendly[kAreaSize];
    std::memset(friendly, 0, sizeof friendly);
    std::uint32_t length = kAreaSize - 1;
    if (QueryMachineValue(key, "FriendlyName", reinterpret_cast<std::uint8_t *>(friendly),
                          &length) != CARD_OK)
        return CARD_ERR_NO_READER;
    return PortPathFromFriendlyName(friendly, path, capacity);
}

int CardSessionIsOpen() { return g_card.sessionOpen; }

CardStatus PortPathFromFriendlyName(const char *friendlyName, char *path, std::uint32_t capacity) {
    if (friendlyName == nullptr || path == nullptr) return CARD_ERR_ARGUMENT;
    if (std::strncmp(friendlyName, kFriendlyPrefix, kFriendlyPrefixLength) != 0)
        return CARD_ERR_NO_READER;
    // The port name runs to the closing parenthesis (or the end of the text).  It must read COM
    // followed by one to three digits: taking a fixed five characters would turn COM100 into
    // COM10 and open another port.
    const char *name = friendlyName + kFriendlyPrefixLength;
    std::size_t n = 0;
    while (name[n] != '\0' && name[n] != ')') ++n;
    if (n < 4 || n > 6 || std::strncmp(name, "COM", 3) != 0) return CARD_ERR_NO_READER;
    for (std::size_t i = 3; i < n; ++i) {
        if (name[i] < '0' || name[i] > '9') return CARD_ERR_NO_READER;
    }
    if (n + 5 > capacity) return CARD_ERR_BUFFER;
    std::memcpy(path, "\\\\.\\", 4);
    std::memcpy(path + 4, name, n);
    path[4 + n] = '\0';
    return CARD_OK;
}

namespace {

// Puts the reader back to the safe speed and closes the port after a failed opening step.
LinkStatus UndoOpen(LinkStatus st) {
    (void)ReaderSetSpeed(READER_SPEED_SAFE);
    (void)SerialClose();
    return LinkQualifyStatus(st, LINK_PHASE_OPEN);
}

}  // namespace

LinkStatus SessionOpenReader(const char *devicePath) {
    if (devicePath == nullptr) return LINK_ERR_ARGUMENT;
    LinkStatus st = SerialOpen(devicePath);
    if (st != LINK_OK) return LinkQualifyStatus(st, LINK_PHASE_OPEN);
    st = ReaderNegotiateSpeed();
    if (st != LINK_OK) {
        (void)SerialClose();
        return LinkQualifyStatus(st, LINK_PHASE_OPEN);
    }
    st = ReaderInitialise();
    return st == LINK_OK ? LINK_OK : UndoOpen(st);
}

LinkStatus SessionOpenLink(const char *devicePath) {
    const LinkStatus st = SessionOpenReader(devicePath);
    if (st != LINK_OK) return st;
    const LinkStatus established = ChannelEstablish();
    if (established == LINK_OK) return LINK_OK;
    if (ChannelKeysRefused(established)) {
        char status[16];
        std::snprintf(status, sizeof status, "0x%08X", static_cast<unsigned>(established));
        WriteEvent(kEventReaderRefusedKeys, devicePath != nullptr ? devicePath : "", status);
    }
    return UndoOpen(established);
}

LinkStatus SessionCloseLink() {
    ReaderDeactivate();
    const LinkStatus st = ReaderSetSpeed(READER_SPEED_SAFE);
    if (st != LINK_OK) {
        (void)SerialClose();
        return LinkQualifyStatus(st, LINK_PHASE_CLOSE);
    }
    (void)SerialSetBaudRate(READER_SPEED_SAFE);
    return LinkQualifyStatus(SerialClose(), LINK_PHASE_CLOSE);
}

void CardSetStrictLink(bool on) { ReaderSetStrictChecks(on); }

namespace {

// Checks the device name, selects the port (the given path, or the driver's port from the
// registry) and opens the reader link.  Card command codes.
CardStatus ConnectReader(const char *deviceName, const char *portName) {
    if (deviceName != nullptr) {
        if (std::strlen(deviceName) > kAreaSize - 1) return CARD_ERR_ARGUMENT;
        if (std::strcmp(deviceName, kDeviceName) != 0) return CARD_ERR_NO_READER;
    }
    char found[kAreaSize];
    const char *portPath = portName;
    if (portPath == nullptr) {
        const CardStatus st = FindDriverPort(found, sizeof found);
        if (st != CARD_OK) return st;
        portPath = found;
    }
    const LinkStatus st = SessionOpenLink(portPath);
    return st == LINK_OK ? CARD_OK : st;
}

// Sends the reader's key table.
CardStatus LoadReaderKeys() {
    // Eleven 8-byte slots: 0-1, 3-5, 7 and 9 carry the key groups (16, 24, 8, 8 bytes); 2, 6, 8
    // and 10 stay zero.  Assembled afresh each time and wiped after sending.
    const std::uint8_t *kKeys = g_card.readerKeys;
    std::uint8_t table[88];
    std::memset(table, 0, sizeof table);
    std::memcpy(table + 0 * 8, kKeys, 16);
    std::memcpy(table + 3 * 8, kKeys + 16, 24);
    std::memcpy(table + 7 * 8, kKeys + 40, 8);
    std::memcpy(table + 9 * 8, kKeys + 48, 8);
    const CardStatus st = ReaderWriteKeyTable(0, 0, 11, table);
    std::memset(table, 0, sizeof table);
    return st;
}

}  // namespace

CardStatus CardOpenSession(const char *deviceName, const char *portName) {
    if (g_card.sessionOpen == 1) return SESSION_ERR_ALREADY_OPEN;
    if (g_card.keyFault != 0) return g_card.keyFault;
    const CardStatus st = ConnectReader(deviceName, portName);
    if (st != CARD_OK) return st;
    g_card.sessionOpen = 1;
    const CardStatus keys = LoadReaderKeys();
    if (keys == CARD_OK) return SESSION_OK;
    (void)SessionCloseLink();
    g_card.sessionOpen = 0;
    return keys;
}

void CardUseSiteKeys(const SiteKeys &keys) {
    static_assert(sizeof keys.reader == sizeof g_card.readerKeys, "reader key sizes");
    LinkUseChannelKeys(keys.initial, keys.operational);
    std::memcpy(g_card.readerKeys, keys.reader, sizeof g_card.readerKeys);
    g_card.keyFault = 0;
}

void CardRefuseSessions(CardStatus why) {
    LinkWipeChannelKeys();
    PlatSecureWipe(g_card.readerKeys, sizeof g_card.readerKeys);
    g_card.keyFault = why;
}

CardStatus CardCloseSession() {
    ClearCurrentIdm();
    const LinkStatus st = SessionCloseLink();
    // The close sequence closes the port even when the reader refuses a step or the line is
    // gone: once the port is closed the session is over, whatever the sequence answered, so a
    // later open starts afresh instead of meeting a session that cannot be used or closed.
    if (!SerialIsOpen()) g_card.sessionOpen = 0;
    if (st != LINK_OK) return st;
    g_card.sessionOpen = 0;
    return SESSION_OK;
}
