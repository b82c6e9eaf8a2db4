// Each part of the settings record is put back by the file that owns it; this is their one entry.
#include "settings/settings_reset.h"

#include "settings/config.h"
#include "settings/credentials.h"
#include "settings/messages.h"
#include "settings/revocation.h"
#include "settings/site_key_store.h"

void SettingsStateReset() {
    ResetSettings();
    RevocationReset();
    PasswordMaskReset();
    SiteKeySourceReset();
    ClearMessageTexts();
}
