// The subcommands of the chatsieve command. Each takes the arguments after
// its name and returns the program's exit status (see ExitStatus).
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_COMMANDS_H
#define CHATSIEVE_TOOLS_CHATSIEVE_COMMANDS_H

#include <string>
#include <vector>

namespace chatsieve::tools {

enum ExitStatus {
    kExitOk = 0,        // done; lint found nothing; decompile gave the rules back exactly
    kExitFailure = 1,   // rule errors, unreadable input, unwritable output, unusable package, unconvertible line
    kExitUsage = 2,     // wrong arguments
    kExitWarnings = 3,  // lint --strict found warnings; decompile wrote rules that build another package
};

using Arguments = std::vector<std::string>;

int RunBuild(const Arguments& args);
int RunLint(const Arguments& args);
int RunDecompile(const Arguments& args);
int RunFilter(const Arguments& args);
int RunTest(const Arguments& args);
int RunDiff(const Arguments& args);
int RunScan(const Arguments& args);

}  // namespace chatsieve::tools

#endif
