// chatsieve: writes and checks rule sets, and shows what the filter does
// with lines of chat. One program with subcommands; see docs/cli.md.
#include <cstdio>
#include <exception>
#include <string>

#include "Commands.h"
#include "system/ToolPlatform.h"

namespace {

using namespace chatsieve::tools;

// The subcommands, in the order the help lists them. Each one's line in the
// help is its synopsis and what it does.
struct Command {
    const char* name;
    const char* arguments;  // the synopsis after the name
    const char* summary;
    int (*run)(const Arguments& args);
};

const Command kCommands[] = {
    {"build", "SRC -o OUT.res", "compile the rule folder SRC into a rule package", RunBuild},
    {"lint", "SRC", "report errors and what compiles but cannot work as meant", RunLint},
    {"decompile", "FILE.res -o DIR", "turn a rule package back into a rule folder", RunDecompile},
    {"filter", "[FILE...]", "screen lines, printing each one's level and masked copy", RunFilter},
    {"test", "CASES...", "check lines against the levels and masked copies they must get", RunTest},
    {"diff", "OLD.res NEW.res LOG...", "list the lines of logs that two packages screen differently", RunDiff},
    {"scan", "LOG... [--report F]", "report what each rule decides in chat logs, and how", RunScan},
};

std::string Usage() {
    // Summaries line up after the synopses; a synopsis too long for the
    // column keeps two spaces before its summary.
    constexpr std::size_t kColumn = 25;
    std::string usage = "usage: chatsieve COMMAND [ARGS]\n\n";
    for (const Command& command : kCommands) {
        const std::string synopsis = std::string(command.name) + " " + command.arguments;
        usage += "  " + synopsis + std::string(synopsis.size() < kColumn ? kColumn - synopsis.size() : 2, ' ') +
                 command.summary + "\n";
    }
    return usage +
           "\n"
           "'chatsieve COMMAND --help' describes a command.\n"
           "\n"
           "Exit status: 0 done; 1 failure (rule errors, unreadable input, unwritable\n"
           "output, unusable package, a line that could not be converted); 2 wrong usage;\n"
           "3 lint found only warnings, or decompile wrote rules that build another package.\n";
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 2) {
            std::fputs(Usage().c_str(), stderr);
            return kExitUsage;
        }
        const std::string name = argv[1];
        if (name == "--help" || name == "-h" || name == "help") {
            std::fputs(Usage().c_str(), stdout);
            return kExitOk;
        }
        const Arguments args(argv + 2, argv + argc);
        UseBinaryStandardStreams();
        for (const Command& command : kCommands)
            if (name == command.name) return command.run(args);
        std::fprintf(stderr, "chatsieve: unknown command '%s'\n\n%s", name.c_str(), Usage().c_str());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chatsieve: %s\n", e.what());
        return kExitFailure;
    }
}
