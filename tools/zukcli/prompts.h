// --cancel-prompts: a watcher thread answers the library's message boxes (Retry / Cancel prompts,
// notices) with Cancel, or OK where there is no Cancel, so that a failing call returns its code
// instead of waiting for a person.  The library's dialogs are left for a person.  Each message box
// it answered is recorded with its caption and text.
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
