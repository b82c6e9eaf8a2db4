// The test controls of the native shared build: the scene a binding's test sets from the host's
// side (see zuk_test_controls.h).  The simulated reader sits behind the in-memory serial port
// through a small device of our own that takes a lock around each exchange, so that a test thread
// may lay or take a card while an export polls the reader from another thread.
#include "bindings/native/zuk_test_controls.h"

#include <mutex>
#include <string>

#include <stdlib.h>

#include "api/api_state.h"
#include "api/frame.h"
#include "card/session.h"
#include "link/transport.h"
#include "platform/dialogs.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "settings/config.h"
#include "settings/messages.h"
#include "sim/sim_card.h"
#include "sim/sim_reader.h"
#include "zuk_build_constants.h"

namespace {

const char *const kPort = "\\\\.\\COM3";

std::mutex g_line;  // held around every exchange with the simulated reader and card changes
SimReader g_reader;
SimCard g_card;
bool g_plugged = true;  // false: the reader is unplugged (writes refused, nothing answered)

bool LineReceive(void *, const std::uint8_t *data, std::size_t length, std::uint32_t hostBaud) {
    std::lock_guard<std::mutex> lock(g_line);
    return g_plugged && SimReaderReceive(&g_reader, data, length, hostBaud);
}

std::size_t LineTransmit(void *, std::uint8_t *out, std::size_t capacity) {
    std::lock_guard<std::mutex> lock(g_line);
    return g_plugged ? SimReaderTransmit(&g_reader, out, capacity) : 0;
}

void LinePurge(void *) {
    std::lock_guard<std::mutex> lock(g_line);
    if (g_plugged) SimReaderPurge(&g_reader);
}

const std::string &InstallDir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/zuk-binding-XXXXXX";
        const char *made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp") + "/";
    }();
    return dir;
}

}  // namespace

extern "C" int ZukTestSetUp(unsigned mode, unsigned device, unsigned config, const char *extraIni) {
    (void)CardCloseSession();
    (void)SerialClose();
    ReleasePortMutex();
    FakePlatformReset();
    LibraryStateReset();
    {
        std::lock_guard<std::mutex> lock(g_line);
        const std::uint8_t initial[24] = ZUK_INITIAL_KEYS_INIT;
        const std::uint8_t operational[24] = ZUK_OPERATIONAL_KEYS_INIT;
        SimReaderInit(&g_reader, initial, operational, true);
        g_plugged = true;
    }
    FakeSerialConnect(kPort, FakeSerialDevice{nullptr, LineReceive, LineTransmit, LinePurge});

    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", InstallDir());
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode", mode);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", device);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", config);
    FakeProfileSetFile(InstallDir() + "ZUKcntrl.ini",
                       std::string("[Device]\nPortName=") + kPort +
                           "\nDeviceName=PR300\n[Log]\nMode=3\n[FeliCa]\nSystemCode=88B4\n" +
                           (extraIni != nullptr ? extraIni : ""));
    ResetSettings();
    ClearMessageTexts();
    return LibraryAttach(nullptr) ? 1 : 0;
}

extern "C" int ZukTestLayCard(const char *description) {
    SimCardDescription parsed;
    std::string error;
    if (description == nullptr || !SimCardParseDescription(description, &parsed, &error)) return -1;
    std::lock_guard<std::mutex> lock(g_line);
    if (g_reader.cardPresent) SimCardRemove(&g_reader);
    SimCardInit(&g_card, parsed);
    SimCardPlace(&g_card, &g_reader);
    return 0;
}

extern "C" void ZukTestTakeCard(void) {
    std::lock_guard<std::mutex> lock(g_line);
    SimCardRemove(&g_reader);
}

extern "C" void ZukTestPlugReader(int plugged) {
    std::lock_guard<std::mutex> lock(g_line);
    g_plugged = plugged != 0;
}

extern "C" void ZukTestAnswerPinPrompt(const char *pin) {
    FakeDialogScript(
        {{FAKE_DIALOG_PIN, kDialogOk, "", "", pin != nullptr ? pin : "", nullptr, nullptr}});
}

extern "C" int ZukTestWindowsShown(void) {
    return static_cast<int>(FakeDialogsShown().size() + FakeMessageBoxesShown().size()) +
           FakeAccessingOpened();
}

extern "C" const char *ZukTestInstallDir(void) { return InstallDir().c_str(); }
