// How lint compares rules without running them: what must occur in a text
// for a rule to match (its units, runs of syllable elements), whether one
// rule matches wherever another does, and where a syllable's written forms
// can stand in a text. Each answer follows from the filter's way of
// searching, so a warning built on it is never a guess.
#ifndef CHATSIEVE_TOOLS_COMPILER_RULECOVERAGE_H
#define CHATSIEVE_TOOLS_COMPILER_RULECOVERAGE_H

#include <string>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// A syllable part as far as comparing rules goes: its syllable and the
// characters it matches beyond the syllable's ranges.
struct Element {
    int index = 0;                // a row of the syllable table; -1 - n: the written-mode unit n
    std::vector<unsigned> extra;  // lead << 8 | trail, ascending
};

// A run of syllables: a phrase, or a part of a combination.
using Run = std::vector<Element>;

// The element a syllable or written-mode part of a rule compares as.
Element ElementOf(const PartRef& part);

// What must occur in a text for a rule to match: one run for a phrase, one
// per part for a combination.
std::vector<Run> Units(const RuleSource& rule, bool isCombo, const RuleSetSource& rules);

// True when `run` begins with `prefix`, element by element, each element of
// `prefix` matching wherever its counterpart does.
bool IsPrefix(const Run& prefix, const Run& run);

// True when every text that `later` matches is matched by `earlier` too. A
// phrase searches for its first syllable and then tests the rest right
// behind it, moving on the same way after a failure, so a run is found
// wherever a run that starts with it is found.
bool Covers(const std::vector<Run>& earlier, const std::vector<Run>& later);

// True when `form` and `text` agree on the bytes where they overlap with
// `form` placed at `at` of `text` (`at` may be negative: the form starts
// before the text).
bool Overlaps(const std::string& form, const std::string& text, long at, bool fold);

// The syllable an element matches as: a row of the syllable table, or a
// written-mode unit (negative index) as a syllable of its own.
SyllableSource SyllableOf(const Element& e, const RuleSetSource& rules);

// True when some written form of `syllable` can stand on a byte of `text`:
// starting inside it, or running into it from before.
bool WrittenInside(const SyllableSource& syllable, const std::string& text);

// True when `text` occurs in `expression` starting on a character, letters in
// any case: the way an allowed expression is found in a line.
bool HoldsAt(const std::string& expression, const std::string& text);

// True when, after a failed attempt at an occurrence of `syllable`, the
// search's step of two bytes lands on a character of the text: every form
// is two bytes or more and its first two bytes are not a letter and the
// first byte of a two-byte character. A search whose first syllable is such
// then only ever stands on characters.
bool StepsOnCharacters(const SyllableSource& syllable);

// True when no form of `before` can end in a single-byte character that a
// form of `first` begins with, letters in either case. Only then can an
// occurrence of `first` never start on the last byte of `before`, which is
// where the search for a phrase starting with `first` could fail and step
// past an occurrence that follows `before`.
bool CannotRunInto(const SyllableSource& before, const SyllableSource& first);

// Whether a rule can be judged: its row read without errors, and so did
// every phrase it names.
bool Judged(const RuleSource& rule, const RuleSetSource& rules);

}  // namespace chatsieve::tools

#endif
