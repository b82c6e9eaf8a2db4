// Shared pieces of the fuzz targets.
#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "api/frame.h"
#include "api/prompt_state.h"
#include "api/workers.h"
#include "api/api_state.h"
#include "card/felica.h"
#include "card/last_status.h"
#include "card/sensing.h"
#include "card/session.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "link/reader.h"
#include "link/transport.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"
#include "settings/config.h"
#include "settings/messages.h"

std::uint8_t FuzzInput::Byte() {
    if (size == 0) return 0;
    const std::uint8_t b = *data;
    ++data;
    --size;
    return b;
}

std::uint16_t FuzzInput::Word() {
    const std::uint16_t high = Byte();
    return static_cast<std::uint16_t>((high << 8) | Byte());
}

std::string FuzzInput::Bytes(std::size_t limit) {
    std::size_t n = Word() % (limit + 1);
    if (n > size) n = size;
    std::string out(reinterpret_cast<const char *>(data), n);
    data += n;
    size -= n;
    return out;
}

std::string FuzzInput::Rest() {
    std::string out(reinterpret_cast<const char *>(data), size);
    data += size;
    size = 0;
    return out;
}

void FuzzResetAll() {
    (void)CardCloseSession();
    (void)SerialClose();
    ReleasePortMutex();
    while (ApiIsBusy()) LeaveApi();
    FakePlatformReset();
    FakeSerialReset();
    LibraryStateReset();
}

const std::string &FuzzInstallDir() {
    static const std::string dir = [] {
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string path = std::string(base) + "/zuk-fuzz-" + std::to_string(getpid()) + "/";
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return dir;
}

void FuzzWriteFile(const std::string &path, const std::string &content) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    if (!content.empty()) std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

void FuzzWriteConfig(std::uint32_t mode, std::uint32_t device, std::uint32_t config,
                     const std::string &extraIni) {
    FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "InstallPath", FuzzInstallDir());
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Mode", mode);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Device", device);
    FakeRegSetDword(PLAT_HKEY_LOCAL_MACHINE, ZUK_SETTINGS_KEY, "Config", config);
    FakeProfileSetFile(FuzzInstallDir() + "ZUKcntrl.ini",
                       "[Device]\nPortName=\\\\.\\COM3\nDeviceName=PR300\n" + extraIni +
                           "[FeliCa]\nSystemCode=88B4\n");
}
