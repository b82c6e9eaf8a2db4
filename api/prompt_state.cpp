// Typed texts and edit limits shared by the dialogs and the account flow.
#include "api/prompt_state.h"

#include <cstring>

namespace {

char g_enteredId[kEnteredTextSize];
char g_enteredPassword[kEnteredTextSize];
char g_enteredPin[kEnteredTextSize];

const int kDefaultIdLimit = 128;
const int kDefaultPasswordLimit = 256;
const int kDefaultPinLimit = 16;

int g_idLimit = kDefaultIdLimit;
int g_passwordLimit = kDefaultPasswordLimit;
int g_pinLimit = kDefaultPinLimit;

}  // namespace

char *EnteredId() { return g_enteredId; }
char *EnteredPassword() { return g_enteredPassword; }
char *EnteredPin() { return g_enteredPin; }

int IdInputLimit() { return g_idLimit; }
int PasswordInputLimit() { return g_passwordLimit; }
int PinInputLimit() { return g_pinLimit; }

void SetInputLimits(int id, int password, int pin) {
    g_idLimit = id;
    g_passwordLimit = password;
    g_pinLimit = pin;
}

void ResetPromptState() {
    std::memset(g_enteredId, 0, sizeof g_enteredId);
    std::memset(g_enteredPassword, 0, sizeof g_enteredPassword);
    std::memset(g_enteredPin, 0, sizeof g_enteredPin);
    SetInputLimits(kDefaultIdLimit, kDefaultPasswordLimit, kDefaultPinLimit);
}
