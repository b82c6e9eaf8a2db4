// The typed prompts of the account flow: each shows the seam's prompt with the flow's edit limits
// and its typed-text areas, where the flow takes the texts from after OK.
#include "api/dialogs/dialogs.h"
#include "api/prompt_state.h"

namespace {

DialogEntry FlowEntry() {
    return DialogEntry{IdInputLimit(), PasswordInputLimit(), PinInputLimit(),
                       EnteredId(),    EnteredPassword(),    EnteredPin()};
}

}  // namespace

int CardOrIdDialog(void *parent) { return ShowCardOrIdDialog(parent, FlowEntry()); }
int IdPasswordDialog(void *parent) { return ShowIdPasswordDialog(parent, FlowEntry()); }
int PinDialog(void *parent) { return ShowPinDialog(parent, FlowEntry()); }
