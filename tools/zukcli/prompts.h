// --cancel-prompts and --unattended: a watcher thread answers every window of the library that
// would wait for a person (message boxes, the no-card and wrong-PIN notices, the card wait, user ID
// and password and PIN prompts) with Cancel, or OK where there is no Cancel, so that every call
// returns its code instead of waiting.  The PIN prompt and the wrong-PIN notice are left to --pin
// while that answers them.
// Each window answered is recorded with its caption and text.
#ifndef ZUKCLI_PROMPTS_H
#define ZUKCLI_PROMPTS_H

#include <string>
#include <vector>

void StartPromptCanceller();
// Ends the watcher before the process ends.
void StopPromptCanceller();

// The prompts answered since the last call, as "caption: text"; clears the record.
std::vector<std::string> TakeAnsweredPrompts();

#endif
