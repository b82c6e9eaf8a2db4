// Controls of the in-memory platform used by the native build.  Tests set up registry keys, INI
// files, the locale and the clock, script message-box answers and inject failures here.
#ifndef ZUK_PLATFORM_FAKE_H
#define ZUK_PLATFORM_FAKE_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

// Forgets every key, value, INI file, recorded message box, serial device, event and fault;
// resets clock and locale.
void FakePlatformReset();

// ---- event log ----
// The events written (PlatReportEvent) since the reset, oldest first.
struct FakeEventRecord {
    std::uint16_t type;
    std::uint32_t id;
    std::vector<std::string> strings;
};
std::vector<FakeEventRecord> FakeEventLog();

// ---- faults ----
// Every platform call that can fail, by the name of the function.  A failing call answers as the
// system does when it fails: a serial call false (no port for PlatSerialOpen), a registry call the
// armed error, PlatMutexCreate no handle, a wait PLAT_WAIT_FAILED, a release false, PlatLocalTime
// false, PlatGetEnvironment not found, a data protection call the armed error, a message box 0, a
// prompt dialog kDialogFailed and the card-access window false.
#define ZUK_FAKE_CALLS(X)                                                                          \
    X(FAKE_CALL_SERIAL_OPEN, "PlatSerialOpen")                                                     \
    X(FAKE_CALL_SERIAL_CLOSE, "PlatSerialClose")                                                   \
    X(FAKE_CALL_SERIAL_GET_STATE, "PlatSerialGetState")                                            \
    X(FAKE_CALL_SERIAL_SET_STATE, "PlatSerialSetState")                                            \
    X(FAKE_CALL_SERIAL_SET_TIMEOUTS, "PlatSerialSetTimeouts")                                      \
    X(FAKE_CALL_SERIAL_PURGE, "PlatSerialPurge")                                                   \
    X(FAKE_CALL_SERIAL_READ, "PlatSerialRead")                                                     \
    X(FAKE_CALL_SERIAL_WRITE, "PlatSerialWrite")                                                   \
    X(FAKE_CALL_REG_OPEN_CURRENT_USER, "PlatRegOpenCurrentUser")                                   \
    X(FAKE_CALL_REG_OPEN_KEY, "PlatRegOpenKey")                                                    \
    X(FAKE_CALL_REG_CREATE_KEY, "PlatRegCreateKey")                                                \
    X(FAKE_CALL_REG_QUERY_VALUE, "PlatRegQueryValue")                                              \
    X(FAKE_CALL_REG_SET_VALUE, "PlatRegSetValue")                                                  \
    X(FAKE_CALL_REG_DELETE_VALUE, "PlatRegDeleteValue")                                            \
    X(FAKE_CALL_REG_ENUM_VALUE, "PlatRegEnumValue")                                                \
    X(FAKE_CALL_REG_LAST_WRITE, "PlatRegLastWrite")                                                \
    X(FAKE_CALL_MUTEX_CREATE, "PlatMutexCreate")                                                   \
    X(FAKE_CALL_MUTEX_WAIT, "PlatMutexWait")                                                       \
    X(FAKE_CALL_MUTEX_TRY_WAIT, "PlatMutexTryWait")                                                \
    X(FAKE_CALL_MUTEX_RELEASE, "PlatMutexRelease")                                                 \
    X(FAKE_CALL_LOCAL_TIME, "PlatLocalTime")                                                       \
    X(FAKE_CALL_GET_ENVIRONMENT, "PlatGetEnvironment")                                             \
    X(FAKE_CALL_PROTECT, "PlatProtectData")                                                        \
    X(FAKE_CALL_UNPROTECT, "PlatUnprotectData")                                                    \
    X(FAKE_CALL_MESSAGE_BOX, "PlatMessageBox")                                                     \
    X(FAKE_CALL_CARD_WAIT_DIALOG, "CardWaitDialog")                                                \
    X(FAKE_CALL_CARD_OR_ID_DIALOG, "ShowCardOrIdDialog")                                           \
    X(FAKE_CALL_ID_PASSWORD_DIALOG, "ShowIdPasswordDialog")                                        \
    X(FAKE_CALL_PIN_DIALOG, "ShowPinDialog")                                                       \
    X(FAKE_CALL_NO_CARD_DIALOG, "NoCardDialog")                                                    \
    X(FAKE_CALL_PIN_ERROR_DIALOG, "PinErrorDialog")                                                \
    X(FAKE_CALL_ACCESSING_WINDOW, "OpenAccessingWindow")

#define ZUK_FAKE_CALL_ENUM(call, name) call,
enum FakeCall { ZUK_FAKE_CALLS(ZUK_FAKE_CALL_ENUM) FAKE_CALL_COUNT };
#undef ZUK_FAKE_CALL_ENUM

const int FAKE_FAIL_EVERY = -1;
const long FAKE_ERROR_ACCESS_DENIED = 5;

