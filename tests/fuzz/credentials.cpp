// Fuzz target: stored credentials as the account flow meets them: the remembered and entered
// pairs in the user's registry (any type, any bytes), unscrambled on silent reuse and pick-up.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ZUKcntrl.h"
#include "api/frame.h"
#include "platform/fake/fake_platform.h"
#include "settings/config.h"
#include "settings/credentials.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const std::uint32_t kConfigs[] = {0x201, 0x211, 0x213, 0x231, 0x233, 0x333, 0x1233, 0x203, 0x223};
const int kModes[] = {ZUK_ACCOUNT_MODE_INTERACTIVE, ZUK_ACCOUNT_MODE_PICKUP,
                      ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER};

void PutValue(FuzzInput &in, const char *key, const char *name) {
    const std::uint8_t choice = in.Byte();
    const std::string bytes = in.Bytes(1100);
    if (choice % 3 == 0) return;
    FakeRegSetValue(PLAT_HKEY_CURRENT_USER, key, name,
                    choice % 3 == 1 ? PLAT_REG_SZ : PLAT_REG_BINARY, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzResetAll();
    FuzzInput in{data, size};
    FuzzWriteConfig(0x300, 0, kConfigs[in.Byte() % (sizeof kConfigs / sizeof kConfigs[0])]);
    if (!LibraryAttach(nullptr)) std::abort();
    for (const char *key : {ZUK_VOLATILE_KEY, ZUK_NONVOLATILE_KEY}) {
        PutValue(in, key, "UserID");
        PutValue(in, key, "Password");
        PutValue(in, key, "InputUserID");
        PutValue(in, key, "InputPassword");
    }
    const int mode = kModes[in.Byte() % 3];
    const int accountSize = 1 + in.Byte();
    const int passwordSize = 1 + in.Word() % 600;
    std::vector<char> account(static_cast<std::size_t>(accountSize));
    std::vector<char> password(static_cast<std::size_t>(passwordSize));
    AccountRequest request{ZUK_ACCOUNT_REQUEST_VERSION,
                           account.data(),
                           accountSize,
                           password.data(),
                           passwordSize,
                           0,
                           0};
    const int result = ZUKGetUserAccount(0, &request, mode, nullptr);
    if (result == ZUK_OK && (request.AccountLength <= 0 || request.AccountLength > accountSize ||
                             request.PasswordLength < 0 || request.PasswordLength > passwordSize))
        std::abort();
    if (ApiIsBusy() || FakeRegOpenKeyCount() != 0) std::abort();

    const std::string stored = in.Rest();
    std::uint8_t clear[kStoredTextSize];
    const std::int32_t n =
        UnscramblePassword(stored.data(), static_cast<std::int32_t>(stored.size()), clear);
    if (n < 0 || n > kStoredTextSize / 2) std::abort();
    return 0;
}
