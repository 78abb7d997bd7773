// CAllowList: the allowed expressions of a rule set, and the automaton that
// finds them in a stripped line. Inside an occurrence of an allowed
// expression, the rules it covers see a break: Hide overwrites the
// occurrence's bytes with a byte that no syllable's pinyin or split form holds
// and that starts no two-byte character, so no syllable can match on or across
// it. Offsets are kept, so the PositionMap still leads every byte back to the
// host's line, and masking can never reach the hidden bytes.
//
// Order: Add each expression while loading (the bytes as written, the rules it
// is limited to, none for all), then Build once at Init after the rules are in
// checking order; then Hide once per check. Reset before the rules are
// destroyed (entries point to them). Memory comes from the allocation seam:
// Add and Build report failure as false. Not thread-safe, like the filter.
#ifndef CHATSIEVE_CORE_CALLOWLIST_H
#define CHATSIEVE_CORE_CALLOWLIST_H

#include <cstdint>

#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"

namespace chatsieve {

class CMatcher;

class CAllowList {
public:
    // One occurrence found by the last Hide: bytes [offset, offset + length)
    // of the stripped text, of entry `entry` (0-based, in Add order).
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

    // Finds every occurrence in the stripped `text` (starting on a character,
    // letters in any case) and hides those of entries that cover every rule.
    // Returns 1 when an occurrence of an entry limited to some rules was
    // found (the text then needs a view per rule), else 0; -1 when the hits
    // could not be recorded. A text without occurrences is left as it was.
    int Hide(char* text);
    const TArray<Hit>& Hits() const { return m_hits; }
    // After Hide returned 1: the level of the first of `rules` (in checking
    // order) that matches, at a level not above `ceiling`, its own view of
    // `text`: the text with the occurrences of the limited entries covering
    // it hidden as well. 0 when none does or a view cannot be made; the
    // match goes to *offset and *length as in a check.
    int CheckViews(const CMatcherList& rules, char* text, int ceiling, int* offset, int* length);
    // `rule`'s view of `text` (as Hide left it): a copy, valid until the next
    // call, with the limited entries covering `rule` hidden as well; null when
    // that is `text` itself, or when no copy can be made.
    char* ViewFor(const CMatcher* rule, const char* text);

private:
    struct Entry {
        char* text;        // as added
        char* stripped;    // as the automaton looks for it
        CMatcher** rules;  // null with ruleCount 0
        int ruleCount;
    };
    // A trie node; children are a sibling chain (the root's also a table).
    struct Node {
        std::int32_t child;
        std::int32_t sibling;
        std::int32_t fail;
        std::int32_t output;  // this or the nearest node on the fail chain that ends entries; -1
        std::int32_t entry;   // first entry ending here; -1
        std::int32_t depth;
        unsigned char byte;
    };

    bool Insert(const char* stripped, int entry);
    bool Link();
    bool IndexEdges();
    std::int32_t Child(std::int32_t node, unsigned char byte) const;
    std::int32_t Step(std::int32_t node, unsigned char byte) const;
    void Overwrite(char* text, const Hit& hit) const;

    TArray<Entry> m_entries;
    TArray<std::int32_t> m_nextSameText;  // per entry: the next entry with the same stripped text
    TArray<Node> m_nodes;
    std::int32_t m_rootNext[256] = {};  // root's transitions, 0 for none
    // Once the trie is complete, every other edge in an open-addressed table
    // (a slot: node << 8 | byte, then the child; node 0 marks a free slot),
    // so a step costs one probe or two instead of a walk over the siblings.
    struct Edge {
        std::uint32_t key;
        std::int32_t child;
    };
    TArray<Edge> m_edges;
    std::size_t m_edgeMask = 0;  // slots - 1; 0 while there is no table
    TArray<Hit> m_hits;
    TArray<unsigned char> m_starts;
    TArray<char> m_view;  // per byte of the text Hide sees: starts a character
    unsigned char m_break = 1;
    bool m_built = false;
};

}  // namespace chatsieve

#endif
