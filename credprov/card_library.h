// The seams between the provider's logic and what it cannot run itself: the exports of
// ZUKcntrl.dll it calls (loaded at run time from the provider's own folder), and the Negotiate
// package's number that LSA assigns.  A test host replaces either with its own.
#ifndef ZUK_CREDPROV_CARD_LIBRARY_H
#define ZUK_CREDPROV_CARD_LIBRARY_H

#include <windows.h>

#include "tools/zuk_exports.h"

struct CardLibrary {
    HMODULE module;  // null when the functions are not a loaded ZUKcntrl.dll's
    OpenFn open;
    CloseFn close;
    SenseFn sense;
    ReadTextFn userName;
    UserAccountWithPinFn accountWithPin;
    WaitForCardFn waitForCard;
    CancelFn cancel;
};

// Loads ZUKcntrl.dll from the folder of `beside` (the provider's module) with the library's
// windows switched off for this process (ZUK_UNATTENDED=1: no retry or busy box; the host-driven
// exports show none anyway).  False (and *out zeroed) when the DLL or an export is missing.
bool LoadCardLibrary(HMODULE beside, CardLibrary *out);
void FreeCardLibrary(CardLibrary *library);

// The Negotiate package's number for the serialization; S_OK and *package, or a failure.
typedef HRESULT (*NegotiatePackageFn)(ULONG *package);
// Asks LSA (LsaConnectUntrusted, LsaLookupAuthenticationPackage "Negotiate").
HRESULT LookupNegotiatePackage(ULONG *package);

// What the provider uses; the defaults are LoadCardLibrary's and LookupNegotiatePackage.  A test
// host linking the provider's code sets its own before it creates a provider.
struct ProviderSeams {
    bool (*loadLibrary)(HMODULE beside, CardLibrary *out);
    NegotiatePackageFn negotiatePackage;
};
ProviderSeams *CredProvSeams();

#endif
