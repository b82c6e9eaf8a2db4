// The api layer's records, and the one reset of every layer's state.
#include "api/api_state.h"

#include "card/card_state.h"
#include "link/link_state.h"
#include "settings/config.h"
#include "settings/messages.h"

namespace {

const int kDefaultIdLimit = 128;
const int kDefaultPasswordLimit = 256;
const int kDefaultPinLimit = 16;

}  // namespace

FrameState g_frame{};
PromptState g_prompt = {{0}, {0}, {0}, kDefaultIdLimit, kDefaultPasswordLimit, kDefaultPinLimit};

void ResetPromptState() {
    PlatSecureWipe(g_prompt.enteredId, sizeof g_prompt.enteredId);
    PlatSecureWipe(g_prompt.enteredPassword, sizeof g_prompt.enteredPassword);
    PlatSecureWipe(g_prompt.enteredPin, sizeof g_prompt.enteredPin);
    g_prompt.idLimit = kDefaultIdLimit;
    g_prompt.passwordLimit = kDefaultPasswordLimit;
    g_prompt.pinLimit = kDefaultPinLimit;
}

void ApiStateReset() {
    g_frame.busy = 0;
    g_frame.portMutex = 0;
    g_frame.moduleHandle = nullptr;
    g_frame.lastSenseResult = 0;
    g_frame.lastSensePresence = 0;
    ResetPromptState();
}

void LibraryStateReset() {
    ApiStateReset();
    CardStateReset();
    LinkStateReset();
    ResetSettings();
    ClearMessageTexts();
}

