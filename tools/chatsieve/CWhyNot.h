// CWhyNot: why a line got level 0. It looks at the line as the rules saw it
// (stripped by the ignore-sets, allowed expressions hidden) and reports
//  - characters that keep rules from matching: two-byte characters in no
//    syllable's ranges (with their simplified form, when a traditional
//    character's is known), full-width letters (pinyin is matched in ASCII
//    letters only) and fillers the ignore-sets do not strip;
//  - the phrase rules closest to matching, and for each, syllable by
//    syllable, where it matched and where and why it failed; and the
//    combinations with some of their parts in the line, part by part.
// A rule's try starts at each character and goes on past a failure,
// stepping over the character that failed, so that one wrong character
// does not hide how close the rest came. Closeness is the number of
// syllables matched, or failed only for a reason named (a full-width
// spelling, a traditional character whose simplified form is the syllable);
// only rules that get half their syllables that far are reported, the
// nearest few.
//
// Texts in reports are code page 936. Built once per rule set; Explain may
// be called any number of times, from one thread at a time.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_CWHYNOT_H
#define CHATSIEVE_TOOLS_CHATSIEVE_CWHYNOT_H

#include <string>
#include <utility>
#include <vector>

#include "CScreener.h"

namespace chatsieve {
class CSyllable;
}

namespace chatsieve::tools {

// One syllable of a near rule's try.
struct WhyNotStep {
    int index = 0;  // 1-based place in the rule
    std::string pinyin;
    bool matched = false;
    int byte = 0;        // where it matched or failed, in the line
    std::string text;    // the bytes matched, or those that failed it
    std::string reason;  // why it failed; empty when matched
};

// A part of a near combination: found, or how near its syllables came.
struct NearPart {
    std::string name;  // a phrase's id or place, or a syllable's pinyin
    bool found = false;
    std::vector<WhyNotStep> steps;
};

struct NearRule {
    Explanation rule;  // names the rule; spans and parts are left empty
    int syllables = 0;
    std::vector<WhyNotStep> steps;  // a phrase's
    std::vector<NearPart> parts;    // a combination's
};

// A character that keeps rules from seeing what is written.
struct CharacterNote {
    int start = 0;  // byte offsets in the line, end exclusive
    int end = 0;
    std::string text;
    std::string note;
};

struct WhyNotReport {
    std::vector<CharacterNote> characters;
    std::vector<NearRule> near;
};

class CWhyNot {
public:
    struct Rule {
        Explanation name;
        std::vector<int> syllables;  // a phrase's, as indexes into the syllable list
        // A combination's parts: a name and the syllables that spell it.
        std::vector<std::pair<std::string, std::vector<int>>> parts;
    };

    // `syllables` in table order; `rules` in checking order.
    CWhyNot(std::vector<const CSyllable*> syllables, std::vector<Rule> rules);

    // `work` is the stripped text, `map` leads its bytes back to the line of
    // `lineSize` bytes, and `breakByte` (0: none) marks hidden expressions.
    void Explain(const std::string& work, const std::vector<int>& map, int lineSize, unsigned char breakByte,
                 WhyNotReport* report) const;

    // How many near rules and character notes a report holds at most.
    static constexpr std::size_t kMaxNear = 3;
    static constexpr std::size_t kMaxNearCombinations = 2;
    static constexpr std::size_t kMaxNotes = 6;

private:
    struct Failure {
        std::string reason;
        int consumed = 0;     // bytes to step over
        bool named = false;   // the syllable is there, written in a way the filter does not read
        bool filler = false;  // the syllable follows the bytes stepped over
    };
    struct Try {
        std::vector<WhyNotStep> steps;
        int close = 0;  // syllables matched or failed only for a named reason
        int unexplained = 0;
    };

    Try Attempt(const std::vector<int>& syllables, const std::string& work, int start, const std::vector<int>& map,
                int lineSize, unsigned char breakByte) const;
    // The closest try of a run of syllables anywhere in the work text.
    Try Nearest(const std::vector<int>& syllables, const std::string& work, const std::vector<int>& map, int lineSize,
                unsigned char breakByte) const;
    void NearCombinations(const std::string& work, const std::vector<int>& map, int lineSize, unsigned char breakByte,
                          WhyNotReport* report) const;
    Failure Diagnose(int syllable, const std::string& work, int at, unsigned char breakByte) const;
    // The first syllable whose code ranges hold the two-byte character
    // `code`, as the compiler resolves a character; -1 when none does.
    int Covering(unsigned code) const;
    bool Holds(int syllable, unsigned code) const;
    std::string Pinyin(int syllable) const;
    // A few characters of the syllable, for "written as ...".
    std::string Examples(int syllable) const;
    void NoteCharacters(const std::string& work, const std::vector<int>& map, unsigned char breakByte,
                        WhyNotReport* report) const;

    std::vector<const CSyllable*> m_syllables;
    std::vector<Rule> m_rules;
    // Per two-byte code, the first syllable holding it, or -1: lines are
    // looked at character by character for every rule.
    std::vector<int> m_covering;
};

// The simplified form of a traditional character, both as code page 936
// codes (lead * 256 + trail); 0 when there is none.
unsigned SimplifiedForm(unsigned code);

}  // namespace chatsieve::tools

#endif
