// Fuzz target: site key files as zukcli reads them.  Any text either gives keys that write back
// into a file that reads as the same keys, or is refused with a reason and nothing left of it.
#include <cstdlib>
#include <cstring>

#include "settings/site_keys.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool AllZero(const void *data, std::size_t size) {
    const auto *p = static_cast<const std::uint8_t *>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzResetAll();
    SiteKeys keys;
    std::memset(&keys, 0xA5, sizeof keys);
    char error[SITE_KEY_FILE_ERROR_SIZE];
    std::memset(error, 'x', sizeof error);
    const SiteKeyFileResult result =
        SiteKeyFileParse(reinterpret_cast<const char *>(data), size, &keys, error, sizeof error);
    if (std::memchr(error, '\0', sizeof error) == nullptr) std::abort();
    if (result != kSiteKeysOk) {
        if (error[0] == '\0' || !AllZero(&keys, sizeof keys)) std::abort();
        return 0;
    }
    if (error[0] != '\0') std::abort();
    char text[SITE_KEY_FILE_TEXT_SIZE];
    const std::size_t n = SiteKeyFileFormat(keys, text, sizeof text);
    SiteKeys back;
    if (n == 0 || SiteKeyFileParse(text, n, &back, error, sizeof error) != kSiteKeysOk)
        std::abort();
    if (std::memcmp(&back, &keys, sizeof keys) != 0) std::abort();
    return 0;
}
