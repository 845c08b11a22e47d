// orvelle-cli: reads recorder disks and disk images from the command line.
#include "command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cli {

static std::vector<Command> &table()
{
    static std::vector<Command> t;
    return t;
}

void register_command(const Command &cmd) { table().push_back(cmd); }

const std::vector<Command> &commands() { return table(); }

int usage_error(const std::string &msg)
{
    std::fprintf(stderr, "orvelle-cli: %s\nTry 'orvelle-cli --help'.\n", msg.c_str());
    return kExitUsage;
}

}  // namespace cli

static void print_help()
{
    std::vector<cli::Command> cmds = cli::commands();
    std::sort(cmds.begin(), cmds.end(),
              [](const cli::Command &a, const cli::Command &b) { return std::strcmp(a.name, b.name) < 0; });
    std::printf("Usage: orvelle-cli [--image FILE]... [--verbose] COMMAND [ARGS]\n\n"
                "Reads recorder disks (WFS) read-only. Without --image the machine's\n"
                "whole-disk block devices are scanned; with --image only the given\n"
                "image files are used, in the order given.\n\nCommands:\n");
    for (const cli::Command &c : cmds) {
        // A synopsis too long for its column puts the summary under it.
        if (std::strlen(c.synopsis) > 44)
            std::printf("  %s\n  %-44s %s\n", c.synopsis, "", c.summary);
        else
            std::printf("  %-44s %s\n", c.synopsis, c.summary);
    }
    std::printf("\nOptions:\n"
                "  --image FILE   read this disk image instead of the machine's drives (repeatable)\n"
                "  -v, --verbose  the file-system library's messages on standard error\n"
                "  -h, --help     show this help (after a command: that command's usage) and exit\n"
                "  --version      show the version and exit\n");
    std::printf("\nCASE OPTIONS (export, cut, range): the examination report's fields\n"
                "  --case TEXT, --examiner TEXT, --evidence TEXT, --notes TEXT\n"
                "  --clock-offset SECONDS  the recorder's clock minus true time (default 0)\n"
                "  --no-report             write no report (SHA256SUMS is still written)\n"
                "Every file written is hashed into SHA256SUMS in the destination folder; the\n"
                "report (report-YYYYMMDD-HHMMSS.json and .html) is named on standard output.\n");
    std::printf("\nExit status: 0 success, 1 failure, 2 usage error.\n");
}

int main(int argc, char **argv)
{
    cli::GlobalOptions opts;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            print_help();
            return cli::kExitOk;
        } else if (a == "--version") {
            std::printf("orvelle-cli %s\n", ORVELLE_VERSION);
            return cli::kExitOk;
        } else if (a == "--image") {
            if (i + 1 >= argc)
                return cli::usage_error("--image needs a file name");
            opts.images.push_back(argv[++i]);
        } else if (a.rfind("--image=", 0) == 0) {
            opts.images.push_back(a.substr(8));
        } else if (a == "--verbose" || a == "-v") {
            opts.verbose = true;
        } else if (!a.empty() && a[0] == '-') {
            return cli::usage_error("unknown option " + a);
        } else {
            break;
        }
    }
    if (i >= argc)
        return cli::usage_error("no command given");
    std::string name = argv[i++];
    std::vector<std::string> args(argv + i, argv + argc);
    for (const cli::Command &c : cli::commands()) {
        if (name == c.name) {
            if (std::find(args.begin(), args.end(), "--help") != args.end()) {
                std::printf("Usage: orvelle-cli [--image FILE]... %s\n  %s\n", c.synopsis, c.summary);
                return cli::kExitOk;
            }
            return c.run(opts, args);
        }
    }
    return cli::usage_error("unknown command '" + name + "'");
}
