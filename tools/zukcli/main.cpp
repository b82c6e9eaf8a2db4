// zukcli: a command-line host for ZUKcntrl.dll.  It loads the DLL as an application does, calls
// its exports as subcommands in one process, and prints every result by name and meaning:
//   zukcli open sense name close
//   zukcli --json status
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/config.h"
#include "tools/zukcli/call_clock.h"
#include "tools/zukcli/commands.h"
#include "tools/zukcli/library.h"
#include "tools/zukcli/prompts.h"
#include "tools/zukcli/report.h"
#include "tools/zukcli/status.h"

namespace {

struct Globals {
    bool json = false;
    bool cancelPrompts = false;
    bool unattended = false;
    bool help = false;
    bool version = false;
    bool noWait = false;
    long timeoutSeconds = -1;  // -1: the default of the options given
    std::string dll;
};

// The exit code of a run ended because a call did not return in time.
const int kExitCallTimedOut = 3;
const long kDefaultCallTimeoutSeconds = 120;

// The last resort of --cancel-prompts and --unattended: a call that has not returned after the
// time-out (a window nobody can answer, a locked card left on the reader while the library waits
// for a person to take it away) ends the run with a message and exit code 3 instead of waiting
// for ever.  Commands that wait on purpose (sense --watch, trace --follow) are not timed.
// g_callStartedAt is GetTickCount() of the call running with its lowest bit set (so that it is
// never 0, which means none is timed): it can read a tick ahead of the watchdog's clock, which
// CallOverran takes as a call just started.
volatile LONG g_callStartedAt = 0;
const char *volatile g_callName = "";
DWORD g_timeoutMs = 0;

DWORD WINAPI Watchdog(LPVOID) {
    for (;;) {
        Sleep(200);
        const LONG started = g_callStartedAt;
        if (started == 0) continue;
        if (!CallOverran(static_cast<DWORD>(started), GetTickCount(), g_timeoutMs)) continue;
        std::fflush(stdout);
        std::fprintf(stderr,
                     "zukcli: %s did not return within %lu s (a window nobody can answer, or a "
                     "locked card left on the reader); ending\n",
                     g_callName, static_cast<unsigned long>(g_timeoutMs / 1000));
        std::fflush(stderr);
        // The library is inside a call on the main thread: end at once, without unloading it.
        TerminateProcess(GetCurrentProcess(), kExitCallTimedOut);
    }
}

bool Timed(const Command &c) { return !c.options.count("--watch") && !c.options.count("--follow"); }

// Global options may stand anywhere; everything else forms the subcommands.
bool ParseCommandLine(int argc, char **argv, Globals *g, std::vector<Command> *commands,
                      std::string *error) {
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") g->json = true;
        else if (a == "--cancel-prompts") g->cancelPrompts = true;
        else if (a == "--unattended") g->unattended = true;
        else if (a == "--no-wait") g->noWait = true;
        else if (a == "--timeout" && i + 1 < argc) {
            char *end = nullptr;
            g->timeoutSeconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || argv[i][0] == '\0' || g->timeoutSeconds < 0 ||
                g->timeoutSeconds > 86400) {
                *error = "--timeout needs a number of seconds from 0 to 86400";
                return false;
            }
        } else if (a == "--timeout") {
            *error = "--timeout needs a number of seconds";
            return false;
        } else if (a == "--help" || a == "-h" || a == "/?") g->help = true;
        else if (a == "--version") g->version = true;
        else if (a == "--dll" && i + 1 < argc) g->dll = argv[++i];
        else if (a.compare(0, 6, "--dll=") == 0) g->dll = a.substr(6);
        else if (a == "--dll") {
            *error = "--dll needs a path";
            return false;
        } else rest.push_back(a);
    }
    if (g->help || g->version) return true;
    if (rest.empty()) {
        *error = "no command given";
        return false;
    }
    std::size_t next = 0;
    while (next < rest.size()) {
        Command c;
        if (!ParseCommand(rest, &next, &c, error)) return false;
        commands->push_back(c);
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    Globals globals;
    std::vector<Command> commands;
    std::string error;
    if (!ParseCommandLine(argc, argv, &globals, &commands, &error)) {
        std::fprintf(stderr, "zukcli: %s\n%s%s", error.c_str(),
                     RefusalNeedsUsage(error) ? "\n" : "",
                     RefusalNeedsUsage(error) ? UsageText() : "");
        return 2;
    }
    if (globals.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (globals.version) {
        std::fputs("zukcli " ZUKCLI_VERSION "\nCopyright (c) 2026 KORVA. MIT License.\n", stdout);
        return 0;
    }
    if (!globals.dll.empty()) SetDllPath(globals.dll);
    // The library reads these at load, for this process only: --unattended switches its own
    // prompt-free mode on, --no-wait makes ZUKOpen return ZUK_ERR_BUSY at once while another
    // process holds the reader.
    if (globals.unattended) SetEnvironmentVariableA(kEnvUnattended, "1");
    if (globals.noWait) SetEnvironmentVariableA(kEnvOpenWait, "0");
    // Either way the windows that ask for something (card wait, PIN, ID and password) and the
    // message boxes are answered here, so that no call waits for a person.
    const bool answering = globals.cancelPrompts || globals.unattended;
    if (answering) StartPromptCanceller();
    long timeout = globals.timeoutSeconds;
    if (timeout < 0) timeout = answering ? kDefaultCallTimeoutSeconds : 0;
    if (timeout > 0) {
        g_timeoutMs = static_cast<DWORD>(timeout) * 1000;
        const HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
        if (watchdog != nullptr) CloseHandle(watchdog);
    }

    Report report(globals.json);
    for (const Command &c : commands) {
        if (c.options.count("--watch") || c.options.count("--follow")) report.SetJsonLines(true);
    }
    report.SetDll(DllPath());
    Session session;
    bool ok = true;
    for (const Command &c : commands) {
        g_callName = c.name.c_str();
        if (Timed(c)) InterlockedExchange(&g_callStartedAt, static_cast<LONG>(GetTickCount() | 1));
        if (!RunCommand(c, &session, &report)) ok = false;
        InterlockedExchange(&g_callStartedAt, 0);
    }
    int exitCode = ok ? 0 : 1;
    // status --compliance: the class of its findings, for management tools (fleet_status.h).
    for (const Command &c : commands) {
        if (c.name == "status" && c.options.count("--compliance") && exitCode != kExitCallTimedOut)
            exitCode = StatusComplianceCode();
    }
    StopPromptCanceller();
    report.Finish(exitCode);
    std::fflush(stdout);
    UnloadZukLibrary();
    return exitCode;
}
