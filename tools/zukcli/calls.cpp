// One runner per export.  Each asks the library for its export by name, calls it with buffers of
// exactly the sizes it announces, and never trusts an out length beyond the buffer it gave.
#include "tools/zukcli/calls.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/zukcli/library.h"
#include "tools/zukcli/pin_answerer.h"
#include "tools/zukcli/prompts.h"
#include "tools/zukcli/results.h"

namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        InterlockedExchange(&g_interrupted, 1);
        return TRUE;
    }
    return FALSE;
}

long long OptionValue(const Command &c, const char *name, long long fallback) {
    auto it = c.options.find(name);
    long long value = fallback;
    if (it != c.options.end()) ParseInteger(it->second, &value);
    return value;
}

int HandleFor(const Command &c, const Session &s) {
    return static_cast<int>(OptionValue(c, "--handle", s.handle));
}

// A new entry for an export call; false (with the entry already reported) when the export cannot
// be called.
template <typename Fn>
bool Prepare(const Command &c, const char *exportName, Entry *entry, Fn *fn, Report *report) {
    entry->command = c.name;
    entry->exportName = exportName;
    std::string why;
    *fn = Export<Fn>(exportName, &why);
    if (!*fn) {
        entry->error = why;
        entry->failed = true;
        report->Add(*entry);
        return false;
    }
    return true;
}

// Records the call's result, with the prompts answered meanwhile, and reports the entry.
bool Finish(Entry *entry, int result, Report *report) {
    entry->called = true;
    entry->result = result;
    entry->prompts = TakeAnsweredPrompts();
    if (result != ZUK_OK) entry->failed = true;
    report->Add(*entry);
    return !entry->failed;
}

