// What a syllable of a rule matched, as the screener tells it: the names of
// the written forms, and the byte tests that tell them apart.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_SYLLABLEFORMS_H
#define CHATSIEVE_TOOLS_CHATSIEVE_SYLLABLEFORMS_H

#include <string>

namespace chatsieve::tools {

// The written forms a syllable matches in, as --explain and scan name them:
// a character the rule writes, a traditional or simplified counterpart of
// one, another character of the same syllable, pinyin in ASCII letters, in
// full-width letters, and a split form (a character written as its parts).
extern const char kFormCharacterName[];
extern const char kFormVariantName[];
extern const char kFormHomophoneName[];
extern const char kFormPinyinName[];
extern const char kFormFullWidthName[];
extern const char kFormSplitName[];

// Whether the code page 936 text holds `character` as one of its characters.
bool HoldsCharacter(const std::string& text, const std::string& character);

// Whether every character of `bytes` is a full-width letter (Ａ-Ｚ, ａ-ｚ):
// the rows the compiler adds for full-width pinyin.
bool IsFullWidthLetters(const std::string& bytes);

// Whether the two-byte character `bytes` is a traditional or simplified
// counterpart of a character of `text`, as the compiler pairs them.
bool IsVariantIn(const std::string& text, const std::string& bytes);

// Whether the first word.size() bytes of `text` are `word`, ASCII letters in
// either case.
bool EqualsIgnoringCase(const char* text, const std::string& word);

}  // namespace chatsieve::tools

#endif
