// The subcommand table: names, options and their checks, and the dispatch to the runners.
// Every argument is checked before anything runs, so a mistyped command line calls nothing.
#include "tools/zukcli/commands.h"

#include <cstdlib>
#include <cstring>

#include "tools/zukcli/calls.h"
#include "tools/zukcli/codes.h"
#include "tools/zukcli/keys.h"
#include "tools/zukcli/revocation.h"
#include "tools/zukcli/status.h"
#include "tools/zukcli/trace_view.h"

namespace {

enum class Value { None, Integer, Size, AccountMode, Window, Text };

// Buffers zukcli allocates for the library: at most 1 MiB; sizes of 0 or below are passed on as
// given, so that the library's own check answers.
const long long kMaxBufferSize = 1 << 20;

struct OptionForm {
    const char *name;
    Value value;
};

struct CommandForm {
    const char *name;
    OptionForm options[8];
    int minArguments;
    int maxArguments;
};

const CommandForm kCommands[] = {
    {"version", {}, 0, 0},
    {"mode", {}, 0, 0},
    {"limits", {}, 0, 0},
    {"open", {}, 0, 0},
    {"close", {{"--handle", Value::Integer}}, 0, 0},
    {"sense",
     {{"--handle", Value::Integer},
      {"--watch", Value::None},
      {"--for", Value::Integer},
      {"--interval", Value::Integer}},
     0,
     0},
    {"verify-pin", {{"--handle", Value::Integer}}, 1, 1},
    {"name", {{"--handle", Value::Integer}, {"--size", Value::Size}}, 0, 0},
    {"user-option", {{"--handle", Value::Integer}, {"--size", Value::Size}}, 0, 0},
    {"admin-option", {{"--handle", Value::Integer}, {"--size", Value::Size}}, 0, 0},
    {"account",
     {{"--handle", Value::Integer},
      {"--mode", Value::AccountMode},
      {"--account-size", Value::Size},
      {"--password-size", Value::Size},
      {"--parent", Value::Window},
      {"--show-password", Value::None},
      {"--pin", Value::Text},
      {"--screenshot", Value::Text}},
     0,
     0},
    {"status", {{"--compliance", Value::None}}, 0, 0},
    {"codes", {}, 0, 1},
    {"trace", {{"--follow", Value::None}, {"--for", Value::Integer}}, 0, 1},
    {"revoke", {}, 1, 1},
    {"unrevoke", {}, 1, 1},
    {"revoked", {}, 0, 0},
    {"keys", {}, 1, 2},
};

const CommandForm *FindForm(const std::string &name) {
    for (const CommandForm &form : kCommands) {
        if (name == form.name) return &form;
    }
    return nullptr;
}

const OptionForm *FindOption(const CommandForm &form, const std::string &name) {
    for (const OptionForm &option : form.options) {
        if (option.name && name == option.name) return &option;
    }
    return nullptr;
}

bool CheckValue(Value kind, const std::string &text) {
    long long ignored = 0;
    switch (kind) {
    case Value::None: return true;
    case Value::Integer: return ParseInteger(text, &ignored);
    case Value::Size: return ParseInteger(text, &ignored) && ignored <= kMaxBufferSize;
    case Value::AccountMode: return ParseAccountMode(text, &ignored);
    case Value::Window: return ParseWindow(text, &ignored);
    case Value::Text: return !text.empty();
    }
    return false;
}

}  // namespace

bool IsCommandName(const std::string &word) { return FindForm(word) != nullptr; }

