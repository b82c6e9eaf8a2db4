// zukcard's command line: one subcommand with its argument, and the options around it.
#ifndef ZUKCARD_OPTIONS_H
#define ZUKCARD_OPTIONS_H

#include <string>

struct Options {
    std::string command;   // write, read, set-pin, unlock, set-limit, erase, move-reader
    std::string argument;  // FILE, PIN or N
    std::string port;      // --port: COMn or a device path; empty: the library's port
    std::string keysFile;  // --keys: a site key file instead of the built-in keys
    std::string fromFile;  // --from (move-reader): the site key file of the reader's current set
    bool json = false;
    bool noWait = false;
    bool force = false;
    bool showSecrets = false;
    bool help = false;
};

// Exit codes.
constexpr int EXIT_DONE = 0;         // everything asked was done and read back identical
constexpr int EXIT_NOT_DONE = 1;     // the reader, the card or the operator stopped it
constexpr int EXIT_USAGE = 2;        // a bad command line, card file or value: nothing was done
constexpr int EXIT_READER_HELD = 3;  // --no-wait and another program holds the reader

// False with `error` set when the command line is not of zukcard's form.
bool ParseOptions(int argc, char **argv, Options *options, std::string *error);
const char *UsageText();

// Runs a card command and prints its outcome; the exit code.
int RunCommand(const Options &options);
// Runs move-reader (tools/zukcard/move.cpp).
int RunMoveReader(const Options &options);

#endif
