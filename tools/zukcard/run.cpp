// zukcard's card commands: check the input, open the reader as the library does with the issuing
// key table (the built-in one, or a site key file's), ask before data would be lost, carry the plan
// out, and report every item as written and verified or not, as text or as one JSON document.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "card/card_state.h"
#include "card/card_status.h"
#include "card/last_status.h"
#include "card/felica.h"
#include "card/issue/issuing.h"
#include "card/sensing.h"
#include "card/session.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "settings/site_keys.h"
#include "tools/zukcard/options.h"
#include "tools/zukcard/output.h"
#include "tools/zukcli/key_file.h"
#include "tools/zukcli/report.h"
#include "tools/zukcli/results.h"
#include "zuk_issuer_keys.h"

namespace {

const char *StateText(IssueState state) {
    switch (state) {
    case ISSUE_NOT_WRITTEN: return "not written";
    case ISSUE_VERIFIED: return "written and verified";
    case ISSUE_WRITE_FAILED: return "write failed";
    case ISSUE_KEY_REFUSED: return "not written: the card refused the write key";
    case ISSUE_READ_BACK_FAILED: return "written, reading back failed";
    case ISSUE_DIFFERS: return "written, reads back otherwise";
    }
    return "unknown";
}

// Reports every item of a plan that ran (or stopped part-way); `table` names the issuing table the
// station wrote with.
void ReportPlan(const IssuePlan &plan, const std::string &table, Output *out) {
    std::string written, notWritten;
    bool keyRefused = false;
    out->itemsJson = "[";
    for (int i = 0; i < plan.count; ++i) {
        const IssueWrite &w = plan.writes[i];
        if (w.state == ISSUE_KEY_REFUSED) keyRefused = true;
        std::string line = std::string(w.name) + ": " + StateText(w.state);
        if (w.result != 0) line += ": " + ResultText(w.result, w.lowStatus);
        if (!out->json) out->Say(line);  // the JSON output lists the items instead
        std::string &list = w.state == ISSUE_VERIFIED ? written : notWritten;
        list += (list.empty() ? "" : ", ") + std::string(w.name);
        out->itemsJson += std::string(i ? "," : "") + "{\"name\":" + JsonString(w.name) +
                          ",\"state\":" + JsonString(StateText(w.state)) +
                          ",\"verified\":" + (w.state == ISSUE_VERIFIED ? "true" : "false");
        if (w.result != 0) {
            const ResultInfo *info = FindResult(w.result);
            out->itemsJson += ",\"result\":" + std::to_string(w.result) +
                              ",\"resultName\":" + JsonString(info ? info->name : "unknown") +
                              ",\"cardStatus\":" + std::to_string(w.lowStatus);
        }
        out->itemsJson += "}";
    }
    out->itemsJson += "]";
    if (notWritten.empty()) return;
    const std::string done =
        "written and verified: " + (written.empty() ? std::string("none") : written) +
        "; not done: " + notWritten;
    if (!keyRefused) {
        out->Say("the card is not complete: " + done +
                 ". Run the same command again to complete it.");
        return;
    }
    // A card refuses a key it does not hold on every run: saying "again" would only repeat this.
    out->Say(
        "the card does not hold the write keys of " + table + ": it refused them, so " + done +
        ". Running the command again will not change that. A blank card from the vendor holds "
        "the vendor's issuing keys, which the built-in key set writes; a site key file's issuing "
        "table writes only cards prepared with that table's keys (docs/issuing.md: blank cards)");
}

std::string CardJson(const CardDescription &d, bool showSecrets) {
    // The description's own lines, as name/value pairs: one format for both outputs.
    std::istringstream lines(FormatCardDescription(d, showSecrets));
    std::string line, json = "{";
    bool first = true;
    while (std::getline(lines, line)) {
        const std::size_t eq = line.find(" =");
        const std::string name = line.substr(0, eq);
        const std::string value = eq + 3 <= line.size() ? line.substr(eq + 3) : "";
        const bool number = name == "retry_limit" || name == "failure_count";
        json += (first ? "" : ",") + JsonString(name) + ":" + (number ? value : JsonString(value));
        first = false;
    }
    return json + "}";
}

bool ReadFile(const std::string &path, std::string *text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

// Asks on the console whether to go on; false when the input is not a console (a file, a pipe or
// NUL, which the C runtime's isatty takes for a terminal too).
bool Confirm(const std::string &question) {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return false;
    std::printf("%s [y/N] ", question.c_str());
    std::fflush(stdout);
    char answer[16] = {0};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

// The plan of the command; false (with the reason said) when the input is refused.
bool MakePlan(const Options &o, IssuePlan *plan, CardDescription *description, Output *out) {
    std::string error;
    plan->count = 0;
    if (o.command == "write") {
        std::string text;
        if (!ReadFile(o.argument, &text)) {
            out->Say("cannot read " + o.argument);
            return false;
        }
        if (!ParseCardDescription(text, description, &error) ||
            !IssuePlanDescription(*description, plan, &error)) {
            out->Say(o.argument + ": " + error + "; nothing was written");
            return false;
        }
        if (plan->count == 0) {
            out->Say(o.argument + " sets no item of the card; nothing to write");
            return false;
        }
        return true;
    }
    if (o.command == "set-pin") {
        if (IssuePlanPin(o.argument, plan, &error)) return true;
    } else if (o.command == "set-limit") {
        char *end = nullptr;
        const long n = std::strtol(o.argument.c_str(), &end, 10);
        const bool number = !o.argument.empty() && *end == '\0';
        if (!number || n < 0 || n > 255) error = "retry_limit must be 0 to 255, not " + o.argument;
        else if (IssuePlanLimit(static_cast<int>(n), plan, &error)) return true;
    } else if (o.command == "unlock") {
        IssuePlanUnlock(plan);
        return true;
    } else if (o.command == "erase") {
        IssuePlanErase(plan);
        return true;
    }
    out->Say(error + "; nothing was written");
    return false;
}

// Says when the card description names another card: a card's IDm and PMm are its own.
void NoteIdentity(const CardDescription &file, Output *out) {
    if (!file.set[FIELD_IDM] && !file.set[FIELD_PMM]) return;
    std::uint8_t idm[8], pmm[8];
    int idmLength = 8, pmmLength = 8;
    if (CardGetIdm(idm, &idmLength, pmm, &pmmLength) != SESSION_OK) return;
    if ((file.set[FIELD_IDM] && std::memcmp(file.idm, idm, 8) != 0) ||
        (file.set[FIELD_PMM] && std::memcmp(file.pmm, pmm, 8) != 0))
        out->Say("note: the file's idm or pmm is not this card's; a card's IDm and PMm are its "
                 "own and are not written");
}

// Whether an open failed because the reader does not take the station's channel key set: it
// refused the station's answer to its challenge, or its own answer did not prove the set.
bool KeySetRefused(std::uint32_t lowStatus) { return ChannelKeysRefused(lowStatus); }

// The issuing table of a site key file, with its channel key sets and reader keys made the
// session's; false (said) when the file cannot be used, with nothing done.
bool UseKeyFile(const std::string &path, std::uint8_t issuer[CARD_KEY_TABLE_SIZE], Output *out) {
    SiteKeys keys;
    std::string error;
    if (LoadSiteKeyFile(path, &keys, &error) != kSiteKeysOk) {
        out->Say(error + "; nothing was done");
        return false;
    }
    const bool usable = keys.hasIssuer;
    if (usable) {
        static_assert(sizeof keys.issuer == CARD_KEY_TABLE_SIZE, "issuing table size");
        CardUseSiteKeys(keys);
        std::memcpy(issuer, keys.issuer, CARD_KEY_TABLE_SIZE);
    } else {
        out->Say(path + " carries no issuing table ('issuer'), which an issuing station needs; "
                        "nothing was done");
    }
    SiteKeysWipe(&keys);
    return usable;
}

// Puts the built-in keys back over the copies of a site's in the link's and the card's records
// (the session is closed by then), which also wipes the last session's values.
void ForgetSiteKeys() {
    LinkStateReset();
    CardStateReset();
}

// The command on an opened station; `issuer` is wiped once the station has loaded it.
int RunOnReader(const Options &o, std::uint8_t issuer[CARD_KEY_TABLE_SIZE], Output &out) {
    IssuePlan plan;
    CardDescription description;
    if (o.command != "read" && !MakePlan(o, &plan, &description, &out))
        return out.Finish(EXIT_USAGE);

    IssueStation station;
    const IssueOpenStatus opened = IssueOpenStation(o.port.c_str(), !o.noWait, issuer, &station);
    SecureZeroMemory(issuer, CARD_KEY_TABLE_SIZE);
    out.port = station.port;
    const std::string keySet =
        o.keysFile.empty() ? std::string("the built-in key set") : "the key set of " + o.keysFile;
    const std::string where = station.port[0] ? station.port : "the reader driver's port";
    const std::string failure = ResultText(station.result, station.lowStatus);
    switch (opened) {
    case ISSUE_OPENED: break;
    case ISSUE_READER_HELD:
        out.Say("another program holds the reader; try again when it has closed it");
        return out.Finish(EXIT_READER_HELD);
    case ISSUE_NO_MUTEX:
        out.Say("the reader's mutex cannot be had");
        return out.Finish(EXIT_NOT_DONE);
    case ISSUE_OPEN_FAILED:
        out.Say("cannot open the reader on " + where + ": " + failure);
        if (KeySetRefused(station.lowStatus)) {
            std::string hint = "the reader does not hold " + keySet +
                               ": give --keys with the site key file of the set it holds";
            if (!o.keysFile.empty())
                hint += ", or move the reader to this file's set (zukcard move-reader --keys " +
                        o.keysFile + ")";
            out.Say(hint);
        }
        return out.Finish(EXIT_NOT_DONE);
    case ISSUE_KEYS_REFUSED:
        out.Say("the reader refused the issuing key table: " + failure);
        return out.Finish(EXIT_NOT_DONE);
    case ISSUE_SENSE_FAILED:
        out.Say("sensing the card failed: " + failure);
        return out.Finish(EXIT_NOT_DONE);
    case ISSUE_NO_CARD:
        out.Say("no card on the reader at " + where);
        return out.Finish(EXIT_NOT_DONE);
    }

    int exitCode = EXIT_DONE;
    if (o.command == "read") {
        CardDescription card;
        const std::int32_t result = IssueReadCard(&card);
        if (result != 0) {
            out.Say("reading the card failed: " + ResultText(result, GetLastCardStatus()));
            exitCode = EXIT_NOT_DONE;
        } else if (o.json) {
            out.cardJson = CardJson(card, o.showSecrets);
        } else {
            std::fputs(FormatCardDescription(card, o.showSecrets).c_str(), stdout);
        }
        IssueCloseStation(&station);
        return out.Finish(exitCode);
    }

    // A write or an erase over data that would be lost asks first.
    if (o.command == "write" || o.command == "erase") {
        std::string names;
        const std::int32_t result = IssueFindOverwrites(plan, &names);
        if (result != 0) {
            out.Say("reading the card failed: " + ResultText(result, GetLastCardStatus()));
            IssueCloseStation(&station);
            return out.Finish(EXIT_NOT_DONE);
        }
        const std::string lost = "card holds data that would be lost (" + names + ")";
        if (!names.empty() && !o.force && (o.json || !Confirm("The " + lost + ". Go on?"))) {
            out.Say("the " + lost + "; nothing was written. Use --force to write over it.");
            IssueCloseStation(&station);
            return out.Finish(EXIT_NOT_DONE);
        }
    }
    if (o.command == "write") NoteIdentity(description, &out);
    if (IssueRun(&plan) != 0) exitCode = EXIT_NOT_DONE;
    ReportPlan(
        plan,
        o.keysFile.empty() ? "the built-in issuing table" : "the issuing table of " + o.keysFile,
        &out);
    std::memset(&plan, 0, sizeof plan);  // the plan held the password and the PIN
    IssueCloseStation(&station);
    return out.Finish(exitCode);
}

}  // namespace

int RunCommand(const Options &o) {
    Output out;
    out.json = o.json;
    out.command = o.command;
    static const std::uint8_t kIssuerKeys[CARD_KEY_TABLE_SIZE] = ZUK_ISSUER_KEYS_INIT;
    std::uint8_t issuer[CARD_KEY_TABLE_SIZE];
    std::memcpy(issuer, kIssuerKeys, sizeof issuer);
    if (!o.keysFile.empty() && !UseKeyFile(o.keysFile, issuer, &out)) return out.Finish(EXIT_USAGE);
    const int exitCode = RunOnReader(o, issuer, out);
    SecureZeroMemory(issuer, sizeof issuer);
    ForgetSiteKeys();
    return exitCode;
}