// Makes the nth (1-based, counted from now) call fail, or with FAKE_FAIL_EVERY every call from
// now on; 0 cancels.  `error` is what a failing registry call returns.
void FakeFail(FakeCall call, int nth, long error = FAKE_ERROR_ACCESS_DENIED);
// Cancels every armed failure (the counts stay).
void FakeFailNone();
// Calls since the reset, failed ones included.
int FakeCallCount(FakeCall call);
// Whether a failure armed for the nth call has not happened yet.
bool FakeFailurePending();
const char *FakeCallName(FakeCall call);

// ---- registry ----
// Roots are PLAT_HKEY_LOCAL_MACHINE or PLAT_HKEY_CURRENT_USER; paths use backslashes.
void FakeRegSetValue(PlatKey root, const std::string &path, const std::string &name,
                     std::uint32_t type, const std::string &bytes);
void FakeRegSetString(PlatKey root, const std::string &path, const std::string &name,
                      const std::string &text);  // stored with a terminating zero, as Windows does
void FakeRegSetDword(PlatKey root, const std::string &path, const std::string &name,
                     std::uint32_t value);
// The value's type and bytes; false when the key or value does not exist.
bool FakeRegGetValue(PlatKey root, const std::string &path, const std::string &name,
                     std::uint32_t *type, std::string *bytes);
bool FakeRegKeyExists(PlatKey root, const std::string &path, bool *isVolatile = nullptr);
void FakeRegDeleteValue(PlatKey root, const std::string &path, const std::string &name);
// Drops every volatile key, as when the user's hive is unloaded.
void FakeRegUnloadVolatile();
// Number of keys still open (a leak shows as a non-zero count after an operation).
int FakeRegOpenKeyCount();

// ---- INI files ----
void FakeProfileSetFile(const std::string &path, const std::string &content);

// ---- message boxes ----
struct FakeMessageBox {
    void *parent;
    std::string caption;
    std::string text;
    std::uint32_t style;
    std::uint16_t language;
};
// Answers given in order; when the script runs out the box is answered with Cancel and
// FakeMessageBoxUnexpected() counts it.
void FakeMessageBoxScript(const std::vector<int> &answers);
// A hook called while a box is "open", before its answer is taken (it may call the library,
// as a window procedure can while a real box runs its message loop).  Null removes it.
void FakeMessageBoxSetHook(void (*hook)(const FakeMessageBox &box, void *context), void *context);
const std::vector<FakeMessageBox> &FakeMessageBoxesShown();
int FakeMessageBoxUnexpected();

// ---- time and locale ----
void FakeSetTime(std::int64_t secondsSince1970);  // local time is taken as UTC
std::uint64_t FakeSleptMilliseconds();            // total of every PlatSleep
void FakeSetSystemLcid(std::uint32_t lcid);
void FakeSetEnvironment(const std::string &name, const std::string &value);  // the process's

// ---- data protection ----
// The machine and the user that blobs are made for and opened by (both 1 after a reset).  Another
// value makes the blobs made before fail to open, as a blob from another machine or another user's.
void FakeSetProtectIdentity(std::uint32_t machine, std::uint32_t user);

// ---- named mutexes ----
// Whether the named mutex exists and is owned by some thread.
bool FakeMutexOwned(const std::string &name);

// ---- events ----
// Event waits with a time-out wait on the wall clock (on), or pass at once on the virtual clock
// (off, after a reset).
void FakeEventRealWaits(bool on);

// ---- windows ----
// Declares a handle as an existing window (PlatIsWindow).
void FakeWindowAdd(void *window);

// ---- prompt dialogs ----
enum FakeDialogKind {
    FAKE_DIALOG_CARD_WAIT,
    FAKE_DIALOG_CARD_OR_ID,
    FAKE_DIALOG_ID_PASSWORD,
    FAKE_DIALOG_PIN,
    FAKE_DIALOG_NO_CARD,
    FAKE_DIALOG_PIN_ERROR,
};
// One scripted answer: the dialog expected, its result, and for OK the texts typed (the id and
// password of the credentials prompts, or the PIN).  before, when set, runs while the dialog is
// "open" (it may place a card or call the library, as a window procedure could).
struct FakeDialogStep {
    FakeDialogKind kind;
    int result;
    std::string id;
    std::string password;
    std::string pin;
    void (*before)(void *context);
    void *context;
};
struct FakeDialogShown {
    FakeDialogKind kind;
    void *parent;
    int idLimit, passwordLimit, pinLimit;  // the edit limits it would apply (0: no edit field)
};
// Answers given in order.  A dialog of another kind than the next step, or one shown after the
// script ran out, is answered with Cancel (-1) and counted by FakeDialogUnexpected().
void FakeDialogScript(const std::vector<FakeDialogStep> &steps);
const std::vector<FakeDialogShown> &FakeDialogsShown();
int FakeDialogUnexpected();
// With hold on, a card wait or card-or-typed dialog (a dialog that polls the reader) takes no
// step of the script: it stays "open" until CancelWaitingDialogs is called (before or while it is
// shown), then answers Cancel.  FakeDialogHeldNow tells whether one is open and waiting now.
void FakeDialogHoldUntilCancelled(bool hold);
bool FakeDialogHeldNow();
// The card-access window: how often it was opened and closed, and whether it is open now.
int FakeAccessingOpened();
int FakeAccessingClosed();
bool FakeAccessingOpen();

#endif
