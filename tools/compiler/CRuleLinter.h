// CRuleLinter: warnings about a rule set that compiles but will not work as
// its author meant. Every warning is sound: it is given only when the
// filter's way of matching guarantees the problem, never on a guess.
//
//  - a level above 63, the top of the range rule data keeps to;
//  - a phrase of level 0 that no combination uses, a combination of level 0
//    (level-0 rules are never tried on their own);
//  - a rule that can never decide a line's level: an earlier rule in checking
//    order (higher level, or the same level and tried first: phrases before
//    combinations, each in table order) matches wherever it does, a
//    duplicate being the plainest case. "Matches wherever" is judged by
//    syllable rows: a run of syllables occurs wherever a run that starts with
//    it occurs, and a combination needs every part; a phrase holding an
//    earlier phrase further in counts where the earlier one's search is sure
//    to reach it (between two word-list entries, only a note in lint);
//  - a phrase that starts with a syllable whose pinyin or split form is one
//    byte long: after a failed attempt the search moves on two bytes, so it
//    can step past a real occurrence or into the middle of a character;
//  - syllables whose code ranges overlap (a character resolves to the first);
//  - ignore-set ranges that strip characters a syllable is written with, and
//    single-byte ranges over lead bytes, which never apply;
//  - an ignore-set with no ranges;
//  - a character with several readings whose reading no dictionary word and
//    no mark gave (a guess), and variants with no room in a syllable row;
//  - a word-list entry that is one character, one letter or a run of up to
//    four digits: such entries are found in much innocent text;
//  - an allowed expression in which no syllable of the rules it covers is
//    written (it hides nothing from them), and one that holds the whole
//    written expression of a phrase it covers (that phrase never catches it
//    written that way).
// Explain gives notes (not warnings) on what the compiler made of a rule's
// characters: the readings words gave, the variants added and the rows the
// rule compiles to; and on word-list entries whose pinyin is an English word.
#ifndef CHATSIEVE_TOOLS_COMPILER_CRULELINTER_H
#define CHATSIEVE_TOOLS_COMPILER_CRULELINTER_H

#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

class CRuleLinter {
public:
    // Appends the warnings for `rules` as far as the compiler read them: rows
    // with errors, and rules that name them, are passed over, so warnings
    // can be shown alongside the errors and none of them is a guess.
    // A list entry that another entry shadows is noted only with
    // `shadowNotes` (lint's way), and otherwise passed over.
    void Check(const RuleSetSource& rules, std::vector<Diagnostic>* diagnostics, bool shadowNotes = false);
    // Appends a note for each rule whose characters took readings from words
    // or marks, or variants.
    void Explain(const RuleSetSource& rules, std::vector<Diagnostic>* diagnostics);

private:
    void CheckReadings(const RuleSetSource& rules);
    void CheckLevels(const RuleSetSource& rules);
    void CheckShadowing(const RuleSetSource& rules);
    void CheckPhraseStarts(const RuleSetSource& rules);
    void CheckSyllableOverlap(const RuleSetSource& rules);
    void CheckIgnoreSets(const RuleSetSource& rules);
    void CheckAllowed(const RuleSetSource& rules);
    void CheckNoise(const RuleSetSource& rules);
    void NoteEnglishReadings(const RuleSetSource& rules);
    // `kind` groups findings of one sort in the tools' short output (see
    // Diagnostic::kind).
    void Warn(const SourcePos& pos, const char* kind, std::string message);
    void Note(const SourcePos& pos, const char* kind, std::string message);

    std::vector<Diagnostic>* m_diagnostics = nullptr;
    bool m_notes = false;  // CheckReadings gives notes (Explain), not warnings (Check)
    bool m_shadowNotes = false;
};

}  // namespace chatsieve::tools

#endif
