// `status`, the reader's keys: on a reader zukcli holds (its mutex taken), the link is opened as
// ZUKOpen opens it and the reader is authenticated with the library's operational set, then, when
// it refuses that, with the other sets known on this machine, to say which one it accepts and what
// to do.  Nothing is written to the reader: a factory reader (incomplete key state), which ZUKOpen
// would give the library's operational set, is left as it is.
#include <windows.h>

#include <cstring>

#include "card/session.h"
#include "link/channel.h"
#include "link/link_state.h"
#include "platform/system.h"
#include "settings/site_key_store.h"
#include "status/status_table.h"
#include "tools/zukcli/key_store.h"
#include "tools/zukcli/settings_check.h"

namespace {

// One key set worth trying: what it is, for the messages, and its two sets.
struct Candidate {
    std::string name;
    const std::uint8_t *initial;
    const std::uint8_t *set;  // the set authenticated with as the operational one
    bool library;             // the set ZUKOpen authenticates with
};

std::string Described(LinkStatus st) {
    StatusDescription d;
    char hex[16];
    wsprintfA(hex, "0x%08lX", static_cast<unsigned long>(st));
    if (!DescribeStatus(st, &d)) return std::string("raw ") + hex;
    return std::string(d.meaning) + " (raw " + hex + "; " + d.cause + ")";
}

// Authenticates with each candidate in turn on the opened reader: the index of the first one the
// reader accepts, -1 when it refuses them all, or -2 with *failure set when the link failed
// otherwise (the line, the reader).
int FirstAccepted(const std::vector<Candidate> &candidates, LinkStatus *failure) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        LinkUseChannelKeys(candidates[i].initial, candidates[i].set);
        const LinkStatus st = ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL);
        if (st == LINK_OK) return static_cast<int>(i);
        if (!ChannelKeysRefused(st)) {
            *failure = st;
            return -2;
        }
    }
    return -1;
}

}  // namespace

void CheckReaderKeys(const std::string &port, StatusCheck *check) {
    // The built-in sets (the link's after a reset) and the site's stored on the machine.
    LinkStateReset();
    ChannelKeys builtIn;
    std::memcpy(&builtIn, &g_link.keys, sizeof builtIn);
    SiteKeys site;
    const SiteKeyStoreResult stored = ReadStoredKeysSource(0, &site).result;

    std::vector<Candidate> candidates;
    const std::string builtInName = "the built-in operational set";
    if (stored == kKeyStoreOk) {
        candidates.push_back({"the site's operational set", site.initial, site.operational, true});
        candidates.push_back({builtInName, builtIn.initial, builtIn.operational, false});
    } else if (stored == kKeyStoreNone) {
        candidates.push_back({builtInName, builtIn.initial, builtIn.operational, true});
    } else {
        candidates.push_back({builtInName, builtIn.initial, builtIn.operational, false});
    }
    // A reader whose key state is complete but that never took an operational set still holds its
    // initial set, which ZUKOpen does not try.
    candidates.push_back({"the built-in initial set", builtIn.initial, builtIn.initial, false});
    if (stored == kKeyStoreOk)
        candidates.push_back({"the site's initial set", site.initial, site.initial, false});

    const LinkStatus opened = SessionOpenReader(port.c_str());
    if (opened != LINK_OK) {
        check->Set("Reader keys", "not tried", "the link did not open");
        check->Add(Finding::Error, "reader",
                   "the port " + Quoted(port) +
                       " opens but the reader does not answer as a PR300: " + Described(opened));
    } else {
        std::uint8_t state[3];
        LinkStatus failure = ChannelReadKeyState(state);
        const bool factory = failure == LINK_OK && !ChannelKeyStateComplete(state);
        int accepted = -2;
        if (failure == LINK_OK && !factory) accepted = FirstAccepted(candidates, &failure);
        (void)SessionCloseLink();
        const std::string library = stored == kKeyStoreOk ? "the site's keys" : "the built-in keys";
        if (factory) {
            check->Set("Reader keys", "factory reader",
                       "its key state is incomplete: the first ZUKOpen gives it the library's "
                       "operational set");
        } else if (accepted == -2) {
            check->Set("Reader keys", "not tried", "the reader failed before its keys were tried");
            check->Add(Finding::Error, "reader",
                       "the reader on " + Quoted(port) + " failed: " + Described(failure));
        } else if (accepted == -1) {
            std::string tried;
            for (const Candidate &c : candidates) tried += (tried.empty() ? "" : ", ") + c.name;
            check->Set("Reader keys", "none accepted", "the reader refuses " + tried);
            const std::string head =
                "the reader holds other keys than the library (" + library +
                "): ZUKOpen fails with 1280. It refuses every set known here (" + tried + "), ";
            if (stored == kKeyStoreOk) {
                check->Add(
                    Finding::Error, "reader keys",
                    head + "so it holds another site's keys: move it to this site's with zukcard "
                           "move-reader --keys SITE-FILE --from ITS-FILE, or, where this machine "
                           "belongs to that site, install that site's key file (zukcli keys "
                           "install FILE)");
            } else if (stored == kKeyStoreNone) {
                check->Add(
                    Finding::Error, "reader keys",
                    head +
                        "so it holds a site's keys this machine does not have: install the key "
                        "file "
                        "of the site the reader was moved to (zukcli keys install FILE), or use a "
                        "reader moved to this site's keys (zukcard move-reader)");
            }
        } else {
            const Candidate &c = candidates[static_cast<std::size_t>(accepted)];
            check->Set("Reader keys", "accepts " + c.name + (c.library ? " (the library's)" : ""));
            if (!c.library && (stored == kKeyStoreOk || stored == kKeyStoreNone)) {
                std::string remedy;
                if (c.set == builtIn.operational) {
                    remedy = "move it to the site's keys: zukcard move-reader --keys SITE-FILE";
                } else {
                    remedy = "its key state is complete but it never took an operational set, and "
                             "ZUKOpen "
                             "authenticates with the operational set only: replace the reader or "
                             "have it "
                             "reset to its factory state";
                }
                check->Add(Finding::Error, "reader keys",
                           "the reader refuses the library's keys (" + library + ") and accepts " +
                               c.name + ": ZUKOpen fails with 1280; " + remedy);
            }
        }
    }
    SiteKeysWipe(&site);
    PlatSecureWipe(&builtIn, sizeof builtIn);
    LinkStateReset();
}
