// English words written where a word-list entry's pinyin would be. Written
// out in letters, the pinyin of some entries is an English word (李克 reads
// "like", 马的 "made"), and English text then matches them: on 108,641 lines
// of innocent prose they were a tenth of the lines a team's list flagged. The
// compiler lets such a word through for the entries it spells, as an allowed
// expression limited to them, unless the list's row of lists.tsv asks for
// every reading (english column `catch`). The words come from a dictionary
// (tools/english/english.tsv, generated).
#ifndef CHATSIEVE_TOOLS_COMPILER_ENGLISHWORDS_H
#define CHATSIEVE_TOOLS_COMPILER_ENGLISHWORDS_H

#include <string>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// Whether the letters, in any case, are an English word of the dictionary.
bool IsEnglishWord(const std::string& letters);

// The letters a phrase written in characters reads as, lower case ("like"
// for 李克); empty when some part of it is not a character read as pinyin.
std::string PinyinOf(const RuleSource& phrase, const RuleSetSource& rules);

// Appends an allowed expression for each English word that the pinyin of a
// word-list entry spells, limited to the entries that spell it (as many rows
// as the limit on rule rows an expression names needs). Entries of level 0
// and those of lists that catch English words are left alone.
void AllowEnglishReadings(RuleSetSource* rules);

}  // namespace chatsieve::tools

#endif
