// The command table of orvelle-cli. Each command lives in its own file and
// registers itself with a static CliCommandRegistrar, so adding a command
// never touches the dispatcher.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Options that stand before the command name and apply to every command.
struct GlobalOptions {
    std::vector<std::string> images;  // --image FILE, in the order given
    bool verbose = false;             // --verbose: library messages to stderr
};

// Exit statuses shared by every command.
enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// A command gets the words after its name; it prints its result on stdout and
// everything else on stderr, and returns one of ExitCode.
using CommandFn = int (*)(const GlobalOptions &opts, const std::vector<std::string> &args);

struct Command {
    const char *name;
    const char *synopsis;  // e.g. "scan" or "list [--json] [--stream N]"
    const char *summary;   // one line for --help
    CommandFn run;
};

void register_command(const Command &cmd);
const std::vector<Command> &commands();

struct CliCommandRegistrar {
    explicit CliCommandRegistrar(const Command &cmd) { register_command(cmd); }
};

// Prints "orvelle-cli: <msg>" on stderr and returns kExitUsage.
int usage_error(const std::string &msg);

}  // namespace cli
