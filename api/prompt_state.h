// State shared by the prompt dialogs and the account flow: the texts typed in the last prompt of
// each kind closed with OK, and the maximum lengths the dialogs allow in their edit fields.
#ifndef ZUK_API_PROMPT_STATE_H
#define ZUK_API_PROMPT_STATE_H

#include "platform/dialogs.h"

// Zero-terminated texts, kDialogTextSize bytes each; a dialog's OK clears and refills them.
char *EnteredId();
char *EnteredPassword();
char *EnteredPin();

// Edit limits (bytes): 128, 256 and 16 at load; ZUKGetMaxLength sets them from the card layout.
int IdInputLimit();
int PasswordInputLimit();
int PinInputLimit();
void SetInputLimits(int id, int password, int pin);

// Wipes the typed texts once the flow has taken what it needs from them.
void WipeEnteredCredentials();  // ID and password
void WipeEnteredPin();

#endif
