// Prompt dialogs of the native build: each "shows" by taking the next scripted answer and, for
// OK, filling the entry's typed-text areas as the real dialog's OK handler does.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/dialogs.h"
#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"

namespace {

std::vector<FakeDialogStep> g_script;
std::size_t g_next = 0;
std::vector<FakeDialogShown> g_shown;
int g_unexpected = 0;
int g_accessingOpened = 0;
int g_accessingClosed = 0;
bool g_accessingOpen = false;

// The held waiting dialogs (FakeDialogHoldUntilCancelled).
std::mutex g_holdLock;
std::condition_variable g_holdChanged;
bool g_hold = false;
bool g_cancelRequested = false;
std::atomic<bool> g_heldNow{false};

// A held waiting dialog: open until a cancel comes.
int HoldUntilCancelled() {
    std::unique_lock<std::mutex> lock(g_holdLock);
    g_heldNow = true;
    g_holdChanged.wait(lock, [] { return g_cancelRequested; });
    g_cancelRequested = false;
    g_heldNow = false;
    return kDialogCancel;
}

bool Held(FakeDialogKind kind) {
    std::lock_guard<std::mutex> lock(g_holdLock);
    return g_hold && (kind == FAKE_DIALOG_CARD_WAIT || kind == FAKE_DIALOG_CARD_OR_ID);
}

// Copies a typed text as the dialogs read an edit field: at most 1023 bytes, zero-terminated.
void Fill(char *area, const std::string &text) {
    std::memset(area, 0, kDialogTextSize);
    std::memcpy(area, text.data(),
                text.size() < kDialogTextSize ? text.size() : kDialogTextSize - 1);
}

// The limits and areas of a prompt that takes no typed text.
const DialogEntry kNoEntry = {0, 0, 0, nullptr, nullptr, nullptr};

// The fault table's row of each kind of dialog.
FakeCall CallOf(FakeDialogKind kind) {
    switch (kind) {
    case FAKE_DIALOG_CARD_WAIT: return FAKE_CALL_CARD_WAIT_DIALOG;
    case FAKE_DIALOG_CARD_OR_ID: return FAKE_CALL_CARD_OR_ID_DIALOG;
    case FAKE_DIALOG_ID_PASSWORD: return FAKE_CALL_ID_PASSWORD_DIALOG;
    case FAKE_DIALOG_PIN: return FAKE_CALL_PIN_DIALOG;
    case FAKE_DIALOG_NO_CARD: return FAKE_CALL_NO_CARD_DIALOG;
    case FAKE_DIALOG_PIN_ERROR: return FAKE_CALL_PIN_ERROR_DIALOG;
    }
    return FAKE_CALL_CARD_WAIT_DIALOG;
}

// A dialog that cannot be shown takes no step of the script.
int Show(FakeDialogKind kind, void *parent, const DialogEntry &entry) {
    if (FakeCallFails(CallOf(kind))) return kDialogFailed;
    g_shown.push_back({kind, parent, entry.idLimit, entry.passwordLimit, entry.pinLimit});
    if (Held(kind)) return HoldUntilCancelled();
    if (g_next >= g_script.size() || g_script[g_next].kind != kind) {
        ++g_unexpected;
        return kDialogCancel;
    }
    const FakeDialogStep step = g_script[g_next++];
    if (step.before != nullptr) step.before(step.context);
    if (step.result == kDialogOk) {
        if (kind == FAKE_DIALOG_PIN) {
            Fill(entry.pin, step.pin);
        } else if (kind == FAKE_DIALOG_CARD_OR_ID || kind == FAKE_DIALOG_ID_PASSWORD) {
            Fill(entry.id, step.id);
            Fill(entry.password, step.password);
        }
    }
    return step.result;
}

}  // namespace

void FakeDialogScript(const std::vector<FakeDialogStep> &steps) {
    g_script = steps;
    g_next = 0;
}

const std::vector<FakeDialogShown> &FakeDialogsShown() { return g_shown; }
int FakeDialogUnexpected() { return g_unexpected; }
int FakeAccessingOpened() { return g_accessingOpened; }
int FakeAccessingClosed() { return g_accessingClosed; }
bool FakeAccessingOpen() { return g_accessingOpen; }

void FakeDialogHoldUntilCancelled(bool hold) {
    std::lock_guard<std::mutex> lock(g_holdLock);
    g_hold = hold;
    g_cancelRequested = false;
}

bool FakeDialogHeldNow() { return g_heldNow; }

void CancelWaitingDialogs() {
    std::lock_guard<std::mutex> lock(g_holdLock);
    if (!g_hold) return;
    g_cancelRequested = true;
    g_holdChanged.notify_all();
}

void FakeDialogReset() {
    FakeDialogHoldUntilCancelled(false);
    g_script.clear();
    g_next = 0;
    g_shown.clear();
    g_unexpected = 0;
    g_accessingOpened = 0;
    g_accessingClosed = 0;
    g_accessingOpen = false;
}

int CardWaitDialog(void *parent) { return Show(FAKE_DIALOG_CARD_WAIT, parent, kNoEntry); }
int ShowCardOrIdDialog(void *parent, const DialogEntry &entry) {
    return Show(FAKE_DIALOG_CARD_OR_ID, parent, entry);
}
int ShowIdPasswordDialog(void *parent, const DialogEntry &entry) {
    return Show(FAKE_DIALOG_ID_PASSWORD, parent, entry);
}
int ShowPinDialog(void *parent, const DialogEntry &entry) {
    return Show(FAKE_DIALOG_PIN, parent, entry);
}
int NoCardDialog(void *parent) { return Show(FAKE_DIALOG_NO_CARD, parent, kNoEntry); }
int PinErrorDialog(void *parent) { return Show(FAKE_DIALOG_PIN_ERROR, parent, kNoEntry); }

bool OpenAccessingWindow(void * /*parent*/) {
    if (FakeCallFails(FAKE_CALL_ACCESSING_WINDOW)) return false;
    ++g_accessingOpened;
    g_accessingOpen = true;
    return true;
}

void CloseAccessingWindow() {
    if (g_accessingOpen) ++g_accessingClosed;
    g_accessingOpen = false;
}

// The scripted dialogs hold nothing of the library's to forget: the script, the counts and the
// card-access window's flag are the test's, cleared by FakeDialogReset.
void DialogStateReset() {}
