#include "build/CTrie.h"

namespace chatsieve {

void CTrie::Reset() {
    m_nodes.Reset();
    m_root.Reset();
    m_edges.Reset();
    m_rootWidth = 0;
    m_edgeCount = 0;
    m_size = 0;
    m_lists = false;
}

bool CTrie::Start(std::size_t rootWidth, std::size_t expectedNodes, Lists lists) {
    Reset();
    // No edge leads into the root.
    const std::size_t slots = PairSlotsFor(expectedNodes > 0 ? expectedNodes - 1 : 0);
    m_lists = lists == Lists::kKept;
    if (!m_root.Reserve(rootWidth) || !ClearPairs(m_edges, slots) ||
        (m_lists && !m_nodes.Reserve(expectedNodes > 0 ? expectedNodes : 1))) {
        Reset();
        return false;
    }
    for (std::size_t label = 0; label < rootWidth; ++label) m_root.PushBack(-1);
    if (m_lists) m_nodes.PushBack(Node{-1, -1, 0});
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

int CTrie::Make(int parent, unsigned label, PairSlot* slot) {
    if (m_size >= kMaxNodes) return -1;
    // Room first, so that a failure leaves no node without its edge.
    if (slot && 2 * (m_edgeCount + 1) > m_edges.Size()) return GrowAndMake(parent, label);
    return m_lists ? ListAndLink(parent, label, slot) : Link(parent, label, slot);
}

int CTrie::ListAndLink(int parent, unsigned label, PairSlot* slot) {
    if (!m_nodes.PushBack(Node{-1, m_nodes[static_cast<std::size_t>(parent)].firstChild, label})) return -1;
    m_nodes[static_cast<std::size_t>(parent)].firstChild = static_cast<int>(m_size);
    return Link(parent, label, slot);
}

int CTrie::GrowAndMake(int parent, unsigned label) {
    if (!GrowEdges()) return -1;
    return Make(parent, label, &FindPairSlot(m_edges, PairKey(static_cast<std::size_t>(parent), label)));
}

}  // namespace chatsieve
