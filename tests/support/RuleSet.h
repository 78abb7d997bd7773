// A rule set written in code, as the four rule tables hold it: what the
// test filter builds directly and what RulePackage.h packs for the loader.
#ifndef CHATSIEVE_TESTS_RULESET_H
#define CHATSIEVE_TESTS_RULESET_H

#include <string>
#include <vector>

namespace chatsieve::test {

struct SyllableRow {
    std::string romanised;
    std::vector<unsigned char> codes;
    const char* split = nullptr;
};

struct LevelRow {
    int level;
    std::vector<int> refs;
};

// An allowed expression and the rules it is limited to (phrase rows as
// 300000 + row, combination rows as 400000 + row; none: every rule).
struct AllowRow {
    std::string text;
    std::vector<int> rules;
};

struct RuleSet {
    std::vector<std::vector<int>> skipSets;
    int logEnabled = 0;
    std::vector<SyllableRow> syllables;
    std::vector<LevelRow> phrases;
    std::vector<LevelRow> combos;
    std::vector<AllowRow> allow;
    // Packages with written-mode rules: characters folded to one byte (lead,
    // low, high, first result) and each phrase row's edges (none: 0).
    std::vector<std::vector<int>> folds;
    std::vector<int> phraseEdges;
    enum class End { kSucceed, kFail, kThrow } end = End::kSucceed;
};

// Syllable references of the standard rule set below.
enum : int { kRefWai = 200001, kRefGua, kRefNi, kRefHao, kRefFa, kRefLun, kRefGong, kRefA };

// ASCII spaces and punctuation, full-width punctuation (A1xx and A3A1-A3AF).
inline std::vector<int> StandardSkipSet() {
    return {0x20, 0x2F, 0x3A, 0x40, 0x5B, 0x60, 0x7B, 0x7E, -1, 0xA1, 0xA1, 0xFE, 0xA3, 0xA1, 0xAF};
}

inline std::vector<SyllableRow> StandardSyllables() {
    return {
        {"wai", {0xCD, 0xE2, 0xE2}},
        {"gua", {0xB9, 0xD2, 0xD2}},
        {"ni", {0xC4, 0xE3, 0xE3}},
        {"hao", {0xBA, 0xC3, 0xC3}},
        {"fa", {0xB7, 0xA2, 0xA2}},
        {"lun", {0xC2, 0xD6, 0xD6}},
        {"gong", {0xB9, 0xA6, 0xA6}, "\xB9\xA4\xC1\xA6"},
        {"a", {0xB0, 0xA1, 0xA2}},
    };
}

}  // namespace chatsieve::test

#endif
