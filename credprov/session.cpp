#include "credprov/session.h"

#include <cstring>
#include <cwchar>

#include "settings/messages.h"

HMODULE g_credProvModule = nullptr;
LONG g_credProvObjects = 0;

namespace {

std::once_flag g_catalogueOnce;

// The catalogue the library would choose for this machine's locale, read from the provider's
// folder.
void LoadCatalogue() {
    char folder[MAX_PATH];
    const DWORD length = GetModuleFileNameA(g_credProvModule, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char *slash = std::strrchr(folder, '\\');
    if (slash == nullptr) return;
    slash[1] = '\0';
    char fileName[kMessageTextSize];
    if (FindLanguageFileNameIn(folder, fileName) == 0) return;
    char path[kMessageTextSize];
    if (std::strlen(folder) + std::strlen(fileName) + 1 > sizeof path) return;
    std::strcpy(path, folder);
    std::strcat(path, fileName);
    LoadMessageCatalogue(path);
}

// Senses the card and reads its user's name; the caller holds no lock (the calls take time).
void ReadCardState(Session *s, bool *present, wchar_t *name) {
    name[0] = L'\0';
    int laid = 0;
    *present = s->library.sense(1, &laid) == ZUK_OK && laid == 1;
    if (!*present) return;
    char text[128];
    int length = sizeof text;
    if (s->library.userName(1, text, &length) == ZUK_OK && length > 0 &&
        length < static_cast<int>(sizeof text)) {
        const int n =
            MultiByteToWideChar(CP_ACP, 0, text, length, name, static_cast<int>(kTileTextMax) - 1);
        name[n > 0 ? n : 0] = L'\0';
    }
}

void Refresh(Session *s) {
    bool present = false;
    wchar_t name[kTileTextMax];
    ReadCardState(s, &present, name);
    std::lock_guard<std::mutex> hold(s->lock);
    s->present = present;
    std::memcpy(s->userName, name, sizeof name);
    s->status =
        present ? TileStatus{0, -1, false} : StatusForResult(ZUK_ERR_NO_CARD, -1, kPhaseCard);
}

void Notify(Session *s) {
    ICredentialProviderEvents *events = nullptr;
    UINT_PTR context = 0;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        events = s->events;
        context = s->adviseContext;
        if (events) events->AddRef();
    }
    if (events) {
        events->CredentialsChanged(context);
        events->Release();
    }
}

// The background wait: for the card to be laid while none is, for it to go while one is.  It
// pauses while the tile identifies (one call of the library at a time) and ends on stop; both are
// asked with ZUKCancel, which ends the wait it is in.
void Watch(Session *s) {
    std::unique_lock<std::mutex> hold(s->lock);
    for (;;) {
        if (s->stopWatcher) break;
        if (s->pauseWatcher) {
            s->watcherIdle = true;
            s->changed.notify_all();
            s->changed.wait(hold, [s] { return s->stopWatcher || !s->pauseWatcher; });
            s->watcherIdle = false;
            continue;
        }
        const int want = s->present ? 0 : 1;
        hold.unlock();
        int present = -1;
        const int result = s->library.waitForCard(1, want, -1, &present);
        if (result == ZUK_OK && present == want) {
            Refresh(s);
            Notify(s);
            hold.lock();
        } else if (result == ZUK_CANCELLED || result == ZUK_OK) {
            hold.lock();
        } else {
            // The reader failed (taken away, line closed): say so, and try again a little later.
            hold.lock();
            s->present = false;
            s->userName[0] = L'\0';
            s->status = StatusForResult(result, -1, kPhaseCard);
            hold.unlock();
            Notify(s);
            hold.lock();
            s->changed.wait_for(hold, std::chrono::milliseconds(1000),
                                [s] { return s->stopWatcher || s->pauseWatcher; });
        }
    }
    s->watcherRunning = false;
    s->changed.notify_all();
}

// Asks the watcher to reach `done` (idle or ended), cancelling its wait until it does: a cancel
// that comes before the wait began is lost, so it is given again every 20 ms.
template <typename Done>
void CancelUntil(Session *s, std::unique_lock<std::mutex> &hold, Done done) {
    while (!done()) {
        hold.unlock();
        s->library.cancel();
        hold.lock();
        s->changed.wait_for(hold, std::chrono::milliseconds(20), done);
    }
}

void StopWatcher(Session *s) {
    std::unique_lock<std::mutex> hold(s->lock);
    if (!s->watcher.joinable()) return;
    s->stopWatcher = true;
    s->changed.notify_all();
    CancelUntil(s, hold, [s] { return !s->watcherRunning; });
    hold.unlock();
    s->watcher.join();
}

TilePhase OpenReader(Session *s, int *result) {
    int handle = 0;
    *result = s->library.open(&handle);
    if (*result == ZUK_OK && handle != 1) {
        *result = ZUK_ERR_PORT_OPEN;  // the library runs without a reader here
        s->library.close(handle);
    }
    s->opened = *result == ZUK_OK;
    return kPhaseOpen;
}

}  // namespace

