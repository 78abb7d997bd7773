// Runs the built chatsieve program (CHATSIEVE_EXE, defined by the test's
// target) in the working directory, with `input` on its standard input, and
// collects its exit status and output. Uses stdin.txt, stdout.txt and
// stderr.txt there, so each test runs it inside its own temporary folder.
#ifndef CHATSIEVE_TESTS_TOOLS_RUNCHATSIEVE_H
#define CHATSIEVE_TESTS_TOOLS_RUNCHATSIEVE_H

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "RuleFolder.h"

namespace chatsieve::test {

struct Result {
    int status;
    std::string out;
    std::string err;
};

// `args` are shell words.
inline Result Chatsieve(const std::string& args, const std::string& input = "") {
    WriteFileText("stdin.txt", input);
    const std::string command = std::string("'") + CHATSIEVE_EXE + "' " + args + " <stdin.txt >stdout.txt 2>stderr.txt";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return Result{status, ReadFileText("stdout.txt"), ReadFileText("stderr.txt")};
}

}  // namespace chatsieve::test

#endif
