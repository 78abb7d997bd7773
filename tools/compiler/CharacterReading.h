// Reading the characters of a rule: which syllable each character written
// in a phrase (or as a combination part) stands for, and which further
// characters its part matches.
//
//  - A character stands for the syllable of its reading. A character with
//    several readings takes the one the word around it has in the word
//    dictionary (the longest word found first, left to right); the author
//    can force one by writing it after the character, as 行(hang). Otherwise
//    it takes the syllable whose ranges hold it, and the choice is recorded
//    as a guess.
//  - A character that no syllable holds stands for the syllable of its
//    simplified (or traditional) counterpart.
//  - The part also matches the character's counterparts that no syllable
//    holds (掛 for 挂), and the character itself when it takes another
//    syllable's reading (行 read hang). These extra characters go into the
//    part's own syllable row, beside the syllable's ranges, as far as the
//    three ranges a syllable row holds allow; what does not fit is left out
//    and recorded.
#ifndef CHATSIEVE_TOOLS_COMPILER_CHARACTERREADING_H
#define CHATSIEVE_TOOLS_COMPILER_CHARACTERREADING_H

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// One character as written in a rule, with its forced reading if any.
struct WrittenCharacter {
    SourcePos pos;
    std::uint32_t codePoint = 0;
    std::string marked;  // the reading written after it, "hang" in 行(hang); empty: none
    SourcePos markPos;
};

// Reads a run of characters written one after another (a word context),
// appending one part and one choice per character. False, with errors
// appended, when a character stands for no syllable or a forced reading
// names none.
bool ReadCharacters(const std::vector<WrittenCharacter>& run, const RuleSetSource& rules, std::vector<PartRef>* parts,
                    std::vector<CharacterChoice>* choices, std::vector<Diagnostic>* diagnostics);

// The syllable of a pinyin word in any letter case, or of the two-byte
// character lead/trail; -1 when none.
int SyllableByName(const std::string& name, const RuleSetSource& rules);
int SyllableByCode(unsigned char lead, unsigned char trail, const RuleSetSource& rules);

}  // namespace chatsieve::tools

#endif
