// A doubly linked list of non-owning CMatcher pointers that keeps insertion
// order. Destroying or clearing the list frees its nodes only, never the
// matchers. Moves between lists relink nodes and never allocate; adding an
// entry allocates one node (a small block, platform/Memory.h) and reports
// false when that fails.
//
// At answers from an array of node pointers beside the list, built on the
// first At and kept up by appends at the end; any other change drops it. The
// array is only a shortcut: when it cannot be allocated, At walks the list.
#ifndef CHATSIEVE_MATCHERS_CMATCHERLIST_H
#define CHATSIEVE_MATCHERS_CMATCHERLIST_H

#include <cstddef>

#include "matchers/TArray.h"

namespace chatsieve {

class CMatcher;

class CMatcherList {
public:
    struct Node {
        CMatcher* matcher;
        Node* prev;
        Node* next;
    };

    CMatcherList() = default;
    ~CMatcherList() { Clear(); }
    CMatcherList(const CMatcherList&) = delete;
    CMatcherList& operator=(const CMatcherList&) = delete;

    Node* First() const { return m_first; }
    Node* Last() const { return m_last; }
    std::size_t Count() const { return m_count; }
    bool Empty() const { return m_count == 0; }

    bool PushBack(CMatcher* matcher) { return InsertBefore(nullptr, matcher); }
    // Inserts before `position`, or at the end when `position` is null.
    bool InsertBefore(Node* position, CMatcher* matcher);
    // The entry at 0-based `index`, or null when there is none.
    CMatcher* At(std::size_t index) const {
        return m_indexed && index < m_count ? m_positions[index]->matcher : AtBuilding(index);
    }
    // The nodes by position, Count() of them, for a caller that looks up
    // many entries in a row; null when the array cannot be had, and At
    // then still answers. Valid until the list changes other than by an
    // append.
    Node* const* Positions() const { return m_indexed || BuildPositions() ? m_positions.Data() : nullptr; }
    // Moves every entry of `other` onto the end of this list, in order.
    void SpliceBack(CMatcherList& other);
    // Moves this list's first node into `target` before `position` (null:
    // at its end).
    void MoveFirstBefore(CMatcherList& target, Node* position);
    // Moves every entry onto the end of `targets[bucket(matcher)]`, in
    // order, relinking nodes only; the buckets are other lists.
    template <class BucketOf>
    void DistributeTo(CMatcherList* targets, BucketOf bucket) {
        DropPositions();
        for (Node* node = m_first; node;) {
            Node* next = node->next;
            CMatcherList& target = targets[bucket(node->matcher)];
            target.DropPositions();
            node->prev = target.m_last;
            node->next = nullptr;
            (target.m_last ? target.m_last->next : target.m_first) = node;
            target.m_last = node;
            ++target.m_count;
            node = next;
        }
        m_first = m_last = nullptr;
        m_count = 0;
    }
    // Unlinks and frees the last entry's node.
    void PopBack();
    void Clear();

private:
    void Link(Node* position, Node* node);
    void Unlink(Node* node);
    // Every unlink and move drops them: mostly there are none to give back,
    // which is answered inline.
    void DropPositions() {
        if (m_indexed || m_positions.Data()) ReleasePositions();
    }
    void ReleasePositions();
    bool BuildPositions() const;
    // At, when the position array is not there yet.
    CMatcher* AtBuilding(std::size_t index) const;

    Node* m_first = nullptr;
    Node* m_last = nullptr;
    std::size_t m_count = 0;
    // m_positions[i] is the i-th node while m_indexed is true.
    mutable TArray<Node*> m_positions;
    mutable bool m_indexed = false;
};

}  // namespace chatsieve

#endif