Session *SessionCreate(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario) {
    std::call_once(g_catalogueOnce, LoadCatalogue);
    Session *s = new Session();
    s->refs = 1;
    s->scenario = scenario;
    if (!CredProvSeams()->loadLibrary(g_credProvModule, &s->library)) {
        delete s;
        return nullptr;
    }
    int result = 0;
    const TilePhase phase = OpenReader(s, &result);
    if (s->opened) {
        Refresh(s);
    } else {
        s->status = StatusForResult(result, -1, phase);
    }
    InterlockedIncrement(&g_credProvObjects);
    return s;
}

void SessionAddRef(Session *s) { InterlockedIncrement(&s->refs); }

void SessionRelease(Session *s) {
    if (InterlockedDecrement(&s->refs) != 0) return;
    SessionUnAdvise(s);
    if (s->opened) s->library.close(1);
    FreeCardLibrary(&s->library);
    SecureZeroMemory(s->userName, sizeof s->userName);
    delete s;
    InterlockedDecrement(&g_credProvObjects);
}

void SessionAdvise(Session *s, ICredentialProviderEvents *events, UINT_PTR context) {
    SessionUnAdvise(s);
    std::lock_guard<std::mutex> hold(s->lock);
    if (events) events->AddRef();
    s->events = events;
    s->adviseContext = context;
    if (!s->opened) return;  // nothing to wait on; a submit opens the reader again
    s->stopWatcher = false;
    s->pauseWatcher = false;
    s->watcherIdle = false;
    s->watcherRunning = true;
    s->watcher = std::thread(Watch, s);
}

void SessionUnAdvise(Session *s) {
    StopWatcher(s);
    ICredentialProviderEvents *events = nullptr;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        events = s->events;
        s->events = nullptr;
    }
    if (events) events->Release();
}

int SessionIdentify(Session *s, const char *pin, int pinLength, AccountRequest *request,
                    int *triesLeft, TilePhase *phase) {
    *triesLeft = -1;
    *phase = kPhaseCard;
    {
        std::unique_lock<std::mutex> hold(s->lock);
        if (s->watcher.joinable()) {
            s->pauseWatcher = true;
            s->changed.notify_all();
            CancelUntil(s, hold, [s] { return s->watcherIdle || !s->watcherRunning; });
        }
    }
    int result = ZUK_OK;
    if (!s->opened) {
        *phase = OpenReader(s, &result);
    }
    if (s->opened) {
        *phase = kPhaseCard;
        result = s->library.accountWithPin(1, request, ZUK_ACCOUNT_MODE_INTERACTIVE, pin, pinLength,
                                           triesLeft);
    }
    {
        std::lock_guard<std::mutex> hold(s->lock);
        s->pauseWatcher = false;
        s->changed.notify_all();
    }
    return result;
}

void CatalogueText(uint32_t id, wchar_t *out, size_t capacity) {
    out[0] = L'\0';
    const char *text = GetMessageText(id);
    if (text == nullptr || text[0] == '\0') return;
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, out, static_cast<int>(capacity));
    if (n <= 0) out[0] = L'\0';
    out[capacity - 1] = L'\0';
}

void StatusText(const TileStatus &status, wchar_t *out, size_t capacity) {
    out[0] = L'\0';
    if (status.messageId == 0) return;
    wchar_t text[kTileTextMax];
    CatalogueText(status.messageId, text, kTileTextMax);
    uint16_t units[kTileTextMax];
    for (size_t i = 0; i < kTileTextMax; ++i) units[i] = static_cast<uint16_t>(text[i]);
    uint16_t composed[kTileTextMax];
    ComposeStatusText(units, status, composed, kTileTextMax);
    size_t i = 0;
    for (; i + 1 < capacity && composed[i] != 0; ++i) out[i] = static_cast<wchar_t>(composed[i]);
    out[i] = L'\0';
}
