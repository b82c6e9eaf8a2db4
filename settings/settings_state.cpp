// The settings layer's record.
#include "settings/settings_state.h"

#include "zuk_build_constants.h"

// The mask starts as the built-in one (set by the compiler, so nothing runs before a use).
SettingsState g_settingsState = {{}, {}, nullptr, {}, {ZUK_PASSWORD_MASK_INIT, true}, {}, {}};
