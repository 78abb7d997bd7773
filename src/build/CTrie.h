// CTrie: the shape of a trie whose edges carry small numbers (a byte, a
// character's value, an automaton's symbol), built once at Init and then only
// read. Nodes are numbers: 0 is the root, and each node Add makes takes the
// next number, so a child's number is always above its parent's. The trie
// holds nothing but the shape: each user keeps what it hangs on a node (the
// forms ending there, failure links, outputs) in arrays of its own indexed by
// node, and can keep them in step by appending whenever Add hands out the
// number just past their end.
//
// The root's edges whose labels lie below the root width sit in a table by
// label, so the first step of a walk, by far the most frequent one, is one
// load. Every other edge sits in an open-addressed table keyed by (node,
// label) (PairTable.h), at most half full, grown as nodes are added, so
// Child answers in one probe or two while the trie is built as well as after.
//
// Order: Start, then Add the paths; FirstChild and NextSibling list a node's
// children (the newest first) for walks breadth first, unless the trie was
// started without lists; then Freeze, which gives the child lists back: only
// Child, ChildBelowWidth, RootChild and Size answer after it.
// Reset gives everything back; Start begins a new trie. The trie owns its
// tables; memory comes from the allocation seam: Start reports failure as
// false, Add as -1, leaving the trie as it was. Building is not thread-safe;
// once built, the trie may be read from several threads at once.
#ifndef CHATSIEVE_BUILD_CTRIE_H
#define CHATSIEVE_BUILD_CTRIE_H

#include <cstddef>

#include "build/PairTable.h"
#include "matchers/TArray.h"
#include "platform/Compiler.h"

namespace chatsieve {

class CTrie {
public:
    CTrie() = default;
    CTrie(const CTrie&) = delete;
    CTrie& operator=(const CTrie&) = delete;

    // Whether FirstChild, NextSibling and Label answer while building. A
    // trie only ever walked by Child keeps no lists: it builds faster, in
    // less memory.
    enum class Lists { kKept, kNone };

    // Empties the trie to its root. The root's children labelled below
    // `rootWidth` are found by label; the node list and the edge table start
    // with room for `expectedNodes` nodes (the edges into all but the root),
    // so a trie that stays within it allocates nothing more until Freeze.
    bool Start(std::size_t rootWidth, std::size_t expectedNodes = 0, Lists lists = Lists::kKept);
    // The child of `parent` labelled `label`, made when there is none; -1 when
    // memory ran out. Not after Freeze. The lookup is inline, so that paths
    // sharing long prefixes cost a probe a step; one probe also finds the
    // slot a new edge takes.
    int Add(int parent, unsigned label) {
        if (parent == 0 && label < m_rootWidth) {
            const int found = m_root[label];
            return found >= 0 ? found : Make(parent, label, nullptr);
        }
        PairSlot& slot = FindPairSlot(m_edges, PairKey(static_cast<std::size_t>(parent), label));
        if (slot.value >= 0) return slot.value;
        // Most new nodes of a trie without lists fit the edge table as it
        // is: they are linked here, without Make's call.
        if (!m_lists && 2 * (m_edgeCount + 1) <= m_edges.Size() && m_size < kMaxNodes)
            return Link(parent, label, &slot);
        return Make(parent, label, &slot);
    }
    // Done adding: gives back the child lists.
    void Freeze() { m_nodes.Reset(); }
    void Reset();

    // The child of `node` labelled `label`, -1 for none. Only after Start.
    int Child(int node, unsigned label) const {
        if (node == 0 && label < m_rootWidth) return m_root[label];
        return ProbePair(m_edges, PairKey(static_cast<std::size_t>(node), label));
    }
    // Child(0, label) for a label below the root width.
    int RootChild(unsigned label) const { return m_root[label]; }
    // Child for a label below the root width, as every label of a trie whose
    // root takes them all by label is: a walk's step skips the width test.
    int ChildBelowWidth(int node, unsigned label) const {
        return node == 0 ? m_root[label] : ProbePair(m_edges, PairKey(static_cast<std::size_t>(node), label));
    }
    // Nodes, the root included.
    std::size_t Size() const { return m_size; }

    // While building: the newest child of `node` and the next older sibling
    // of `node`, -1 for none; the label of the edge into `node`.
    int FirstChild(int node) const { return m_nodes[static_cast<std::size_t>(node)].firstChild; }
    int NextSibling(int node) const { return m_nodes[static_cast<std::size_t>(node)].nextSibling; }
    unsigned Label(int node) const { return m_nodes[static_cast<std::size_t>(node)].label; }

private:
    struct Node {
        int firstChild;
        int nextSibling;
        unsigned label;
    };

    // Node numbers stay ints, and keys hold them in 32 bits.
    static constexpr std::size_t kMaxNodes = 0x7FFFFFFF;

    // Makes the child of `parent` labelled `label`, its edge going into the
    // empty `slot` of the edge table, or into the root's table when null.
    int Make(int parent, unsigned label, PairSlot* slot);
    // The edge into the next node, and the node counted.
    int Link(int parent, unsigned label, PairSlot* slot) {
        const int child = static_cast<int>(m_size);
        if (slot) {
            *slot = PairSlot{PairKey(static_cast<std::size_t>(parent), label), child};
            ++m_edgeCount;
        } else {
            m_root[label] = child;
        }
        ++m_size;
        return child;
    }
    // Out of Make's way, which then saves no registers: Link after listing
    // the next node as the newest child of `parent`; Make after growing the
    // edge table to room for one more edge.
    CHATSIEVE_NOINLINE int ListAndLink(int parent, unsigned label, PairSlot* slot);
    CHATSIEVE_NOINLINE int GrowAndMake(int parent, unsigned label);
    bool GrowEdges();

    TArray<Node> m_nodes;
    TArray<int> m_root;        // by label below m_rootWidth: the root's child, -1
    TArray<PairSlot> m_edges;  // every other edge: (node, label) -> child
    std::size_t m_rootWidth = 0;
    std::size_t m_edgeCount = 0;  // in m_edges
    std::size_t m_size = 0;
    bool m_lists = false;  // m_nodes is kept
};

}  // namespace chatsieve

#endif
