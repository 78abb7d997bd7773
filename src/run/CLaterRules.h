// CLaterRules: where the phrase rules after a masking pass's decider may
// still match in a line, so that when the decider's matches run out the next
// decider is found without checking the whole line again.
//
// A phrase can match only where its syllables follow one another from a
// place a search may try. Such runs are kept by the rule index's trie node
// their syllables lead to, which the phrase rules reading just those
// syllables share, each by the position of its last byte in the stripped
// text the passes began with: the runs of the whole line, then those found
// around each cut. A cut that takes a byte of a run's shortest span ends the
// run. A rule none of whose runs is whole cannot match, and a cut can give
// it a run only across the cut, where the bytes around it are searched again
// and their runs added here.
//
// Prepare once per rule index; Begin per line (the first takes the state of
// every node), then Add and Cut as the passes go. The index must outlive the object's use. Memory comes from the
// allocation seam: a call that returns false has left the object to be
// Forgotten. One thread at a time, like the filter.
#ifndef CHATSIEVE_RUN_CLATERRULES_H
#define CHATSIEVE_RUN_CLATERRULES_H

#include <climits>

#include "matchers/TArray.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

class CLaterRules {
public:
    using Run = CRuleIndex::Ending;  // .end: the byte after the run's last

    CLaterRules() = default;
    CLaterRules(const CLaterRules&) = delete;
    CLaterRules& operator=(const CLaterRules&) = delete;

    // The rule index whose nodes the runs lead to, and a bound on the bytes
    // a run of any of them takes at least.
    void Prepare(const CRuleIndex& index, int longest);
    void Reset();
    bool Known() const { return m_known; }

    // Takes the runs of a line (any order; `runs` is sorted in place), for
    // the rules after `decider` and the decider itself.
    bool Begin(TArray<Run>& runs, int decider);
    // A run found around a cut: its first byte and the byte after its last,
    // in the stripped text (bytes cut before it was found may lie between).
    struct Span {
        int start;
        int end;
        int node;
    };
    bool Add(const Span* runs, std::size_t count, int decider);
    // The fewest bytes the syllables leading to `node` take (after Begin).
    int Shortest(int node);
    // Bytes [from, to) of the stripped text were cut out.
    void Cut(int from, int to);
    // Whole runs of rule `ordinal`.
    int Live(int ordinal) const {
        const int node = m_index->RuleNode(ordinal);
        return node < 0 ? 0 : m_nodes[static_cast<std::size_t>(node)].live;
    }
    // The first rule after `ordinal` with a whole run; INT_MAX when none.
    int NextAfter(int ordinal);
    // No run of rule `ordinal` that is still whole ends before this
    // position (INT_MAX: none is whole).
    int FirstEnd(int ordinal);
    void Forget();

private:
    struct Entry {
        int start;  // no run is shorter: bytes [start, end) are its
        int end;
        int node;
        int next;  // the node's next entry in the same array, -1: none
        bool cut;
    };
    struct Batch {
        std::size_t begin;
        std::size_t end;  // entries [begin, end) of m_added
        int first;        // their smallest start and largest end
        int last;
    };
    struct NodeState {
        int shortest = -1;  // the fewest bytes its syllables take; -1: not asked yet
        int live = 0;
        int first = -1;  // into m_runs, the first entry not known cut
        int added = -1;  // into m_added, its entries, the latest first
        void Clear() {
            live = 0;
            first = -1;
            added = -1;
        }
    };
    bool Allocate();
    void CutSorted(Entry* entries, std::size_t count, int from, int to);
    void CutEntry(Entry& entry);
    // A run of `node` became whole: its rules after `decider` are asked.
    bool Revive(int node, int decider);
    bool InsertLater(int ordinal);

    const CRuleIndex* m_index = nullptr;
    bool m_known = false;
    TArray<NodeState> m_nodes;  // per trie node
    int m_longest = 0;          // no node's `shortest` is larger
    TArray<Entry> m_runs;       // the line's, sorted by end
    TArray<Entry> m_added;      // around cuts, in batches
    TArray<Batch> m_batches;
    TArray<int> m_later;  // rule ordinals with runs, ascending; from m_laterAt on still to ask
    std::size_t m_laterAt = 0;
};

}  // namespace chatsieve

#endif
