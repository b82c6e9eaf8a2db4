// The issuing station's work on one card: opening the reader as the library does (the reader's
// mutex, the port from the settings or the driver's registry entries, the card session) with the
// station's own key table, turning a card description or a command into a plan of item writes,
// finding the data a plan would overwrite, and carrying a plan out with every item read back and
// compared.  A plan stops at its first failure and says which items were written and which not.
#ifndef ZUK_CARD_ISSUE_ISSUING_H
#define ZUK_CARD_ISSUE_ISSUING_H

#include <cstdint>
#include <string>

#include "card/issue/card_description.h"
#include "card/issue/card_write.h"
#include "platform/mutex.h"

constexpr int ISSUE_MAX_WRITES = 24;
constexpr int ISSUE_KEEP = -1;  // a PIN control byte kept as the card has it

enum IssueState {
    ISSUE_NOT_WRITTEN,       // not tried (an earlier item failed)
    ISSUE_VERIFIED,          // written and read back identical
    ISSUE_WRITE_FAILED,      // the write failed: the item may hold part of the new bytes
    ISSUE_KEY_REFUSED,       // the card refused the write key: it does not hold the station's keys,
                             // and nothing of the item was written
    ISSUE_READ_BACK_FAILED,  // written, but reading it back failed
    ISSUE_DIFFERS,           // written, but it reads back otherwise
};

struct IssueWrite {
    int item;
    char name[24];  // the description's name for it ("user_name"), or "item 13"
    std::uint8_t data[CARD_MAX_ITEM_SIZE];
    int length;        // bytes before the zero padding
    bool control;      // the PIN control block: bytes 0 and 1 set, bytes 2-15 kept
    int limit, count;  // its new bytes 0 and 1, or ISSUE_KEEP
    IssueState state;
    std::int32_t result;      // result code of the failing card operation, 0 otherwise
    std::uint32_t lowStatus;  // the card layer's raw status of that failure
};

struct IssuePlan {
    IssueWrite writes[ISSUE_MAX_WRITES];
    int count;
};

// Plans.  The checks come before anything is written: a text longer than its item, a PIN longer
// than 16 bytes or a limit outside 0-255 gives false with `error` naming the item.
bool IssuePlanDescription(const CardDescription &description, IssuePlan *plan, std::string *error);
void IssuePlanErase(IssuePlan *plan);  // every item of the layout to zero bytes
bool IssuePlanPin(const std::string &pin, IssuePlan *plan, std::string *error);
void IssuePlanUnlock(IssuePlan *plan);                                // failure count 0, limit kept
bool IssuePlanLimit(int limit, IssuePlan *plan, std::string *error);  // limit set, count kept

// The plan's items whose card content would be lost: a byte neither zero nor the one to be written.
// Their names go to `names` (comma-separated); API result code of the reads.
std::int32_t IssueFindOverwrites(const IssuePlan &plan, std::string *names);
// Carries the plan out in order, each item read back and compared; stops at the first item that
// is not verified.  0 when every item was, else that item's result (ZUK_ERR_UNEXPECTED when it
// merely reads back otherwise).
std::int32_t IssueRun(IssuePlan *plan);
// The card's items as a description with every field set (system code: the one polled for).
std::int32_t IssueReadCard(CardDescription *out);

enum IssueOpenStatus {
    ISSUE_OPENED,
    ISSUE_READER_HELD,   // another program holds the reader (only without waiting)
    ISSUE_NO_MUTEX,      // the reader's mutex could not be created or waited for
    ISSUE_OPEN_FAILED,   // the session did not open (no reader, port, link)
    ISSUE_KEYS_REFUSED,  // the reader refused the station's key table
    ISSUE_SENSE_FAILED,  // sensing failed
    ISSUE_NO_CARD,       // no card on the reader
};

struct IssueStation {
    char port[512];       // the port asked for or set in the settings; empty: the driver's port
    std::int32_t result;  // result code of the failing step
    std::uint32_t lowStatus;
    PlatHandle mutex;  // the reader's mutex while held, else 0
    bool sessionOpen;
};

// Takes the reader's mutex (waiting for it, or not) and loads the library's settings for the
// port, model and system codes (defaults when the machine has none); `port` (COMn or a device
// path) overrides the settings' port.  ISSUE_OPENED, ISSUE_READER_HELD or ISSUE_NO_MUTEX; the
// mutex is held only on ISSUE_OPENED (IssueCloseStation lets go of it).
IssueOpenStatus IssueTakeReader(const char *port, bool wait, IssueStation *station);
// Takes the reader's mutex (waiting for it, or not), loads the library's settings for the port,
// model and system codes (defaults when the machine has none), opens the session, loads
// `keyTable` and senses the card.  `port` (COMn or a device path) overrides the settings' port.
// Whatever was taken before a failure is released again.
IssueOpenStatus IssueOpenStation(const char *port, bool wait,
                                 const std::uint8_t keyTable[CARD_KEY_TABLE_SIZE],
                                 IssueStation *station);
void IssueCloseStation(IssueStation *station);

#endif
