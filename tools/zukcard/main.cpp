// zukcard: the issuing station's tool.  It writes a user's card in the layout ZUKcntrl.dll reads,
// reads one back as a card description, sets the PIN, unlocks it, sets its limit or erases the
// card, talking to the reader as the library does, and moves a reader to a site's key set:
//   zukcard write alice.card
//   zukcard --json read --show-secrets
//   zukcard --keys site.keys write alice.card
//   zukcard move-reader --keys site.keys
#include <cstdio>
#include <string>

#include "tools/zukcard/options.h"

namespace {

bool TakesArgument(const std::string &command) {
    return command == "write" || command == "set-pin" || command == "set-limit";
}

bool KnownCommand(const std::string &command) {
    return TakesArgument(command) || command == "read" || command == "unlock" ||
           command == "erase" || command == "move-reader";
}

}  // namespace

const char *UsageText() {
    return "usage: zukcard [options] COMMAND\n"
           "commands:\n"
           "  write FILE     write every item the card description FILE sets\n"
           "  read           print the card as a card description\n"
           "  set-pin PIN    write the PIN (an empty PIN: a card without PIN)\n"
           "  unlock         set the PIN failure count to 0, keeping the limit\n"
           "  set-limit N    set the PIN retry limit (0-255; 0: no limit), keeping the count\n"
           "  erase          set every item of the card to zero bytes\n"
           "  move-reader --keys NEWFILE [--from OLDFILE]\n"
           "                 give the reader the operational key set of the site key file "
           "NEWFILE;\n"
           "                 it must hold the built-in set now, or OLDFILE's with --from\n"
           "options:\n"
           "  --port COMn    the reader's port (default: the library's, from its INI file or the\n"
           "                 reader driver's registry entries)\n"
           "  --keys FILE    use the site key file FILE (from zukcli keys generate): its channel "
           "key\n"
           "                 sets and, for the card commands, its issuing table (which it must\n"
           "                 carry) instead of the built-in keys\n"
           "  --json         print one JSON document\n"
           "  --no-wait      say so and stop when another program holds the reader\n"
           "  --force        write or erase over a card whose data would be lost, without asking\n"
           "  --show-secrets read shows the password and the PIN (else ***)\n"
           "exit codes: 0 done and read back identical (move-reader: the reader holds NEWFILE's "
           "set,\n"
           "or is a factory reader, which needs no move), 1 not done, 2 bad command line, value "
           "or\n"
           "key file (nothing done), 3 the reader is held by another program (--no-wait)\n";
}

bool ParseOptions(int argc, char **argv, Options *o, std::string *error) {
    bool hasArgument = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") o->json = true;
        else if (a == "--no-wait") o->noWait = true;
        else if (a == "--force") o->force = true;
        else if (a == "--show-secrets") o->showSecrets = true;
        else if (a == "--help" || a == "-h" || a == "/?") o->help = true;
        else if (a == "--port" && i + 1 < argc) o->port = argv[++i];
        else if (a.compare(0, 7, "--port=") == 0) o->port = a.substr(7);
        else if (a == "--port") {
            *error = "--port needs a port";
            return false;
        } else if (a == "--keys" && i + 1 < argc) o->keysFile = argv[++i];
        else if (a == "--from" && i + 1 < argc) o->fromFile = argv[++i];
        else if (a.compare(0, 7, "--keys=") == 0) o->keysFile = a.substr(7);
        else if (a.compare(0, 7, "--from=") == 0) o->fromFile = a.substr(7);
        else if (a == "--keys" || a == "--from") {
            *error = a + " needs a site key file";
            return false;
        } else if (a.compare(0, 2, "--") == 0) {
            *error = "unknown option " + a;
            return false;
        } else if (o->command.empty()) o->command = a;
        else if (TakesArgument(o->command) && !hasArgument) {
            o->argument = a;
            hasArgument = true;
        } else {
            *error = "unexpected argument " + a;
            return false;
        }
    }
    if (o->help) return true;
    if (o->command.empty()) {
        *error = "no command given";
        return false;
    }
    if (!KnownCommand(o->command)) {
        *error = "unknown command " + o->command;
        return false;
    }
    const bool move = o->command == "move-reader";
    if (move && o->keysFile.empty()) {
        *error =
            "move-reader needs --keys FILE: the site key file of the set to move the reader to";
        return false;
    }
    if (!move && !o->fromFile.empty()) {
        *error = "--from is for move-reader only";
        return false;
    }
    if (TakesArgument(o->command) && !hasArgument) {
        const char *what = o->command == "write"     ? "a card file"
                           : o->command == "set-pin" ? "a PIN"
                                                     : "a number";
        *error = o->command + " needs " + what;
        return false;
    }
    return true;
}

int main(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "zukcard: %s\n\n%s", error.c_str(), UsageText());
        return EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return EXIT_DONE;
    }
    return options.command == "move-reader" ? RunMoveReader(options) : RunCommand(options);
}
