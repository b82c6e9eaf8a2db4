// Typed texts and edit limits shared by the dialogs and the account flow.
#include "api/prompt_state.h"

#include "api/api_state.h"
#include "platform/system.h"

char *EnteredId() { return g_prompt.enteredId; }
char *EnteredPassword() { return g_prompt.enteredPassword; }
char *EnteredPin() { return g_prompt.enteredPin; }

int IdInputLimit() { return g_prompt.idLimit; }
int PasswordInputLimit() { return g_prompt.passwordLimit; }
int PinInputLimit() { return g_prompt.pinLimit; }

void SetInputLimits(int id, int password, int pin) {
    g_prompt.idLimit = id;
    g_prompt.passwordLimit = password;
    g_prompt.pinLimit = pin;
}

void WipeEnteredCredentials() {
    PlatSecureWipe(g_prompt.enteredId, sizeof g_prompt.enteredId);
    PlatSecureWipe(g_prompt.enteredPassword, sizeof g_prompt.enteredPassword);
}

void WipeEnteredPin() { PlatSecureWipe(g_prompt.enteredPin, sizeof g_prompt.enteredPin); }
