// PackageRows: the rows a rule set compiles to. Each rule gives more than
// one row, so that what players write in other forms is caught too:
//
//  - a syllable part with extra characters (variants, a character read as
//    another syllable; PartRef::extra) gets a syllable row of its own: the
//    syllable's pinyin, split form and ranges, plus those characters;
//  - pinyin in full-width letters (ＷＡＩ ＧＵＡ, ｗａｉ ｇｕａ) is matched by
//    syllable rows whose split form is the pinyin in full-width upper-case or
//    lower-case letters. A syllable without a split form of its own takes the
//    upper-case form in its place; one with a split form needs another row.
//
// So a rule gives a main row (characters, pinyin, split forms, full-width
// upper case where no split form is in the way), a row in full-width upper
// case when one of its syllables has a split form, and a row in full-width
// lower case: two or three rows, always next to each other and in the
// rule's order. A combination's row takes the row of the same kind of each
// phrase it names (the main row where that phrase has none of the kind).
// Added syllable rows follow the syllable table's own rows, in order of first
// use, each made once. Rows after a rule's first carry its id and text too.
#ifndef CHATSIEVE_TOOLS_COMPILER_PACKAGEROWS_H
#define CHATSIEVE_TOOLS_COMPILER_PACKAGEROWS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

struct SyllableRow {
    std::string pinyin;
    std::vector<CodeRange> ranges;
    bool hasSplit = false;
    std::string split;     // code page 936
    int derivedFrom = -1;  // the syllable table's row it was made from; -1: it is that row
    // A unit of written-mode phrases; derivedFrom is then the syllable of
    // its reading, -1 when it has none.
    bool written = false;
};

struct RuleRow {
    const RuleSource* rule = nullptr;
    int mainRow = -1;                // for a row after the rule's first: the first's row; -1: it is the first
    std::vector<std::int32_t> refs;  // rule references, as the loader reads them
};

struct PackageRows {
    std::vector<SyllableRow> syllables;
    std::vector<RuleRow> phrases;
    std::vector<RuleRow> combos;
    // For each rule of the source, the 0-based rows it gave, first one first.
    std::vector<std::vector<int>> phraseRows;
    std::vector<std::vector<int>> comboRows;
};

PackageRows LayOutRows(const RuleSetSource& rules);

// How many rows a phrase or combination gives (2 or 3; 1 in a rule set that
// folds full-width letters, FoldsFullWidth).
int RowCount(const RuleSource& rule, bool isCombo, const RuleSetSource& rules);
// How many phrases, counted in table order, get their full-width rows. Rules
// refer to phrases by row, so every phrase keeps its main row and full-width
// rows are given while all phrase rows stay within what a reference names;
// the phrases after those have their main row only.
std::size_t PhrasesWithFullWidthRows(const RuleSetSource& rules);

}  // namespace chatsieve::tools

#endif
