#include "matchers/CMatcherList.h"

#include "platform/Memory.h"

namespace chatsieve {

void CMatcherList::ReleasePositions() {
    m_positions.Reset();
    m_indexed = false;
}

bool CMatcherList::BuildPositions() const {
    if (m_indexed) return true;
    if (!m_positions.Reserve(m_count)) return false;
    m_positions.Clear();
    for (Node* node = m_first; node; node = node->next) m_positions.PushBack(node);
    m_indexed = true;
    return true;
}

void CMatcherList::Link(Node* position, Node* node) {
    if (m_indexed && (position || !m_positions.PushBack(node))) DropPositions();
    node->next = position;
    node->prev = position ? position->prev : m_last;
    (node->prev ? node->prev->next : m_first) = node;
    (position ? position->prev : m_last) = node;
    ++m_count;
}

void CMatcherList::Unlink(Node* node) {
    DropPositions();
    (node->prev ? node->prev->next : m_first) = node->next;
    (node->next ? node->next->prev : m_last) = node->prev;
    --m_count;
}

bool CMatcherList::InsertBefore(Node* position, CMatcher* matcher) {
    Node* node = NewSmall<Node>();
    if (!node) return false;
    node->matcher = matcher;
    Link(position, node);
    return true;
}

void CMatcherList::MoveFirstBefore(CMatcherList& target, Node* position) {
    Node* node = m_first;
    if (!node) return;
    Unlink(node);
    target.Link(position, node);
}

CMatcher* CMatcherList::AtBuilding(std::size_t index) const {
    if (index >= m_count) return nullptr;
    if (BuildPositions()) return m_positions[index]->matcher;
    // Walk from whichever end is nearer; the order stays the insertion order.
    if (index < m_count / 2) {
        Node* node = m_first;
        while (index--) node = node->next;
        return node->matcher;
    }
    Node* node = m_last;
    for (std::size_t steps = m_count - 1 - index; steps; --steps) node = node->prev;
    return node->matcher;
}

void CMatcherList::SpliceBack(CMatcherList& other) {
    if (other.Empty() || &other == this) return;
    DropPositions();
    other.DropPositions();
    other.m_first->prev = m_last;
    (m_last ? m_last->next : m_first) = other.m_first;
    m_last = other.m_last;
    m_count += other.m_count;
    other.m_first = other.m_last = nullptr;
    other.m_count = 0;
}

void CMatcherList::PopBack() {
    Node* node = m_last;
    if (!node) return;
    Unlink(node);
    DeleteSmall(node);
}

void CMatcherList::Clear() {
    DropPositions();
    Node* node = m_first;
    while (node) {
        Node* next = node->next;
        DeleteSmall(node);
        node = next;
    }
    m_first = m_last = nullptr;
    m_count = 0;
}

}  // namespace chatsieve
