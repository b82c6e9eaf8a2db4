// Controls of the in-memory platform used by the native build.  Tests set up registry keys, INI
// files, the locale and the clock, script message-box answers and inject failures here.
#ifndef ZUK_PLATFORM_FAKE_H
#define ZUK_PLATFORM_FAKE_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

// Forgets every key, value, INI file, recorded message box, serial device and fault; resets
// clock and locale.
void FakePlatformReset();

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
// Makes PlatRegOpenCurrentUser fail with the given error (0 restores it).
void FakeRegFailCurrentUser(long error);
// Makes the nth (1-based) following PlatRegSetValue / PlatRegDeleteValue / PlatRegCreateKey fail.
void FakeRegFailSet(int nth, long error);
void FakeRegFailDelete(int nth, long error);
void FakeRegFailCreate(int nth, long error);
// Whether a failure armed by one of the three calls above has not happened yet.
bool FakeRegFailurePending();
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
void FakeSetLocalTimeFails(bool fails);
std::uint64_t FakeSleptMilliseconds();            // total of every PlatSleep
void FakeSetSystemLcid(std::uint32_t lcid);
void FakeSetEnvironment(const std::string &name, const std::string &value);  // the process's

// ---- named mutexes ----
// Whether the named mutex exists and is owned by some thread.
bool FakeMutexOwned(const std::string &name);
void FakeMutexFailCreate(bool fails);

// ---- windows ----
// Declares a handle as an existing window (PlatIsWindow), or removes it.
void FakeWindowAdd(void *window);
void FakeWindowRemove(void *window);

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
// The card-access window: how often it was opened and closed, whether it is open now, and a switch
// that makes the next openings fail.
int FakeAccessingOpened();
int FakeAccessingClosed();
bool FakeAccessingOpen();
void FakeAccessingFails(bool fails);

#endif
