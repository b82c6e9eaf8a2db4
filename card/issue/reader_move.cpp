// Moving a reader to another operational key set, and finding out which set it holds when the
// move went wrong.
#include "card/issue/reader_move.h"

#include <cstring>

#include "card/session.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "link/transport.h"
#include "platform/system.h"

namespace {

// Whether an authentication failed because the reader does not hold the set tried (it refused
// the host's answer, or its own answer did not prove the set), rather than on the line.
bool Refused(LinkStatus st) {
    return ChannelKeysRefused(st) ||
           (st >= LINK_STATUS_WORD_BASE && st <= LINK_STATUS_WORD_BASE + 0xFFFFu);
}

// Authenticates with `set` as the operational set; the link keeps using it afterwards.
LinkStatus AuthenticateWith(const std::uint8_t set[CHANNEL_KEY_SET_SIZE]) {
    LinkUseChannelKeys(g_link.keys.initial, set);
    return ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL);
}

// Which of old and new the reader answers to now, after a move that did not come back whole.
MoveOutcome AfterFailedMove(const MoveRequest &rq, MoveReport *report) {
    (void)SerialPurge();  // what is left of a lost answer
    if (AuthenticateWith(rq.newSet) == LINK_OK) {
        report->holder = MOVE_HOLDS_NEW;
        return MOVE_DONE_UNANSWERED;
    }
    if (AuthenticateWith(rq.oldSet) == LINK_OK) {
        report->holder = MOVE_HOLDS_OLD;
        return MOVE_NOT_MOVED;
    }
    return MOVE_UNKNOWN;
}

// On an opened reader that holds an operational set.
MoveOutcome Move(const MoveRequest &rq, MoveReport *report) {
    const LinkStatus old = AuthenticateWith(rq.oldSet);
    if (old == LINK_OK) {
        const LinkStatus moved = ChannelMoveKeys(rq.newSet);
        if (moved == LINK_OK) {
            report->holder = MOVE_HOLDS_NEW;
            return MOVE_DONE;
        }
        report->status = moved;
        return AfterFailedMove(rq, report);
    }
    report->status = old;
    if (!Refused(old)) return MOVE_OPEN_FAILED;
    // Not the old set: nothing is written, but the operator is told what the reader does hold.
    if (AuthenticateWith(rq.newSet) == LINK_OK) {
        report->holder = MOVE_HOLDS_NEW;
        report->status = 0;
        return MOVE_NOT_NEEDED;
    }
    if (rq.other != nullptr && AuthenticateWith(rq.other) == LINK_OK) {
        report->holder = MOVE_HOLDS_OTHER;
    }
    return MOVE_REFUSED;
}

MoveOutcome Finish(MoveReport *report, MoveOutcome outcome) {
    report->outcome = outcome;
    return outcome;
}

}  // namespace

MoveOutcome IssueMoveReader(const MoveRequest &rq, MoveReport *report) {
    std::memset(report, 0, sizeof *report);
    IssueStation station;
    const IssueOpenStatus taken = IssueTakeReader(rq.port, rq.wait, &station);
    std::memcpy(report->port, station.port, sizeof report->port);
    if (taken == ISSUE_READER_HELD) return Finish(report, MOVE_READER_HELD);
    if (taken != ISSUE_OPENED) return Finish(report, MOVE_NO_MUTEX);

    char found[sizeof station.port];
    const char *path = station.port;
    if (path[0] == '\0') {
        if (FindDriverPort(found, sizeof found) != CARD_OK) {
            report->status = CARD_ERR_NO_READER;
            IssueCloseStation(&station);
            return Finish(report, MOVE_OPEN_FAILED);
        }
        path = found;
    }
    ChannelKeys before;
    std::memcpy(&before, &g_link.keys, sizeof before);
    MoveOutcome outcome = MOVE_OPEN_FAILED;
    LinkStatus st = SessionOpenReader(path);
    if (st == LINK_OK) {
        std::uint8_t state[3];
        st = ChannelReadKeyState(state);
        if (st != LINK_OK) outcome = MOVE_OPEN_FAILED;
        else if (!ChannelKeyStateComplete(state)) outcome = MOVE_FACTORY;
        else outcome = Move(rq, report);
        (void)SessionCloseLink();
    }
    if (st != LINK_OK) report->status = st;
    LinkUseChannelKeys(before.initial, before.operational);
    PlatSecureWipe(&before, sizeof before);
    IssueCloseStation(&station);
    return Finish(report, outcome);
}
