// --pin for `account`: a watcher thread answers the library's PIN dialog as a user would (types
// the PIN, presses OK), for runs without a person at the screen.  With --screenshot it first
// saves a picture of the dialog as PNG.
#ifndef ZUKCLI_PIN_ANSWERER_H
#define ZUKCLI_PIN_ANSWERER_H

#include <string>

// Starts answering every PIN dialog this process shows with `pin`; the first one is pictured into
// `screenshotPath` when that is not empty.
void StartPinAnswerer(const std::string &pin, const std::string &screenshotPath);
// Stops the watcher; true when a picture was written.
bool StopPinAnswerer();
// Whether a PIN answerer is running (the prompt canceller then leaves the PIN prompt to it).
bool PinAnswererRunning();

#endif
