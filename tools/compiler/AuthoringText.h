// Reading the text of the authoring tables' fields: words with their
// places, hexadecimal code ranges, letters, the syllables a phrase writes, a
// reading marked after a character, and a suggestion for a misspelt name.
// The compiler's table readers share them.
#ifndef CHATSIEVE_TOOLS_COMPILER_AUTHORINGTEXT_H
#define CHATSIEVE_TOOLS_COMPILER_AUTHORINGTEXT_H

#include <cstddef>
#include <string>
#include <vector>

#include "compiler/CAuthoringTable.h"
#include "compiler/CharacterReading.h"
#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// Not empty, and ASCII letters only.
bool IsAllLetters(const std::string& text);

// `digits` hexadecimal digits, either case; -1 otherwise.
int ParseHex(const std::string& text, std::size_t digits);

// Splits "X" or "X-Y" into its two ends (X twice for a single value).
void SplitRange(const std::string& text, std::string* first, std::string* last);

struct Token {
    std::string text;
    SourcePos pos;
};

// The space-separated words of a field, with their places.
std::vector<Token> SplitWords(const AuthoringField& field);

// The syllables written in `text` from `from` on, as a phrase is read: a
// run of letters is one, a reading in parentheses belongs to its character,
// any other character is one, and spaces and apostrophes separate.
std::size_t CountSyllablesWritten(const std::string& text, std::size_t from);

// "; did you mean 'gold'?" when one phrase id or syllable is a single edit
// away from `word`, else nothing.
std::string Suggestion(const std::string& word, const RuleSetSource& rules);

// A reading written right after a character, as in 行(hang): moves `*next`
// past it and sets the character's forced reading. No parenthesis there is
// no reading; a malformed one is an error.
bool ReadMark(const AuthoringField& field, std::size_t* next, WrittenCharacter* written,
              std::vector<Diagnostic>* diagnostics);

}  // namespace chatsieve::tools

#endif
