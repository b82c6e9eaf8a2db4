// The api layer's records, and the one reset of every layer's state.
#include "api/api_state.h"

#include "card/card_state.h"
#include "card/layout.h"
#include "link/link_state.h"
#include "settings/settings_reset.h"

FrameState g_frame{};
PromptState g_prompt = {
    {0}, {0}, {0}, CARD_MAX_ACCOUNT_LENGTH, CARD_MAX_PASSWORD_LENGTH, CARD_MAX_PIN_LENGTH};

void ResetPromptState() {
    PlatSecureWipe(g_prompt.enteredId, sizeof g_prompt.enteredId);
    PlatSecureWipe(g_prompt.enteredPassword, sizeof g_prompt.enteredPassword);
    PlatSecureWipe(g_prompt.enteredPin, sizeof g_prompt.enteredPin);
    g_prompt.idLimit = CARD_MAX_ACCOUNT_LENGTH;
    g_prompt.passwordLimit = CARD_MAX_PASSWORD_LENGTH;
    g_prompt.pinLimit = CARD_MAX_PIN_LENGTH;
}

void ApiStateReset() {
    g_frame.busy = 0;
    g_frame.portMutex = 0;
    g_frame.moduleHandle = nullptr;
    g_frame.lastSenseResult = 0;
    g_frame.lastSensePresence = 0;
    g_frame.revocationEventStanding = 0;
    ResetPromptState();
    DialogStateReset();
}

void LibraryStateReset() {
    ApiStateReset();
    CardStateReset();
    LinkStateReset();
    SettingsStateReset();
}
