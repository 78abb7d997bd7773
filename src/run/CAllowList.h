// CAllowList: the allowed expressions of a rule set, and the automaton that
// finds them in a stripped line. Inside an occurrence of an allowed
// expression, the rules it covers see a break: Hide overwrites the
// occurrence's bytes with a byte that no syllable's pinyin or split form holds
// and that starts no two-byte character, so no syllable can match on or across
// it. Offsets are kept, so the PositionMap still leads every byte back to the
// host's line, and masking can never reach the hidden bytes.
//
// An expression written twice is one expression: Build folds entries that
// strip to the same text into the first of them, which then covers the rules
// of all. Where several occurrences end at the same byte, the hidden bytes are
// those of the longest that covers every rule, and only entries limited to
// some rules that reach further back count besides; so a line costs one step
// of the automaton per byte and at most one hit per byte, plus the limited
// ones. The automaton reads a two-byte character's second byte as a
// symbol of its own, so an occurrence can only start where a character does.
//
// Order: Add each expression while loading (the bytes as written, the rules it
// is limited to, none for all), then Build once at Init after the rules are in
// checking order; then Hide once per check. Reset before the rules are
// destroyed (entries point to them). Memory comes from the allocation seam:
// Add and Build report failure as false; Hide reports it as -1 with the text
// untouched, so the caller can check the line as if nothing were allowed.
// Not thread-safe, like the filter.
#ifndef CHATSIEVE_RUN_CALLOWLIST_H
#define CHATSIEVE_RUN_CALLOWLIST_H

#include <cstdint>

#include "build/CTrie.h"
#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"
#include "platform/Compiler.h"

namespace chatsieve {

class CMatcher;
class CRuleIndex;

class CAllowList {
public:
    // One occurrence found by the last Hide, or a run of them: bytes [offset,
    // offset + length) of the stripped text, of entry `entry` (0-based, in
    // Add order).
    struct Hit {
        int offset;
        int length;
        int entry;
    };

    CAllowList() = default;
    ~CAllowList() { Reset(); }
    CAllowList(const CAllowList&) = delete;
    CAllowList& operator=(const CAllowList&) = delete;

    // Copies `text` (code page 936, NUL-terminated) and the `ruleCount` rules it
    // is limited to (0: every rule). A text that is empty or ends in a lone lead
    // byte is refused.
    bool Add(const char* text, CMatcher* const* rules, int ruleCount);
    // Strips every expression through `skipSets`, as a line is stripped, picks
    // the break byte from `syllables` and builds the automaton. An expression
    // that strips to nothing hides nothing.
    bool Build(CMatcherList& skipSets, const CMatcherList& syllables);
    void Reset();

    bool Empty() const { return m_entries.Empty(); }
    std::size_t Count() const { return m_entries.Size(); }
    // The entry's text as added, and whether it covers every rule.
    const char* Text(int entry) const { return m_entries[static_cast<std::size_t>(entry)].text; }
    bool CoversAll(int entry) const { return m_entries[static_cast<std::size_t>(entry)].ruleCount == 0; }
    bool Covers(int entry, const CMatcher* rule) const;
    unsigned char BreakByte() const { return m_break; }
    // For tests: a memo of 2^bits steps (1 to 12), made afresh, so that
    // steps share its slots all the time.
    bool SetMemoBits(unsigned bits);

    // Finds the occurrences in the stripped `text` (starting on a character,
    // letters in any case) that change what a rule sees, and hides those of
    // entries that cover every rule; those overlap or touch make one hit (of
    // the first entry), so there are never more hits than bytes of the text
    // but for entries limited to some rules. Returns 1 when an occurrence of an entry
    // limited to some rules was found (the text then needs a view per rule),
    // else 0; -1 when memory ran out, with `text` as it was and no hits. A
    // text without occurrences is left as it was.
    int Hide(char* text);
    const TArray<Hit>& Hits() const { return m_hits; }
    // On: Hide records every occurrence of every entry, for tools that list
    // them; the bytes hidden are the same.
    void RecordEveryHit(bool on) { m_everyHit = on; }
    // After Hide returned 1: the level of the first of `rules` (in checking
    // order) that matches, at a level not above `ceiling`, its own view of
    // `text`: the text with the occurrences of the limited entries covering
    // it hidden as well. 0 when none does; the match goes to *offset and
    // *length as in a check. With a ready `index` (built over `rules`), only
    // its candidates and the rules whose view differs from `text` are tried.
    // `cut` and `removed` as for CRuleIndex::FindAll.
    int CheckViews(const CMatcherList& rules, CRuleIndex* index, char* text, int ceiling, int* offset, int* length,
                   int cut = -1, int removed = 0);
    // Rule searches CheckViews has run so far: tests bound them per line.
    unsigned long long RulesTried() const { return m_rulesTried; }
    // `rule`'s view of `text` (as Hide left it): a copy, valid until the next
    // call, with the limited entries covering `rule` hidden as well; null when
    // that is `text` itself, or when no copy can be made.
    char* ViewFor(const CMatcher* rule, const char* text);

private:
    struct Entry {
        char* text;        // as added
        char* stripped;    // as the automaton looks for it
        CMatcher** rules;  // null with ruleCount 0; sorted once built
        int ruleCount;
    };
    // What the automaton hangs on a node of the trie.
    struct Node {
        std::int32_t fail;
        // This or the nearest node on the fail chain that ends an entry; one
        // that ends an entry covering every rule; one that ends a limited
        // entry. -1: none.
        std::int32_t output;
        std::int32_t outputAll;
        std::int32_t outputLimited;
        std::int32_t entry;  // the entry ending here (duplicates folded into it); -1
        std::int32_t depth;  // in bytes
    };

    // The node where `stripped` ends, made as needed; -1 when out of memory.
    std::int32_t Insert(const char* stripped);
    bool Fold(const TArray<std::int32_t>& owner);
    bool Link();
    // Out of line: Hide takes the root's steps itself, and its loop keeps
    // its registers for them.
    CHATSIEVE_NOINLINE std::int32_t Step(std::int32_t node, unsigned symbol) const;
    // Step through a memo of the steps taken lately: a step off the root's
    // path follows fail links, a lookup each, and text repeats its steps.
    std::int32_t MemoStep(std::int32_t node, unsigned symbol);
    void Overwrite(char* text, const Hit& hit) const;
    bool AddHit(std::size_t end, std::int32_t node);

    TArray<Entry> m_entries;
    // Symbols: a one-byte character (letters folded) or a two-byte
    // character's first byte as it is, its second byte plus 256; the root
    // finds every symbol by label.
    CTrie m_trie;
    TArray<Node> m_nodes;  // by trie node
    // By a character's first byte: 0 when some expression starts with it,
    // else how far the root moves on (2 for a lead byte).
    unsigned char m_rootSkip[256] = {};
    struct MemoSlot {
        std::int32_t node;  // -1: empty
        std::uint32_t symbol;
        std::int32_t next;
    };
    static constexpr unsigned kMemoBits = 12;
    unsigned m_memoBits = kMemoBits;
    TArray<MemoSlot> m_memo;  // direct-mapped; empty when it could not be made
    TArray<Hit> m_hits;
    TArray<char> m_view;           // a rule's view of the text Hide saw
    TArray<unsigned> m_entrySeen;  // per entry, by m_seenGeneration
    unsigned m_seenGeneration = 0;
    TArray<int> m_tryOrder;  // CheckViews: rule ordinals to try
    unsigned long long m_rulesTried = 0;
    unsigned char m_break = 1;
    bool m_built = false;
    bool m_everyHit = false;
};

}  // namespace chatsieve

#endif
