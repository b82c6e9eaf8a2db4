// Typed texts and edit limits shared by the dialogs and the account flow.
#include "api/prompt_state.h"

#include "platform/system.h"

namespace {

char g_enteredId[kDialogTextSize];
char g_enteredPassword[kDialogTextSize];
char g_enteredPin[kDialogTextSize];

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

void WipeEnteredCredentials() {
    PlatSecureWipe(g_enteredId, sizeof g_enteredId);
    PlatSecureWipe(g_enteredPassword, sizeof g_enteredPassword);
}

void WipeEnteredPin() { PlatSecureWipe(g_enteredPin, sizeof g_enteredPin); }

void ResetPromptState() {
    WipeEnteredCredentials();
    WipeEnteredPin();
    SetInputLimits(kDefaultIdLimit, kDefaultPasswordLimit, kDefaultPinLimit);
}
