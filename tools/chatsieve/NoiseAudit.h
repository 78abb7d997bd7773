// The noise audit of lint --corpus: the rules that flag the most lines of a
// text known to be innocent, each named at its place with the count, and the
// rules that English words in it spell. A line
// counts for the rule that decided its level, as filter --explain names it.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_NOISEAUDIT_H
#define CHATSIEVE_TOOLS_CHATSIEVE_NOISEAUDIT_H

#include <string>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// Rules named at most, the noisiest first.
constexpr std::size_t kMaxNoisyRulesShown = 20;

// Screens each line of `corpus` (UTF-8) with the package of `rules`, which
// the compiler read without errors, and appends a warning for each of the
// noisiest rules and for each rule that decides lines through an English
// word read as its pinyin, then a note with the share of lines flagged. False with
// `*error` when the corpus cannot be read or the package cannot be loaded.
bool AuditCorpus(const RuleSetSource& rules, const std::string& corpus, std::vector<Diagnostic>* diagnostics,
                 std::string* error);

}  // namespace chatsieve::tools

#endif
