// The process-wide containers. They are constructed empty when the library is
// loaded, in the order below, and destroyed in reverse order at unload, which
// frees list nodes and map storage only, never a matcher.
//
// One rule set per process: the loader fills the lists, the filter's Init
// moves the phrase and combination rules onto its own rule list, and Uninit
// destroys the syllables and empties everything. RuleRefs resolve by position
// in these lists, so only one filter may be loading or in use at a time, from
// one thread at a time.
#ifndef CHATSIEVE_MATCHERS_PROCESSLISTS_H
#define CHATSIEVE_MATCHERS_PROCESSLISTS_H

#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"

namespace chatsieve {

// Entry i: offset, in the text handed to the last ignore-set Match (or, after
// a whole check, in the text the check received), of byte i of the compacted
// text. Rebuilt by every CSkipSet::Match.
using PositionMap = TArray<int>;

extern PositionMap g_positionMap;
// Only while the loaded package folds characters (build/CFoldTable.h): per
// byte of the stripped text, kFoldWide when it stands for a folded two-byte
// character, kFoldAfterGap when fillers were stripped right before it,
// kFoldSecond when it is the second byte of a two-byte character.
// Empty otherwise; written-mode edges read it, and masking where a
// character starts.
constexpr unsigned char kFoldWide = 1;
constexpr unsigned char kFoldAfterGap = 2;
constexpr unsigned char kFoldSecond = 4;
extern TArray<unsigned char> g_foldMarks;
extern CMatcherList g_syllables;
extern CMatcherList g_phrases;
extern CMatcherList g_combos;

// Called once when the library is unloaded, before the containers above are
// destroyed, so whatever still points into them can be freed first.
extern void (*g_onUnload)();

}  // namespace chatsieve

#endif
