// The workers behind the exports.  Each checks its arguments and the settings, calls the card
// layer, turns its status into a result code (CardStatusResult), traces once and returns it.
// The account flow and the dialogs call some of them directly (under their own export names).
#ifndef ZUK_API_WORKERS_H
#define ZUK_API_WORKERS_H

#include <cstdint>

#include "ZUKcntrl.h"

// The reader handle: ZUKOpen hands out this one, and the workers that take a handle accept no
// other.
const int kReaderHandle = 1;

int OpenWorker(int *handle);
int CloseWorker(int handle);
int SenseCardWorker(int handle, int *present);
int VerifyPinWorker(int handle, int pinLength, const char *pin);
int UserNameWorker(int handle, char *buffer, int *length);
int UserOptionWorker(int handle, char *buffer, int *length);
int AdminOptionWorker(int handle, char *buffer, int *length);
int MaxLengthWorker(int *maxIdLength, int *maxPasswordLength);
// The standing of the card in session (g_card.idm) on this machine: SESSION_OK, SESSION_ERR_REVOKED
// (the pairs the user keeps from it are deleted), or the status that says no revocation list is in
// force.  Every export that would read the card or try its PIN asks first.
std::uint32_t CardStandingStatus();
int AccountWorker(int handle, AccountRequest *request, int mode, void *window);

// The host-driven workers (no window in any outcome).
int AccountWithPinWorker(int handle, AccountRequest *request, int mode, const char *pin,
                         int pinLength, int *triesLeft);
int PinTriesWorker(int handle, int *triesLeft, int *tryLimit);
int WaitForCardWorker(int handle, int wantPresent, int timeoutMs, int *present);

// The PIN tries of the card in session, read without a write: the limit it keeps (0: none) and
// the tries left before it locks (0 once locked; the limit when it keeps none is meaningless).
struct PinTries {
    int limit;
    int left;
};
// The result code of the card read (untraced); *hasPin false leaves *tries untouched.
int ReadPinTries(bool *hasPin, PinTries *tries);

#endif
