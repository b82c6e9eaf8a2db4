// The one reset of the settings layer's record (settings_state.h).
#ifndef ZUK_SETTINGS_SETTINGS_RESET_H
#define ZUK_SETTINGS_SETTINGS_RESET_H

// The whole record back to the state at load: settings reset, no INI text, no lists read, the
// built-in mask and keys, no message texts.
void SettingsStateReset();

#endif
