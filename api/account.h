// The user-account flow behind ZUKGetUserAccount: request checks, the stored pairs, and the
// choice between silent reuse, pick-up, the card and the typed prompt.
#ifndef ZUK_API_ACCOUNT_H
#define ZUK_API_ACCOUNT_H

#include "ZUKcntrl.h"
#include "settings/credentials.h"

// Request modes that act as ZUK_ACCOUNT_MODE_INTERACTIVE; hosts pass them, so they are accepted.
const int kAccountModeInteractiveAlias1 = 0x1;
const int kAccountModeInteractiveAlias2 = 0x101;

// 0, or ZUK_ERR_PARAM / ZUK_ERR_VERSION / ZUK_ERR_HANDLE (each traced).
int ValidateAccountRequest(int mode, void *window, const AccountRequest *request, int handle);

// True when the remembered pair holds everything the configuration asks for (user ID alone, or
// user ID and password).
bool RememberedPairComplete();

// Copies a stored pair into the request: 0, ZUK_ERR_NO_DATA (no user ID stored), ZUK_ERR_BUFFER
// (the request is then unchanged) or the credential store's code.
int LoadStoredPair(AccountRequest *request, CredentialKind kind);

#endif
