// zukcli: a command-line host for ZUKcntrl.dll.  It loads the DLL as an application does, calls
// its exports as subcommands in one process, and prints every result by name and meaning:
//   zukcli open sense name close
//   zukcli --json status
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

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
    std::string dll;
};

// Global options may stand anywhere; everything else forms the subcommands.
bool ParseCommandLine(int argc, char **argv, Globals *g, std::vector<Command> *commands,
                      std::string *error) {
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") g->json = true;
        else if (a == "--cancel-prompts") g->cancelPrompts = true;
        else if (a == "--unattended") g->unattended = true;
        else if (a == "--help" || a == "-h" || a == "/?") g->help = true;
        else if (a == "--version") g->version = true;
        else if (a == "--dll" && i + 1 < argc) g->dll = argv[++i];
        else if (a.compare(0, 6, "--dll=") == 0) g->dll = a.substr(6);
        else if (a == "--dll") { *error = "--dll needs a path"; return false; }
        else rest.push_back(a);
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
        std::fprintf(stderr, "zukcli: %s\n\n%s", error.c_str(), UsageText());
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
    // --unattended relies on the library's own prompt-free mode when the installation has it on,
    // and answers the boxes itself otherwise: either way no call waits for a person.
    if (globals.cancelPrompts || (globals.unattended && !InstallationIsUnattended())) {
        StartPromptCanceller();
    }

    Report report(globals.json);
    for (const Command &c : commands) {
        if (c.options.count("--watch") || c.options.count("--follow")) report.SetJsonLines(true);
    }
    report.SetDll(DllPath());
    Session session;
    bool ok = true;
    for (const Command &c : commands) {
        if (!RunCommand(c, &session, &report)) ok = false;
    }
    const int exitCode = ok ? 0 : 1;
    StopPromptCanceller();
    report.Finish(exitCode);
    std::fflush(stdout);
    UnloadZukLibrary();
    return exitCode;
}
