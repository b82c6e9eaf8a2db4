// --pin for `account`: a watcher thread answers the library's PIN exchange as a user would, for
// runs without a person at the screen.  The PIN is given once per call: the first PIN dialog gets
// it (typed, then OK); the wrong-PIN notice that may follow is dismissed with its OK; a PIN dialog
// that asks again is cancelled, so that a wrong PIN ends the call with ZUK_ERR_PIN_WRONG (3)
// instead of being typed again until the card locks.  With --screenshot the first PIN dialog is
// first saved as a PNG picture.
#ifndef ZUKCLI_PIN_ANSWERER_H
#define ZUKCLI_PIN_ANSWERER_H

#include <string>

// Starts answering the PIN exchange of one call with `pin`; the first PIN dialog is pictured into
// `screenshotPath` when that is not empty.
void StartPinAnswerer(const std::string &pin, const std::string &screenshotPath);
// Stops the watcher; true when a picture was written.
bool StopPinAnswerer();
// Whether a PIN answerer is running (the prompt canceller then leaves the PIN dialog and the
// wrong-PIN notice to it).
bool PinAnswererRunning();

#endif
