// The api layer's process-wide state in two records: the call frame's (the busy flag, the
// reader's mutex, the module, the sense trace) and the prompts' (the texts typed and the edit
// limits).  One instance each, as the library serves one session per process.
#ifndef ZUK_API_API_STATE_H
#define ZUK_API_API_STATE_H

#include <atomic>

#include "platform/dialogs.h"
#include "platform/mutex.h"
#include "platform/system.h"

struct FrameState {
    std::atomic<int> busy;  // 1 while a call is inside the frame
    PlatHandle portMutex;   // the reader's mutex while this process holds it (0: not held)
    void *moduleHandle;     // the library's module, for its dialogs
    // The sense trace: the last result traced and the presence of the last traced success, so
    // that a host polling the reader gets one line per change rather than one per poll.
    int lastSenseResult;
    int lastSensePresence;
    // The standing of a revocation list not held whole that was last written to the event log
    // (kCardAccepted: none since the lists were last whole), so that a host calling many times
    // while the list cannot be read writes one event, not one per call.
    int revocationEventStanding;
};

struct PromptState {
    // Zero-terminated texts typed in the last prompt of each kind closed with OK.
    char enteredId[kDialogTextSize];
    char enteredPassword[kDialogTextSize];
    char enteredPin[kDialogTextSize];
    // Edit limits (bytes): 128, 256 and 16 at load; ZUKGetMaxLength sets them from the card layout.
    int idLimit;
    int passwordLimit;
    int pinLimit;
};

extern FrameState g_frame;
extern PromptState g_prompt;

// The prompts' record back to the state at load: texts wiped, limits 128/256/16.
void ResetPromptState();

// The api layer's records back to the state at load: frame free, no mutex held (one still open is
// forgotten, not released), texts wiped, limits 128/256/16, and the dialogs' record
// (DialogStateReset: no parent, no card-access window).
void ApiStateReset();

// Every layer's state back to the state at load (the api's records, the card's, the link's, the
// settings and the message texts); used by the unload, the tests and the fuzz targets.  Nothing
// is closed or released: close the session first where that matters.
void LibraryStateReset();

#endif
