// CFoldTable: two-byte characters the filter reads as one single-byte
// character each, from a table that only packages with written-mode rules
// carry (full-width digits and letters as ASCII). Without that table the
// filter works exactly as before; with it, every check folds the stripped
// text in place after the ignore-sets, before allowed expressions and rules
// see it, and keeps the map back to the host's bytes whole: a folded byte
// stands for both bytes of its character, so masking writes a '*' over each.
//
// Ranges come from the loader (Add) and stay until Reset. Fold needs no
// memory beyond what the map already holds, except its width array, grown
// through the allocation seam; a failed growth makes the check find nothing.
#ifndef CHATSIEVE_BUILD_CFOLDTABLE_H
#define CHATSIEVE_BUILD_CFOLDTABLE_H

#include "matchers/TArray.h"

namespace chatsieve {

constexpr int kMaxFoldRanges = 64;

class CFoldTable {
public:
    // The characters lead:low..lead:high become to, to + 1, ...; false when
    // the range is malformed (not a lead byte, backwards, a result of 0 or a
    // lead byte, or beyond one byte) or the table is full.
    bool Add(unsigned char lead, unsigned char low, unsigned char high, int to);
    bool Empty() const { return m_count == 0; }
    void Reset();

    // Folds `text` (stripped, NUL-terminated) in place. `map` leads each byte
    // of it back to the checked text; afterwards it leads each byte of the
    // folded text there, and `marks[i]` holds kFoldWide where byte i stands
    // for a folded two-byte character and kFoldAfterGap where the checked
    // text had fillers right before it (ProcessLists.h). False when memory
    // ran out.
    bool Fold(char* text, TArray<int>& map, TArray<unsigned char>& marks) const;
    // The folded byte of the two-byte character lead:trail, or 0.
    unsigned char Folded(unsigned char lead, unsigned char trail) const;

private:
    struct Range {
        unsigned char lead;
        unsigned char low;
        unsigned char high;
        unsigned char to;
    };
    Range m_ranges[kMaxFoldRanges] = {};
    int m_count = 0;
    // Lead bytes some range starts with: most characters are passed over by
    // one load.
    bool m_leads[256] = {};
};

}  // namespace chatsieve

#endif
