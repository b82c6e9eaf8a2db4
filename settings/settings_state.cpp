// The settings layer's record.
#include "settings/settings_state.h"

#include <cstring>

#include "zuk_build_constants.h"

// Zero at first, so that the record (the revocation lists are most of it) takes no room in the
// library's file.
SettingsState g_settingsState;

namespace {

// The mask starts as the built-in one: set while the library's static data is initialised, before
// any of its code runs.
const std::uint8_t kBuiltInMask[PASSWORD_MASK_SIZE] = ZUK_PASSWORD_MASK_INIT;

struct MaskAtStart {
    MaskAtStart() {
        std::memcpy(g_settingsState.passwordMask.bytes, kBuiltInMask, sizeof kBuiltInMask);
        g_settingsState.passwordMask.usable = true;
    }
} g_maskAtStart;

}  // namespace
