// Realistic rule sets and chat lines for the benchmarks: the full syllable
// table, phrase rules of two to four syllables at levels 1 to 63, combination
// rules, and a corpus of mostly clean lines, some holding banned expressions
// in every written form with filler between their characters.
#ifndef CHATSIEVE_BENCH_WORKLOAD_H
#define CHATSIEVE_BENCH_WORKLOAD_H

#include <string>
#include <vector>

#include "PackholdWriter.h"

namespace chatsieve::bench {

struct Syllable {
    std::string pinyin;
    std::vector<unsigned char> codes;  // (lead, low, high) triples
};

struct Phrase {
    int level;
    std::vector<int> syllables;  // indexes into Workload::syllables
};

struct Workload {
    std::vector<Syllable> syllables;
    std::vector<int> ignore;  // the ignore-set's values
    std::vector<Phrase> phrases;
    std::vector<std::vector<int>> combos;  // RuleRefs; levels in comboLevels
    std::vector<int> comboLevels;
    std::vector<std::string> lines;  // code page 936
};

// Reads the syllable table (rules/syllables.tsv) and generates `phrases`
// phrase rules, phrases / 20 combination rules and `lines` chat lines, all
// from `seed`.
Workload MakeWorkload(const std::string& syllableTable, int phrases, int lines, unsigned seed);

// The rule package of a workload, with `allowed` allowed expressions of two
// or three characters of the syllable table (for all rules) as a fifth table.
packhold::Package MakePackage(const Workload& workload, int allowed = 0);

// Removes what the shipped ignore-set removes, as the filter's first step does.
std::string Strip(const Workload& workload, const std::string& line);

}  // namespace chatsieve::bench

#endif