// A text buffer of the size the caller asked for: the library may fill all of it.  A size of 0
// or below still gets a valid pointer, so that the library's own check answers.
std::vector<char> Buffer(long long size) {
    return std::vector<char>(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
}

// The out length must lie within the buffer; otherwise the call is a failure of the library.
bool CheckLength(Entry *entry, const char *what, int length, long long size) {
    if (length >= 0 && length <= size) return true;
    entry->error = std::string("the library reported a ") + what + " length of " +
                   std::to_string(length) + " for a buffer of " + std::to_string(size) + " bytes";
    entry->failed = true;
    return false;
}

bool Version(const Command &c, Report *r) {
    Entry e;
    LibVersionFn fn = nullptr;
    if (!Prepare(c, "ZUKGetLibVersion", &e, &fn, r)) return false;
    int version = 0;
    const int result = fn(&version);
    if (result == ZUK_OK) {
        e.AddHex("version", version);
        char text[32];
        std::snprintf(text, sizeof text, "%d.%d.%d", (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                      version & 0xFF);
        e.AddText("release", text);
    }
    return Finish(&e, result, r);
}

bool Mode(const Command &c, Report *r) {
    Entry e;
    LibModeFn fn = nullptr;
    if (!Prepare(c, "ZUKGetLibMode", &e, &fn, r)) return false;
    int mode = -1;
    const int result = fn(&mode, 0);
    if (result == ZUK_OK) {
        e.AddNumber("mode", mode);
        e.AddText("meaning", mode == 256   ? "the account comes from a card"
                             : mode == 768 ? "the account comes from a card or is typed"
                                           : "switched off or not an operating mode");
    }
    return Finish(&e, result, r);
}

bool Limits(const Command &c, Report *r) {
    Entry e;
    MaxLengthFn fn = nullptr;
    if (!Prepare(c, "ZUKGetMaxLength", &e, &fn, r)) return false;
    int id = 0, password = 0;
    const int result = fn(&id, &password);
    if (result == ZUK_OK) {
        e.AddNumber("maxUserId", id);
        e.AddNumber("maxPassword", password);
    }
    return Finish(&e, result, r);
}

bool Open(const Command &c, Session *s, Report *r) {
    Entry e;
    OpenFn fn = nullptr;
    if (!Prepare(c, "ZUKOpen", &e, &fn, r)) return false;
    const int unset = 0x7EEEEEEE;
    int handle = unset;
    const int result = fn(&handle);
    if (handle != unset) {
        s->handle = handle;
        e.AddNumber("handle", handle);
        if (result == ZUK_OK && handle == 0) e.AddText("reader", "none (registry Device is 0)");
    }
    return Finish(&e, result, r);
}

bool Close(const Command &c, Session *s, Report *r) {
    Entry e;
    CloseFn fn = nullptr;
    if (!Prepare(c, "ZUKClose", &e, &fn, r)) return false;
    return Finish(&e, fn(HandleFor(c, *s)), r);
}

bool SenseOnce(const Command &c, SenseFn fn, int handle, Report *r, int *present) {
    Entry e;
    e.command = c.name;
    e.exportName = "ZUKSenseCard";
    *present = -1;
    const int result = fn(handle, present);
    if (result == ZUK_OK) e.AddFlag("present", *present == 1);
    return Finish(&e, result, r);
}

// Local time with milliseconds, for watch events.
std::string TimeStamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// One watch event: a line with its time stamp (text), or one JSON object per line.
bool WatchEvent(const Command &c, int result, int present, bool first, Report *r) {
    Entry e;
    e.command = c.name;
    e.exportName = "ZUKSenseCard";
    const std::string stamp = TimeStamp();
    e.AddText("time", stamp);
    e.Only(Field::JsonOnly);
    std::string what;
    if (result == ZUK_OK) {
        e.AddFlag("present", present == 1);
        e.Only(Field::JsonOnly);
        what = present == 1 ? (first ? "card present" : "card inserted")
                            : (first ? "no card" : "card removed");
        e.AddText("event", what);
        e.Only(Field::JsonOnly);
    } else {
        const ResultInfo *info = FindResult(result);
        what = std::string("ZUKSenseCard failed: ") + (info ? info->name : "unknown result") +
               " (" + std::to_string(result) + ")";
    }
    e.line = stamp + "  " + what;
    return Finish(&e, result, r);
}

bool Sense(const Command &c, Session *s, Report *r) {
    Entry e;
    SenseFn fn = nullptr;
    if (!Prepare(c, "ZUKSenseCard", &e, &fn, r)) return false;
    const int handle = HandleFor(c, *s);
    int present = -1;
    if (c.options.count("--watch") == 0) return SenseOnce(c, fn, handle, r, &present);

    // Watching: one entry for the first answer and one for each change of presence.  A failure
    // ends the watch (its prompt has already offered Retry).
    const long long seconds = OptionValue(c, "--for", 0);
    const long long interval = OptionValue(c, "--interval", 500);
    const DWORD start = GetTickCount();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (!r->Json()) r->Message("watching the reader (Ctrl+C ends)");
    // (The call comes first: the order in which arguments are evaluated is unspecified.)
    const int first = fn(handle, &present);
    bool ok = WatchEvent(c, first, present, true, r);
    while (ok && !g_interrupted) {
        if (seconds > 0 && GetTickCount() - start >= static_cast<DWORD>(seconds * 1000)) break;
        Sleep(static_cast<DWORD>(interval > 0 ? interval : 1));
        int now = -1;
        const int result = fn(handle, &now);
        if (result != ZUK_OK || now != present) {
            ok = WatchEvent(c, result, now, false, r);
            present = now;
        }
    }
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return ok;
}

bool VerifyPin(const Command &c, Session *s, Report *r) {
    Entry e;
    VerifyPinFn fn = nullptr;
    if (!Prepare(c, "ZUKVerifyPIN", &e, &fn, r)) return false;
    const std::string &pin = c.arguments[0];
    e.AddNumber("pinLength", static_cast<long long>(pin.size()));  // never the PIN itself
    return Finish(&e, fn(HandleFor(c, *s), static_cast<int>(pin.size()), pin.c_str()), r);
}

bool ReadText(const Command &c, const char *exportName, Session *s, Report *r) {
    Entry e;
    ReadTextFn fn = nullptr;
    if (!Prepare(c, exportName, &e, &fn, r)) return false;
    const long long size = OptionValue(c, "--size", 1024);
    std::vector<char> buffer = Buffer(size);
    int length = static_cast<int>(size);
    const int result = fn(HandleFor(c, *s), buffer.data(), &length);
    if (result == ZUK_OK && CheckLength(&e, "text", length, size)) {
        e.AddText("text", std::string(buffer.data(), static_cast<std::size_t>(length)));
        e.AddNumber("length", length);
    }
    return Finish(&e, result, r);
}

bool Account(const Command &c, Session *s, Report *r) {
    Entry e;
    UserAccountFn fn = nullptr;
    if (!Prepare(c, "ZUKGetUserAccount", &e, &fn, r)) return false;
    long long mode = 0, parent = 0;
    auto it = c.options.find("--mode");
    if (it != c.options.end()) ParseAccountMode(it->second, &mode);
    it = c.options.find("--parent");
    if (it != c.options.end()) ParseWindow(it->second, &parent);
    const long long accountSize = OptionValue(c, "--account-size", 128);
    const long long passwordSize = OptionValue(c, "--password-size", 256);
    std::vector<char> account = Buffer(accountSize), password = Buffer(passwordSize);

    AccountRequest request = {};
    request.Version = ZUK_ACCOUNT_REQUEST_VERSION;
    request.AccountBuffer = account.data();
    request.AccountLength = static_cast<int32_t>(accountSize);
    request.PasswordBuffer = password.data();
    request.PasswordLength = static_cast<int32_t>(passwordSize);
    HWND window = parent == kConsoleWindow ? GetConsoleWindow()
                                           : reinterpret_cast<HWND>(static_cast<INT_PTR>(parent));
    e.AddHex("requestMode", mode);
    // Without a person at the screen, the PIN dialog is answered by a watcher thread.
    it = c.options.find("--pin");
    const bool answering = it != c.options.end();
    const auto shot = c.options.find("--screenshot");
    const std::string picture = shot != c.options.end() ? shot->second : "";
    if (answering) StartPinAnswerer(it->second, picture);
    const int result = fn(HandleFor(c, *s), &request, static_cast<int>(mode), window);
    if (answering && StopPinAnswerer()) e.AddText("screenshot", picture);
    if (result == ZUK_OK && CheckLength(&e, "account", request.AccountLength, accountSize) &&
        CheckLength(&e, "password", request.PasswordLength, passwordSize)) {
        e.AddText("account",
                  std::string(account.data(), static_cast<std::size_t>(request.AccountLength)));
        e.AddNumber("accountLength", request.AccountLength);
        if (c.options.count("--show-password")) {
            e.AddText("password", std::string(password.data(),
                                              static_cast<std::size_t>(request.PasswordLength)));
        }
        e.AddNumber("passwordLength", request.PasswordLength);
    }
    SecureZeroMemory(password.data(), password.size());
    return Finish(&e, result, r);
}

}  // namespace

bool ParseInteger(const std::string &text, long long *value) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < -2147483648LL || v > 4294967295LL) return false;
    *value = v;
    return true;
}

