// Moving a reader to a site's operational key set: the reader is opened as the library opens it
// (its mutex, its port), but the secure channel is set up by hand, so that a factory reader is left
// as it is and a reader that refuses the old set is told apart from one that cannot be reached.
// When the move itself fails or its answer is lost, the sets are tried again to find out which one
// the reader holds now.
#ifndef ZUK_CARD_ISSUE_READER_MOVE_H
#define ZUK_CARD_ISSUE_READER_MOVE_H

#include <cstdint>

#include "card/issue/issuing.h"
#include "link/link_state.h"

enum MoveOutcome {
    MOVE_DONE,             // the reader took the new set and authenticates with it
    MOVE_DONE_UNANSWERED,  // the move's answer was lost, but the reader now holds the new set
    MOVE_NOT_NEEDED,       // the reader already held the new set: nothing was written
    MOVE_FACTORY,          // a factory reader (incomplete key state): nothing was written
    MOVE_REFUSED,          // the reader does not hold the old set: nothing was written
    MOVE_NOT_MOVED,  // the move failed (or its answer was lost): the reader still holds the old set
    MOVE_UNKNOWN,    // the move failed and the reader now answers to neither set
    MOVE_READER_HELD,  // another program holds the reader (only without waiting)
    MOVE_NO_MUTEX,     // the reader's mutex could not be created or waited for
    MOVE_OPEN_FAILED,  // the port, the reader or its key state could not be reached
};

// The set a reader was found holding.
enum MoveHolder {
    MOVE_HOLDS_UNKNOWN,  // none of the sets tried (or none tried)
    MOVE_HOLDS_OLD,
    MOVE_HOLDS_NEW,
    MOVE_HOLDS_OTHER,  // the request's `other` set
};

struct MoveRequest {
    const char *port;            // COMn or a device path; empty or null: the library's port
    bool wait;                   // wait for another program to let go of the reader
    const std::uint8_t *oldSet;  // the operational set the reader should hold now (KA KB KC)
    const std::uint8_t *newSet;  // the set it is to hold
    const std::uint8_t *other;   // a further set worth trying when the old one is refused, or null
};

struct MoveReport {
    char port[512];  // the port opened (empty: the reader driver's port)
    MoveOutcome outcome;
    MoveHolder holder;     // which set the reader was found holding, where one was tried
    std::uint32_t status;  // the link status of the step that failed (0: none)
};

// Moves the reader; the outcome (also in report->outcome).  The channel's key sets are as before
// afterwards; no copy of a set is left in the link.
MoveOutcome IssueMoveReader(const MoveRequest &request, MoveReport *report);

#endif
