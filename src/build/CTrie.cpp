#include "build/CTrie.h"

#include <climits>

namespace chatsieve {

void CTrie::Reset() {
    m_nodes.Reset();
    m_root.Reset();
    m_edges.Reset();
    m_rootWidth = 0;
    m_edgeCount = 0;
    m_size = 0;
}

bool CTrie::Start(std::size_t rootWidth, std::size_t expectedNodes) {
    Reset();
    std::size_t slots = 16;
    while (slots < 2 * expectedNodes) slots *= 2;
    if (!m_root.Reserve(rootWidth) || !ClearPairs(m_edges, slots) ||
        !m_nodes.Reserve(expectedNodes > 0 ? expectedNodes : 1)) {
        Reset();
        return false;
    }
    for (std::size_t label = 0; label < rootWidth; ++label) m_root.PushBack(-1);
    m_nodes.PushBack(Node{-1, -1, 0});
    m_rootWidth = rootWidth;
    m_size = 1;
    return true;
}

bool CTrie::GrowEdges() {
    TArray<PairSlot> grown;
    if (!ClearPairs(grown, 2 * m_edges.Size())) return false;
    for (std::size_t slot = 0; slot < m_edges.Size(); ++slot)
        if (m_edges[slot].key != kNoPair) InsertPair(grown, m_edges[slot].key, m_edges[slot].value);
    m_edges.Swap(grown);
    return true;
}

int CTrie::Add(int parent, unsigned label) {
    const int found = Child(parent, label);
    if (found >= 0) return found;
    // Numbers must stay ints, and keys hold them in 32 bits.
    if (m_size >= static_cast<std::size_t>(INT_MAX)) return -1;
    const bool byLabel = parent == 0 && label < m_rootWidth;
    // Room first, so that a failure leaves no node without its edge.
    if (!byLabel && 2 * (m_edgeCount + 1) > m_edges.Size() && !GrowEdges()) return -1;
    const int child = static_cast<int>(m_size);
    if (!m_nodes.PushBack(Node{-1, m_nodes[static_cast<std::size_t>(parent)].firstChild, label})) return -1;
    m_nodes[static_cast<std::size_t>(parent)].firstChild = child;
    if (byLabel) {
        m_root[label] = child;
    } else {
        InsertPair(m_edges, PairKey(static_cast<std::size_t>(parent), label), child);
        ++m_edgeCount;
    }
    ++m_size;
    return child;
}

}  // namespace chatsieve
