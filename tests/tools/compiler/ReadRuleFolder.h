// Reading a test rule folder through the compiler, as the compiler's tests
// share it: the messages as the tools print them, and a read that must
// succeed.
#ifndef CHATSIEVE_TESTS_TOOLS_COMPILER_READRULEFOLDER_H
#define CHATSIEVE_TESTS_TOOLS_COMPILER_READRULEFOLDER_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RuleFolder.h"
#include "compiler/CRuleCompiler.h"

namespace chatsieve::test {

inline std::string Messages(const std::vector<tools::Diagnostic>& diagnostics) {
    std::string text;
    for (const tools::Diagnostic& d : diagnostics) text += d.Format() + "\n";
    return text;
}

inline tools::RuleSetSource ReadOk(const RuleFolder& folder) {
    tools::RuleSetSource rules;
    std::vector<tools::Diagnostic> diagnostics;
    EXPECT_TRUE(tools::CRuleCompiler().Read(folder.Path(), &rules, &diagnostics)) << Messages(diagnostics);
    return rules;
}

// A folder of phrases (and no combinations) on the shipped syllables and
// ignore-sets, which stand in for the files it leaves out.
inline tools::RuleSetSource ReadOnShipped(const std::string& phrases) {
    RuleFolder folder({{"phrases.tsv", "id\tlevel\tphrase\n" + phrases}, {"combos.tsv", "id\tlevel\tparts\n"}});
    std::filesystem::remove(folder / "syllables.tsv");
    std::filesystem::remove(folder / "ignore.tsv");
    return ReadOk(folder);
}

}  // namespace chatsieve::test

#endif