bool ParseCommand(const std::vector<std::string> &args, std::size_t *next, Command *out,
                  std::string *error) {
    const std::string &name = args[*next];
    const CommandForm *form = FindForm(name);
    if (!form) {
        *error = "unknown command '" + name + "' (zukcli --help lists the commands)";
        return false;
    }
    *out = Command();
    out->name = name;
    ++*next;
    // The word after `keys` is its action, even one that is also a command's name ("status").
    const bool keysAction = name == "keys" && *next < args.size() && IsKeysAction(args[*next]);
    while (*next < args.size() &&
           (!IsCommandName(args[*next]) || (keysAction && out->arguments.empty()))) {
        std::string word = args[*next];
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            std::string value;
            const std::size_t equals = word.find('=');
            if (equals != std::string::npos) {
                value = word.substr(equals + 1);
                word = word.substr(0, equals);
            }
            const OptionForm *option = FindOption(*form, word);
            if (!option) {
                *error = name + ": unknown option " + word;
                return false;
            }
            if (option->value != Value::None && equals == std::string::npos) {
                if (*next + 1 >= args.size()) {
                    *error = name + ": " + word + " needs a value";
                    return false;
                }
                value = args[++*next];
            }
            if (option->value == Value::None && equals != std::string::npos) {
                *error = name + ": " + word + " takes no value";
                return false;
            }
            if (!CheckValue(option->value, value)) {
                *error = name + ": invalid value '" + value + "' for " + word;
                return false;
            }
            out->options[word] = value;
        } else {
            out->arguments.push_back(word);
        }
        ++*next;
    }
    const int count = static_cast<int>(out->arguments.size());
    if (name == "keys" && (count == 0 || !IsKeysAction(out->arguments[0]) ||
                           count != (KeysActionTakesFile(out->arguments[0]) ? 2 : 1))) {
        *error = "keys: needs 'generate FILE', 'check FILE', 'install FILE', 'status' or 'remove'";
        return false;
    }
    if (count < form->minArguments || count > form->maxArguments) {
        *error = name + (form->maxArguments == 0   ? ": takes no arguments"
                         : form->minArguments == 0 ? ": takes at most one argument"
                                                   : ": needs exactly one argument");
        if (count > form->maxArguments && count > 0) {
            *error += " (unknown command '" +
                      out->arguments[static_cast<std::size_t>(form->maxArguments)] + "'?)";
        }
        return false;
    }
    long long ignored = 0;
    if (name == "codes" && count == 1 && !ParseInteger(out->arguments[0], &ignored)) {
        *error =
            "codes: '" + out->arguments[0] + "' is not a number (decimal, or hexadecimal with 0x)";
        return false;
    }
    if (name == "revoke" || name == "unrevoke") {
        const std::string why = IdmRefusal(out->arguments[0]);
        if (!why.empty()) {
            *error = name + ": '" + out->arguments[0] + "' is " + why;
            return false;
        }
    }
    return true;
}

bool RunCommand(const Command &command, Session *session, Report *report) {
    if (command.name == "status") return RunStatus(report);
    if (command.name == "trace") return RunTrace(command, report);
    if (command.name == "revoke" || command.name == "unrevoke") {
        return RunRevoke(command.arguments[0], command.name == "revoke", report);
    }
    if (command.name == "revoked") return RunRevoked(report);
    if (command.name == "keys") {
        return RunKeys(command.arguments[0],
                       command.arguments.size() > 1 ? command.arguments[1] : "", report);
    }
    if (command.name == "codes") {
        return command.arguments.empty() ? ListResultCodes(report)
                                         : DecodeCode(command.arguments[0], report);
    }
    return RunCall(command, session, report);
}

bool RefusalNeedsUsage(const std::string &error) {
    return error.compare(0, 8, "revoke: ") != 0 && error.compare(0, 10, "unrevoke: ") != 0;
}

