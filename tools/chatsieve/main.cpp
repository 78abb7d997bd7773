// chatsieve: writes and checks rule sets, and shows what the filter does
// with lines of chat. One program with subcommands; see docs/cli.md.
#include <cstdio>
#include <cstring>
#include <exception>

#include "Commands.h"
#include "system/ToolPlatform.h"

namespace {

const char kUsage[] =
    "usage: chatsieve COMMAND [ARGS]\n"
    "\n"
    "  build SRC -o OUT.res     compile the rule folder SRC into a rule package\n"
    "  lint SRC                 report errors and what compiles but cannot work as meant\n"
    "  decompile FILE.res -o DIR  turn a rule package back into a rule folder\n"
    "  filter [FILE...]         screen lines, printing each one's level and masked copy\n"
    "  test CASES...            check lines against the levels and masked copies they must get\n"
    "  diff OLD.res NEW.res LOG...  list the lines of logs that two packages screen differently\n"
    "  scan LOG... [--report F] report what each rule decides in chat logs, and how\n"
    "\n"
    "'chatsieve COMMAND --help' describes a command.\n"
    "\n"
    "Exit status: 0 done; 1 failure (rule errors, unreadable input, unwritable\n"
    "output, unusable package, a line that could not be converted); 2 wrong usage;\n"
    "3 lint found only warnings, or decompile wrote rules that build another package.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace chatsieve::tools;
    try {
        if (argc < 2) {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
        const char* command = argv[1];
        if (!std::strcmp(command, "--help") || !std::strcmp(command, "-h") || !std::strcmp(command, "help")) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        const Arguments args(argv + 2, argv + argc);
        UseBinaryStandardStreams();
        if (!std::strcmp(command, "build")) return RunBuild(args);
        if (!std::strcmp(command, "lint")) return RunLint(args);
        if (!std::strcmp(command, "decompile")) return RunDecompile(args);
        if (!std::strcmp(command, "filter")) return RunFilter(args);
        if (!std::strcmp(command, "test")) return RunTest(args);
        if (!std::strcmp(command, "diff")) return RunDiff(args);
        if (!std::strcmp(command, "scan")) return RunScan(args);
        std::fprintf(stderr, "chatsieve: unknown command '%s'\n\n%s", command, kUsage);
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chatsieve: %s\n", e.what());
        return kExitFailure;
    }
}
