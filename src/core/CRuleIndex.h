// CRuleIndex: finds, for a stripped text, the few rules that can possibly
// match it, so that a check runs the rules' own Match on those alone.
//
// A rule can match only if every syllable it uses (its own, or its parts')
// starts at some byte of the text; the index finds those syllables in one pass
// over the text and counts, per rule, how many of its syllables were found.
// The candidates are then tried in checking order with the rules' own Match,
// so the rule that decides, its level and its match are exactly those of
// trying every rule in turn.
//
// Build once after the rules are ordered; Check any number of times. The
// index holds non-owning pointers to the rules and syllables, and must be
// Reset before they are destroyed. All memory comes from the allocation seam;
// Build reports failure as false, and the filter then checks without it.
#ifndef CHATSIEVE_CORE_CRULEINDEX_H
#define CHATSIEVE_CORE_CRULEINDEX_H

#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"

namespace chatsieve {

class CMatcher;
class CSyllable;

class CRuleIndex {
public:
    CRuleIndex() = default;
    CRuleIndex(const CRuleIndex&) = delete;
    CRuleIndex& operator=(const CRuleIndex&) = delete;

    // Indexes `rules` (in checking order) over the syllables of `syllables`.
    bool Build(const CMatcherList& rules, const CMatcherList& syllables);
    void Reset();
    bool Ready() const { return m_ready; }

    // The first rule, in checking order, that matches `text` with a level not
    // above `ceiling`: its level, with its offset and length written; 0 when
    // none does. `text` is the stripped working text.
    int Check(char* text, int ceiling, int* offset, int* length);

private:
    struct TrieNode {
        unsigned value;   // character value on the edge into this node
        int firstChild;   // -1: none
        int nextSibling;  // -1: none
        int firstEnd;     // into m_ends: syllables whose form ends here; -1: none
    };
    struct TrieEnd {
        int syllable;
        int next;
    };
    struct CodeRange {
        unsigned char low, high;
        int syllable;
    };
    struct Trie {
        TArray<TrieNode> nodes;  // node 0 is the root
        TArray<int> rootByByte;  // child of the root for single-byte values
        TArray<TrieEnd> ends;
    };

    static int FindChild(const Trie& trie, int node, unsigned key);
    int SyllableId(const CMatcher* syllable) const;
    // Appends the ids of the syllables `rule` needs; false when it is of a
    // kind the index does not know.
    bool AddRuleSyllables(CMatcher* rule, TArray<int>& ids) const;
    bool InsertForm(Trie& trie, const char* form, bool fold, int syllable);
    void MarkFormsAt(const Trie& trie, const unsigned char* text, bool fold);
    void MarkPresent(int syllable);

    bool m_ready = false;
    struct AddressId {
        const CMatcher* address;
        int id;
    };
    TArray<CMatcher*> m_rules;        // checking order
    TArray<AddressId> m_syllableIds;  // sorted by address
    TArray<int> m_alwaysPresent;          // syllables with an empty form
    TArray<int> m_alwaysCandidates;       // rules of unknown kind
    TArray<int> m_leadStart;              // 257 entries into m_codeRanges
    TArray<CodeRange> m_codeRanges;       // by lead byte
    Trie m_romanised;                     // folded values
    Trie m_split;                         // exact values
    TArray<int> m_postingStart;           // per syllable, into m_postings
    TArray<int> m_postings;               // rule ordinals
    TArray<int> m_need;                   // distinct syllables per rule

    // Per-check scratch, stamped with m_generation instead of being cleared.
    unsigned m_generation = 0;
    TArray<unsigned> m_syllableStamp;
    TArray<unsigned> m_ruleStamp;
    TArray<int> m_ruleCount;
    TArray<int> m_candidates;
};

}  // namespace chatsieve

#endif
