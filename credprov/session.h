// The state one provider instance shares with its tile: the loaded library, the reader, the card
// laid (its user's name), the tile's status, and the background wait that follows the card.
#ifndef ZUK_CREDPROV_SESSION_H
#define ZUK_CREDPROV_SESSION_H

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "credprov/card_library.h"
#include "credprov/credential_provider_abi.h"
#include "credprov/tile_status.h"

const size_t kTileTextMax = 512;  // UTF-16 units of a tile text, terminator included
const size_t kPinMax = 64;        // UTF-16 units of a PIN, without terminator

struct Session {
    LONG refs;
    CardLibrary library;
    CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario;
    bool opened;  // the reader was opened by this session (and is closed by it)

    std::mutex lock;
    std::condition_variable changed;
    // Guarded by lock.
    bool present;
    wchar_t userName[kTileTextMax];  // the card's user name, or empty
    TileStatus status;
    ICredentialProviderEvents *events;
    UINT_PTR adviseContext;
    bool stopWatcher;
    bool pauseWatcher;
    bool watcherIdle;
    bool watcherRunning;
    std::thread watcher;
};

// Creates a session for a scenario: loads the library and opens the reader; null when the library
// cannot be loaded.
Session *SessionCreate(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario);
void SessionAddRef(Session *s);
void SessionRelease(Session *s);  // the last release stops the wait and closes the reader

// Starts (Advise) or stops (UnAdvise) the background wait that reports the card laid or taken
// away through events->CredentialsChanged.
void SessionAdvise(Session *s, ICredentialProviderEvents *events, UINT_PTR context);
void SessionUnAdvise(Session *s);

// Runs the account flow with the PIN (ANSI bytes): stops the background wait meanwhile, opens
// the reader again if it was not there.  Returns the library's result; *triesLeft as it reports;
// *phase tells an opening failure from a card one.
int SessionIdentify(Session *s, const char *pin, int pinLength, AccountRequest *request,
                    int *triesLeft, TilePhase *phase);

// The catalogue text of a message id in UTF-16 (empty when the catalogue lacks it).
void CatalogueText(uint32_t id, wchar_t *out, size_t capacity);
// The tile's status text for a status (empty when it says nothing).
void StatusText(const TileStatus &status, wchar_t *out, size_t capacity);

extern HMODULE g_credProvModule;
extern LONG g_credProvObjects;  // live COM objects and server locks

#endif