const char *UsageText() {
    return "usage: zukcli [--json] [--dll PATH] [--cancel-prompts|--unattended] [--no-wait]\n"
           "              [--timeout SECONDS] COMMAND [options] [COMMAND ...]\n"
           "\n"
           "Loads ZUKcntrl.dll (--dll, else ZUKCNTRL_DLL, else the one next to zukcli.exe) and "
           "runs\n"
           "the commands in order, in one process (the reader stays open only within a process):\n"
           "  version                      ZUKGetLibVersion\n"
           "  mode                         ZUKGetLibMode\n"
           "  limits                       ZUKGetMaxLength\n"
           "  open                         ZUKOpen; later commands use the handle it returns\n"
           "  close [--handle N]           ZUKClose\n"
           "  sense [--handle N] [--watch [--for SECONDS] [--interval MS]]\n"
           "                               ZUKSenseCard; --watch prints each change of presence\n"
           "                               until Ctrl+C, a failure, or SECONDS have passed\n"
           "  verify-pin PIN [--handle N]  ZUKVerifyPIN\n"
           "  name [--handle N] [--size N]          ZUKGetUserName (a buffer of N bytes: 1024,\n"
           "                                        at most 1048576)\n"
           "  user-option [--handle N] [--size N]   ZUKGetUserOption\n"
           "  admin-option [--handle N] [--size N]  ZUKGetAdminOption\n"
           "  account [--mode interactive|handover|pickup|N] [--account-size N]\n"
           "          [--password-size N] [--parent none|console|HWND] [--handle N]\n"
           "          [--show-password] [--pin PIN [--screenshot FILE.png]]\n"
           "                               ZUKGetUserAccount (sizes 128 and 256; the password is\n"
           "                               shown only with --show-password); --pin answers the\n"
           "                               PIN dialog itself, once (after a wrong PIN: its\n"
           "                               notice dismissed, the next PIN dialog cancelled, the\n"
           "                               call returns 3); --screenshot saves a picture of it\n"
           "  status                       the registry and INI settings as the library reads\n"
           "                               them, and what is wrong with them\n"
           "  codes [CODE]                 every result code with its name and meaning; with CODE\n"
           "                               (0x02000013, 2560, ...) that result code or raw trace\n"
           "                               code decoded: family, meaning, cause, result\n"
           "  trace [FILE] [--follow [--for SECONDS]]\n"
           "                               the trace log (the library's own, or FILE) decoded: "
           "each\n"
           "                               line's export, result and raw code, grouped into runs\n"
           "                               (a pause of a minute starts a new one); --follow waits\n"
           "                               for new lines until Ctrl+C or SECONDS have passed\n"
           "  revoke IDM                   puts the card (its IDm: 16 hexadecimal digits, or as\n"
           "                               zukcard prints it, \"01 2E 4C 1F 93 0A 55 07\", colons\n"
           "                               allowed) on this machine's list of revoked cards\n"
           "                               (administrator): it identifies nobody here from the\n"
           "                               next card operation, and its remembered pairs are gone\n"
           "  unrevoke IDM                 takes it off the machine's list again\n"
           "  revoked                      both lists (Group Policy's and the machine's), with\n"
           "                               the malformed values (zukcli status fails on them)\n"
           "  keys generate FILE           writes a new site key file (channel key sets, card key\n"
           "                               table, password mask, issuing table) with fresh keys\n"
           "                               from the system's random number generator; an existing\n"
           "                               FILE is never overwritten\n"
           "  keys check FILE              whether FILE is a valid site key file, and each key's\n"
           "                               check value (never a key)\n"
           "  keys install FILE            stores FILE's keys (not its issuing table) on this\n"
           "                               machine, encrypted for this machine, for the library "
           "of\n"
           "                               each bitness (administrator); libraries loaded from "
           "then\n"
           "                               on use them instead of the built-in keys\n"
           "  keys status                  which keys the library uses (built-in, the site's, or\n"
           "                               none: the stored keys cannot be used, and why), with\n"
           "                               the check values of the site's\n"
           "  keys remove                  removes the stored keys: the built-in keys again\n"
           "\n"
           "  --version         zukcli's own version (the library's: the version command)\n"
           "  --json            one JSON document instead of text (JSON Lines, one object per\n"
           "                    line, when watching or following)\n"
           "  --cancel-prompts  answer every window of the library that waits for a person: its\n"
           "                    message boxes and notices (Cancel, or OK where there is none) and\n"
           "                    its card wait, ID and password and PIN prompts (Cancel; the PIN\n"
           "                    prompt and the wrong-PIN notice are left to --pin), so every\n"
           "                    call returns its result\n"
           "  --unattended      the library's own prompt-free mode for this process\n"
           "                    (ZUK_UNATTENDED=1), and the prompts that still ask answered as "
           "with\n"
           "                    --cancel-prompts\n"
           "  --no-wait         ZUKOpen answers ZUK_ERR_BUSY at once while another process holds\n"
           "                    the reader (ZUK_OPEN_WAIT=0 for this process)\n"
           "  --timeout SECONDS a call that has not returned after SECONDS ends the run with exit\n"
           "                    code 3 (default 120 with --cancel-prompts or --unattended, else\n"
           "                    none; 0: none); sense --watch and trace --follow are not timed\n"
           "\n"
           "Exit code: 0 when every call returned ZUK_OK (0) and status found no problem; 1\n"
           "otherwise; 2 for a command line that cannot be understood (then nothing runs); 3 when\n"
           "a call did not return within --timeout.\n";
}
