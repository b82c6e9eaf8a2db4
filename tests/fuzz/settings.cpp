// Fuzz target: the machine registry values, the INI file, hexadecimal text and system-code lists
// as the settings load reads them.
#include <cstdlib>
#include <cstring>

#include "platform/fake/fake_platform.h"
#include "settings/config.h"
#include "settings/hex.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const std::uint32_t kTypes[] = {0, PLAT_REG_SZ, 2, PLAT_REG_BINARY, PLAT_REG_DWORD, 7};

void PutValue(FuzzInput &in, const char *name) {
    const std::uint32_t type = kTypes[in.Byte() % (sizeof kTypes / sizeof kTypes[0])];
    const std::string bytes = in.Bytes(1100);
    if (type != 0) FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, name, type, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzResetAll();
    FuzzInput in{data, size};
    FuzzWriteConfig(0x300, 1, 0x231);
    // Most inputs keep a usable installation path, so that the INI file is reached.
    if (in.Byte() & 1) PutValue(in, "InstallPath");
    for (const char *name : {"Mode", "Device", "Config", "FeliCa"}) PutValue(in, name);
    if (in.Byte() & 1) FakeFail(FAKE_CALL_REG_OPEN_CURRENT_USER, FAKE_FAIL_EVERY, 2);
    FakeProfileSetFile(FuzzInstallDir() + "ZUKcntrl.ini", in.Bytes(8192));

    if (LoadRegistryConfig() == 0) {
        if (std::strlen(GetInstallPath()) >= sizeof MutableSettings()->InstallPath) std::abort();
        LoadIniSettings(GetInstallPath());
        const std::uint8_t *codes = nullptr;
        if (GetSystemCodes(&codes) > kMaxSystemCodes || GetSystemCodes(&codes) < 0) std::abort();
        if (std::strlen(GetPortName()) >= 512 || std::strlen(GetLogFileName()) >= 512) std::abort();
    }

    const std::string hex = in.Bytes(200);
    std::uint8_t bytes[32];
    if (HexToBytes(hex.data(), hex.size(), bytes, sizeof bytes) > sizeof bytes) std::abort();
    const std::string list = in.Rest();
    LibrarySettings settings;
    ParseSystemCodes(list.c_str(), &settings);
    if (settings.SystemCodeCount < 0 || settings.SystemCodeCount > kMaxSystemCodes) std::abort();
    return 0;
}
