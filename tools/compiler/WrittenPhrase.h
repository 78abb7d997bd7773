// Reading a phrase in the written mode: the expression is taken character by
// character, as a word list writes it, and each character becomes a unit
// that matches it as written rather than its syllable.
//
//  - A two-byte character matches itself and its traditional and simplified
//    forms (whether or not a syllable holds them), its pinyin in any letter
//    case and its split form; no other character of the same sound. Its
//    pinyin is the one a dictionary word gives it, the one marked after it
//    (屌(diao)), that of the syllable holding it or one of its forms, or its
//    main reading; a character with none of these matches as written only.
//  - A Latin letter or digit matches itself, in either case and in full
//    width; a run of them is a literal, never read as pinyin. Neither a
//    Latin run nor pinyin matches inside a longer run of letters and digits
//    (EdgeFlags).
//  - A filler (what an ignore-set strips from lines) is stripped here too;
//    any other single-byte character matches itself and its full-width form.
// Any character of code page 936 can be written. Units are shared: each is
// made once in RuleSetSource::written, in order of first use.
#ifndef CHATSIEVE_TOOLS_COMPILER_WRITTENPHRASE_H
#define CHATSIEVE_TOOLS_COMPILER_WRITTENPHRASE_H

#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// Reads `phrase->text` (UTF-8, written at `phrase->textPos`) into parts of
// kind kWritten and their choices, adding new units to `rules->written`.
// False, with errors appended, when a character is outside code page 936,
// nothing is left after the fillers, or the phrase has too many units.
bool ReadWrittenPhrase(RuleSetSource* rules, RuleSource* phrase, std::vector<Diagnostic>* diagnostics);

// The edges the filter keeps for a phrase: bit 1, a match that begins with a
// letter or digit (Latin written as such, or pinyin) must not have one right
// before it; bit 2, one that ends with a letter or digit must not have one
// right after it. Every written phrase has both; sound phrases none.
int EdgeFlags(const RuleSource& phrase, const RuleSetSource& rules);

}  // namespace chatsieve::tools

#endif
