// Load and unload of the library.
#include "api/frame.h"

#include <cstdio>

#include "api/api_state.h"
#include "api/cancel.h"
#include "card/session.h"
#include "ZUKcntrl.h"
#include "settings/config.h"
#include "settings/credentials.h"
#include "settings/events.h"
#include "settings/messages.h"
#include "settings/site_key_store.h"
#include "settings/trace.h"
#include "status/status_table.h"

namespace {

// The session status a fault of the stored site keys becomes (its row of site_key_store.h).
CardStatus KeyFaultStatus(SiteKeyStoreResult result) {
    switch (result) {
#define ZUK_KEY_STORE_STATUS(enumerator, name, text, status)                                       \
    case enumerator: return status;
        ZUK_SITE_KEY_STORE_RESULTS(ZUK_KEY_STORE_STATUS)
#undef ZUK_KEY_STORE_STATUS
    }
    return SESSION_ERR_KEYS_UNDECRYPTABLE;
}

// Says once, at load, what the open does when the process's ZUK_OPEN_WAIT cannot be used.
void TraceRefusedOpenWait() {
    const char *refused = GetOpenWaitRefused();
    if (refused[0] == '\0') return;
    char text[256];
    if (GetOpenWaitMs() < 0) {
        std::snprintf(
            text, sizeof text,
            "ZUK_OPEN_WAIT \"%s\" is no number of milliseconds (0 to 999999999): ZUKOpen "
            "waits without bound for a reader another process holds (no [Device] OpenWait)",
            refused);
    } else {
        std::snprintf(text, sizeof text,
                      "ZUK_OPEN_WAIT \"%s\" is no number of milliseconds (0 to 999999999): ZUKOpen "
                      "waits %d ms ([Device] OpenWait)",
                      refused, static_cast<int>(GetOpenWaitMs()));
    }
    TraceNote("DllLoad", text);
}

// A load refused by an unusable policy value says which one in the trace, when the INI's trace
// settings can be read (the installation path was).
void TraceRefusedPolicy() {
    Setting setting = kSettingCount;
    const PolicyRead *read = nullptr;
    if (!GetRefusedPolicy(&setting, &read) || GetInstallPath()[0] == '\0') return;
    char text[512];
    DescribeRefusedPolicy(setting, *read, text, sizeof text);
    TraceNote("DllLoad", text);
}

// What a refused load's event names: the machine value or the user's key that refused it.
const char *RefusalText(int result) {
    switch (result) {
    case kRegistryConfigNoInstallPath:
        return "the machine value InstallPath (missing, empty or too long), or no key "
               "HKLM\\SOFTWARE\\KORVA\\ZUKLib";
    case kRegistryConfigNoMode: return "the machine value Mode (missing)";
    case kRegistryConfigBadDevice: return "the machine value Device (missing or above 1)";
    case kRegistryConfigNoConfig: return "the machine value Config (missing)";
    case kRegistryConfigNoUserRoot: return "the current user's registry root (cannot be opened)";
    case kRegistryConfigNoUserKey:
        return "the current user's key Software\\KORVA\\ZUKLib (cannot be created)";
    default: return "an unknown reason";
    }
}

// The event of a refused load: the policy value that refused it, or the value missing.  The INI
// (for the EventLog setting) is read when the installation folder is known; before that nothing
// can say events are off, and the event is written.
void ReportRefusedLoad(int result) {
    const bool folderKnown = GetInstallPath()[0] != '\0';
    if (folderKnown) LoadIniSettings(GetInstallPath());
    Setting setting = kSettingCount;
    const PolicyRead *read = nullptr;
    if (result == kRegistryConfigBadPolicy && GetRefusedPolicy(&setting, &read)) {
        char text[512];
        DescribeRefusedPolicy(setting, *read, text, sizeof text);
        if (folderKnown) WriteEvent(kEventPolicyRefused, text);
        else WriteEventUnread(kEventPolicyRefused, text);
        return;
    }
    if (folderKnown) WriteEvent(kEventLoadRefused, RefusalText(result));
    else WriteEventUnread(kEventLoadRefused, RefusalText(result));
}

}  // namespace

void *GetModuleHandleOfLibrary() { return g_frame.moduleHandle; }

void LoadSiteKeys() {
    SiteKeys keys;
    const SiteKeyStoreResult result = LoadSiteKeySource(&keys);
    if (result == kKeyStoreOk) {
        CardUseSiteKeys(keys);
        UsePasswordMask(keys.mask);
    } else if (result != kKeyStoreNone) {
        const CardStatus why = KeyFaultStatus(result);
        CardRefuseSessions(why);
        UsePasswordMask(nullptr);
        Trace("DllLoad", "LOW", static_cast<std::uint32_t>(ZUK_ERR_SYSTEM), why);
        WriteEvent(kEventSiteKeysUnusable, SiteKeyStoreResultName(result),
                   SiteKeyStoreResultText(result));
    }
    SiteKeysWipe(&keys);
}

bool LibraryAttach(void *moduleHandle) {
    g_frame.moduleHandle = moduleHandle;
    const int refusal = LoadRegistryConfig();
    if (refusal != kRegistryConfigOk) {
        ReportRefusedLoad(refusal);
        TraceRefusedPolicy();
        return false;
    }
    LoadIniSettings(GetInstallPath());
    TraceRefusedOpenWait();
    LoadSiteKeys();
    CardSetStrictLink(GetStrictLink() == 1);
    char path[kMessageTextSize] = {0};
    SelectLanguageFile(path);
    LoadMessageCatalogue(path);
    return true;
}

void LibraryDetach() {
    // A card session left open by the host is closed on unload; the outcome cannot be reported.
    (void)CardCloseSession();
    LibraryStateReset();
    CancelEventClose();
}
