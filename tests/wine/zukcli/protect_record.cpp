// zuk_protect_record HEX: protects the bytes HEX for this machine exactly as stored site keys are
// (machine scope, the site keys' entropy) and prints the blob in hexadecimal, so that the tests can
// store records the library must refuse (another version, another length, a wrong check value).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/protect.h"
#include "settings/hex.h"
#include "settings/site_key_store.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fputs("usage: zuk_protect_record HEX\n", stderr);
        return 2;
    }
    const std::size_t digits = std::strlen(argv[1]);
    std::vector<std::uint8_t> record(digits / 2 + 1);
    const std::size_t size = HexToBytes(argv[1], digits, record.data(), record.size());
    std::uint8_t entropy[128];
    const std::size_t entropySize = SiteKeyEntropy(entropy, sizeof entropy);
    if (entropySize == 0 || size * 2 != digits) {
        std::fputs("no MachineGuid, or HEX is not hexadecimal\n", stderr);
        return 1;
    }
    std::uint8_t blob[PLAT_PROTECT_MAX];
    std::uint32_t blobSize = sizeof blob;
    const long error = PlatProtectData(record.data(), static_cast<std::uint32_t>(size), entropy,
                                       static_cast<std::uint32_t>(entropySize),
                                       PLAT_PROTECT_MACHINE, blob, &blobSize);
    if (error != 0) {
        std::fprintf(stderr, "protection failed: %ld\n", error);
        return 1;
    }
    std::vector<char> text(2 * blobSize + 1);
    BytesToHex(blob, blobSize, text.data(), text.size());
    std::puts(text.data());
    return 0;
}