bool ParseAccountMode(const std::string &text, long long *value) {
    if (text == "interactive") {
        *value = ZUK_ACCOUNT_MODE_INTERACTIVE;
        return true;
    }
    if (text == "handover") {
        *value = ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER;
        return true;
    }
    if (text == "pickup") {
        *value = ZUK_ACCOUNT_MODE_PICKUP;
        return true;
    }
    return ParseInteger(text, value);
}

bool ParseWindow(const std::string &text, long long *value) {
    if (text == "none") {
        *value = 0;
        return true;
    }
    if (text == "console") {
        *value = kConsoleWindow;
        return true;
    }
    return ParseInteger(text, value);
}

bool RunCall(const Command &c, Session *s, Report *r) {
    if (c.name == "version") return Version(c, r);
    if (c.name == "mode") return Mode(c, r);
    if (c.name == "limits") return Limits(c, r);
    if (c.name == "open") return Open(c, s, r);
    if (c.name == "close") return Close(c, s, r);
    if (c.name == "sense") return Sense(c, s, r);
    if (c.name == "verify-pin") return VerifyPin(c, s, r);
    if (c.name == "name") return ReadText(c, "ZUKGetUserName", s, r);
    if (c.name == "user-option") return ReadText(c, "ZUKGetUserOption", s, r);
    if (c.name == "admin-option") return ReadText(c, "ZUKGetAdminOption", s, r);
    if (c.name == "account") return Account(c, s, r);
    return false;
}
