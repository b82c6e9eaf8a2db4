// The library's prompt dialogs as the account flow uses them: the prompts of the dialog seam
// (platform/dialogs.h), those that take typed texts given the flow's edit limits and typed-text
// areas (api/prompt_state.h), and what the waiting dialogs poll with.
#ifndef ZUK_API_DIALOGS_H
#define ZUK_API_DIALOGS_H

#include "platform/dialogs.h"

// Identifier of the window timer that polls the reader in the waiting dialogs.
const unsigned kPollTimerId = 100;

// The typed prompts with the limits of api/prompt_state.h; OK puts the texts typed into
// EnteredId/EnteredPassword or EnteredPin.
int CardOrIdDialog(void *parent);    // 1, 2, -1 or 0
int IdPasswordDialog(void *parent);  // 2, -1 or 0
int PinDialog(void *parent);         // 2, -1 or 0

// The reader's polling period of the waiting dialogs: PollingInterval, at least 100 ms.
unsigned PollingPeriodMs();

#endif
