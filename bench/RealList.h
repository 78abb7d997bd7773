// Workloads from real data for the benchmarks: a public word list and a
// dictionary's words compiled through the rule compiler as phrase rules (sound
// mode), and chat lines cut from Chinese text that Debian packages ship
// (fortunes-zh, manpages-zh).
#ifndef CHATSIEVE_BENCH_REALLIST_H
#define CHATSIEVE_BENCH_REALLIST_H

#include <string>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::bench {

// Rule set of words that the compiler accepted, with its package written to
// `root`/Data/Scp/Chatsieve.res, where the filter looks when `root` is the
// working directory.
struct CompiledWords {
    std::string root;
    std::vector<std::string> words;  // accepted words in code page 936, in rule order
    std::size_t offered = 0;         // words given, before the compiler refused some
    tools::RuleSetSource rules;
};

// The distinct words of every *.txt file in `folder` (files in name order)
// made of Chinese characters alone (U+4E00 to U+9FFF), UTF-8, spaces trimmed.
std::vector<std::string> ChineseWords(const std::string& folder);

// `count` words of a jieba dictionary (word frequency tag, a line): its
// distinct words without an ASCII character, sorted, word (i * 997) mod n for
// i from 0.
std::vector<std::string> DictionarySelection(const std::string& dictionary, int count);

// Writes `words` (UTF-8) as phrases.tsv in `root`/rules, levels 1 to 63 in
// turn, in sound mode or, with `written`, in written mode, and compiles it
// with the shipped syllables and ignore-sets; rows the compiler refuses are
// dropped and the rest compiled again. Empty root when nothing could be
// compiled.
CompiledWords CompileWords(const std::vector<std::string>& words, const std::string& root, bool written = false);

// The *.txt files of `folder` used as a team uses its lists: copied beside a
// lists.tsv naming each at level 30 in written mode, and compiled into
// `root`; `words` holds the Chinese words of the lists (for peers that take
// literals), `rules` every entry the compiler kept. Empty root on failure.
CompiledWords CompileLists(const std::string& folder, const std::string& root);

// Text of fortunes-zh (/usr/share/games/fortunes/chinese.u8) and of the
// zh_CN manual pages (roff requests and escapes left out), UTF-8, one text
// line per line; empty when the package is missing.
std::string FortunesText();
std::string ManualText();

// `text` converted to code page 936 (characters it lacks as '?', as a client
// converts), its lines joined, cut into `count` lines of `bytes` bytes without
// splitting a character (fewer when the text runs out).
std::vector<std::string> CutLines(const std::string& text, std::size_t bytes, std::size_t count);

}  // namespace chatsieve::bench

#endif
