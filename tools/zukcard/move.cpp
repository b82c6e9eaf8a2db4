// zukcard move-reader: gives a reader a site's operational key set.  The new set comes from a site
// key file (--keys), the set the reader holds now is the built-in one or another file's (--from).
// Every outcome says which set the reader holds, by the file it comes from; no key is printed.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "card/issue/reader_move.h"
#include "link/link_state.h"
#include "settings/site_keys.h"
#include "status/status_table.h"
#include "tools/zukcard/options.h"
#include "tools/zukcard/output.h"
#include "tools/zukcli/key_file.h"
#include "tools/zukcli/report.h"
#include "zuk_build_constants.h"

namespace {

const char *OutcomeName(MoveOutcome outcome) {
    switch (outcome) {
    case MOVE_DONE: return "moved";
    case MOVE_DONE_UNANSWERED: return "moved-answer-lost";
    case MOVE_NOT_NEEDED: return "not-needed";
    case MOVE_FACTORY: return "factory-reader";
    case MOVE_REFUSED: return "refused";
    case MOVE_NOT_MOVED: return "not-moved";
    case MOVE_UNKNOWN: return "unknown";
    case MOVE_READER_HELD: return "reader-held";
    case MOVE_NO_MUTEX: return "no-mutex";
    case MOVE_OPEN_FAILED: return "open-failed";
    }
    return "unknown";
}

struct Names {
    std::string from;  // "the built-in set" or "the set of OLDFILE"
    std::string to;    // "the set of NEWFILE"
    bool fromFile;
};

// What the reader was found holding, for the document.
std::string HolderJson(MoveHolder holder, const Options &o) {
    switch (holder) {
    case MOVE_HOLDS_NEW: return JsonString(o.keysFile);
    case MOVE_HOLDS_OLD:
        return o.fromFile.empty() ? JsonString("built-in") : JsonString(o.fromFile);
    case MOVE_HOLDS_OTHER: return JsonString("built-in");
    case MOVE_HOLDS_UNKNOWN: break;
    }
    return "null";
}

// The messages of an outcome; the exit code.
int SayOutcome(const MoveReport &r, const Names &n, Output *out) {
    const std::string where = r.port[0] ? r.port : "the reader driver's port";
    const std::string failure = ResultText(StatusResult(r.status), r.status);
    switch (r.outcome) {
    case MOVE_DONE:
        out->Say("moved: the reader on " + where + " now holds " + n.to + "; " + n.from +
                 " no longer opens it");
        return EXIT_DONE;
    case MOVE_DONE_UNANSWERED:
        out->Say("the reader's answer to the move was lost (" + failure +
                 "); both sets were tried: "
                 "the reader on " +
                 where + " now holds " + n.to + ", so it has moved");
        return EXIT_DONE;
    case MOVE_NOT_NEEDED:
        out->Say("the reader on " + where + " already holds " + n.to + "; nothing was written");
        return EXIT_DONE;
    case MOVE_FACTORY:
        out->Say("the reader on " + where +
                 " is a factory reader (its key state is incomplete): it "
                 "needs no move. The library gives it the site's operational set the first time it "
                 "opens it with the site's keys. Nothing was written.");
        return EXIT_DONE;
    case MOVE_REFUSED: {
        std::string text = "refused: the reader on " + where + " does not hold " + n.from +
                           "; nothing was written. ";
        if (r.holder == MOVE_HOLDS_OTHER) {
            text += "It holds the built-in set: run again without --from.";
        } else {
            text += std::string("It holds neither ") +
                    (n.fromFile ? "that set, " : "that set nor ") + n.to +
                    (n.fromFile ? " nor the built-in set" : "") +
                    ": run again with --from and the site key file the reader was last moved to.";
        }
        out->Say(text);
        return EXIT_NOT_DONE;
    }
    case MOVE_NOT_MOVED:
        out->Say("the move did not complete (" + failure +
                 "); both sets were tried: the reader on " + where + " still holds " + n.from +
                 ". Run the same command again.");
        return EXIT_NOT_DONE;
    case MOVE_UNKNOWN:
        out->Say("the move did not complete (" + failure + "), and the reader on " + where +
                 " now answers to neither " + n.from + " nor " + n.to +
                 ". Check its cable and power, then run the same command again, or with --from and "
                 "the new file if it took the new set.");
        return EXIT_NOT_DONE;
    case MOVE_READER_HELD:
        out->Say("another program holds the reader; try again when it has closed it");
        return EXIT_READER_HELD;
    case MOVE_NO_MUTEX: out->Say("the reader's mutex cannot be had"); return EXIT_NOT_DONE;
    case MOVE_OPEN_FAILED:
        out->Say("cannot open the reader on " + where + ": " + failure);
        return EXIT_NOT_DONE;
    }
    return EXIT_NOT_DONE;
}

}  // namespace

int RunMoveReader(const Options &o) {
    Output out;
    out.json = o.json;
    out.command = o.command;
    out.fields.push_back({"to", JsonString(o.keysFile)});
    out.fields.push_back({"from", JsonString(o.fromFile.empty() ? "built-in" : o.fromFile)});

    static const std::uint8_t kBuiltIn[SITE_CHANNEL_KEYS_SIZE] = ZUK_OPERATIONAL_KEYS_INIT;
    Names names{o.fromFile.empty() ? "the built-in set" : "the set of " + o.fromFile,
                "the set of " + o.keysFile, !o.fromFile.empty()};
    SiteKeys to, from;
    std::string error;
    std::uint8_t oldSet[SITE_CHANNEL_KEYS_SIZE];
    std::memcpy(oldSet, kBuiltIn, sizeof oldSet);
    bool usable = LoadSiteKeyFile(o.keysFile, &to, &error) == kSiteKeysOk;
    if (usable && names.fromFile) {
        usable = LoadSiteKeyFile(o.fromFile, &from, &error) == kSiteKeysOk;
        std::memcpy(oldSet, from.operational, sizeof oldSet);
        SiteKeysWipe(&from);
    }
    if (usable && std::memcmp(oldSet, to.operational, sizeof oldSet) == 0) {
        error =
            names.from + " and " + names.to + " are one operational set: there is nothing to move";
        usable = false;
    }
    if (!usable) {
        SiteKeysWipe(&to);
        SecureZeroMemory(oldSet, sizeof oldSet);
        out.Say(error + "; nothing was done");
        return out.Finish(EXIT_USAGE);
    }

    const MoveRequest request{o.port.c_str(), !o.noWait, oldSet, to.operational,
                              names.fromFile ? kBuiltIn : nullptr};
    MoveReport report;
    IssueMoveReader(request, &report);
    SiteKeysWipe(&to);
    SecureZeroMemory(oldSet, sizeof oldSet);
    LinkStateReset();  // the last authentication's session values
    out.port = report.port;
    out.fields.push_back({"outcome", JsonString(OutcomeName(report.outcome))});
    out.fields.push_back({"holds", HolderJson(report.holder, o)});
    return out.Finish(SayOutcome(report, names, &out));
}
