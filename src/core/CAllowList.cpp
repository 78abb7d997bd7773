#include "core/CAllowList.h"

#include <cstring>

#include "matchers/CMatcher.h"
#include "matchers/CSyllable.h"
#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

namespace {

char* CopyText(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(Allocate(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

bool EndsInCutCharacter(const char* text) {
    std::size_t length = std::strlen(text), i = 0;
    while (i < length) i += static_cast<std::size_t>(CharStep(text + i));
    return i > length;
}

// Letters of one-byte characters compare in any case, as pinyin does.
unsigned char Fold(unsigned char byte) { return byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte; }

bool AppearsIn(const char* form, unsigned char byte) { return form && std::strchr(form, byte) != nullptr; }

}  // namespace

bool CAllowList::Add(const char* text, CMatcher* const* rules, int ruleCount) {
    if (!text || !*text || EndsInCutCharacter(text) || ruleCount < 0) return false;
    Entry entry{CopyText(text), nullptr, nullptr, 0};
    if (!entry.text) return false;
    if (ruleCount > 0) {
        entry.rules = static_cast<CMatcher**>(Allocate(sizeof(CMatcher*) * static_cast<unsigned>(ruleCount)));
        if (!entry.rules) {
            Free(entry.text);
            return false;
        }
        std::memcpy(entry.rules, rules, sizeof(CMatcher*) * static_cast<unsigned>(ruleCount));
        entry.ruleCount = ruleCount;
    }
    if (!m_entries.PushBack(entry)) {
        Free(entry.rules);
        Free(entry.text);
        return false;
    }
    return true;
}

void CAllowList::Reset() {
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        Free(m_entries[i].text);
        Free(m_entries[i].stripped);
        Free(m_entries[i].rules);
    }
    m_entries.Reset();
    m_nextSameText.Reset();
    m_nodes.Reset();
    m_edges.Reset();
    m_edgeMask = 0;
    m_hits.Reset();
    m_starts.Reset();
    m_view.Reset();
    std::memset(m_rootNext, 0, sizeof m_rootNext);
    m_break = 1;
    m_built = false;
}

bool CAllowList::Covers(int entry, const CMatcher* rule) const {
    const Entry& e = m_entries[static_cast<std::size_t>(entry)];
    if (e.ruleCount == 0) return true;
    for (int i = 0; i < e.ruleCount; ++i)
        if (e.rules[i] == rule) return true;
    return false;
}

bool CAllowList::Build(CMatcherList& skipSets, const CMatcherList& syllables) {
    m_nodes.Clear();
    m_edges.Clear();
    m_edgeMask = 0;
    m_built = false;
    if (m_entries.Empty()) return true;

    // The break must be a byte no syllable form holds: a form that held it
    // could match on hidden bytes. Control bytes never start a character.
    int chosen = 0;
    for (int byte = 1; byte < 0x80 && !chosen; ++byte) {
        if (byte >= 0x20 && byte < 0x7F) continue;
        bool used = false;
        for (const CMatcherList::Node* node = syllables.First(); node && !used; node = node->next) {
            const CSyllable* syllable = static_cast<const CSyllable*>(node->matcher);
            used = AppearsIn(syllable->Romanised(), static_cast<unsigned char>(byte)) ||
                   AppearsIn(syllable->SplitForm(), static_cast<unsigned char>(byte));
        }
        if (!used) chosen = byte;
    }
    if (!chosen) return false;
    m_break = static_cast<unsigned char>(chosen);

    if (!m_nextSameText.Reserve(m_entries.Size()) || !m_nodes.PushBack(Node{-1, -1, 0, -1, -1, 0, 0})) return false;
    std::memset(m_rootNext, 0, sizeof m_rootNext);
    int level = 0, offset = 0, length = 0;
    for (std::size_t i = 0; i < m_entries.Size(); ++i) {
        m_nextSameText.PushBack(-1);
        Entry& entry = m_entries[i];
        Free(entry.stripped);
        entry.stripped = CopyText(entry.text);
        if (!entry.stripped) return false;
        bool empty = false;
        for (CMatcherList::Node* node = skipSets.First(); node && !empty; node = node->next) {
            if (node->matcher->Match(entry.stripped, 0, &offset, &length, &level) != 1) return false;
            empty = offset == 1;
        }
        if (!empty && !Insert(entry.stripped, static_cast<int>(i))) return false;
    }
    if (!IndexEdges() || !Link()) return false;
    m_built = true;
    return true;
}

namespace {

std::size_t EdgeSlot(std::uint32_t key) { return static_cast<std::size_t>(key * 2654435761u); }

}  // namespace

std::int32_t CAllowList::Child(std::int32_t node, unsigned char byte) const {
    if (node == 0) return m_rootNext[byte] ? m_rootNext[byte] : -1;
    if (m_edgeMask) {
        const std::uint32_t key = static_cast<std::uint32_t>(node) << 8 | byte;
        for (std::size_t slot = EdgeSlot(key) & m_edgeMask;; slot = (slot + 1) & m_edgeMask) {
            const Edge& edge = m_edges[slot];
            if (edge.key == key) return edge.child;
            if (edge.key == 0) return -1;
        }
    }
    for (std::int32_t c = m_nodes[static_cast<std::size_t>(node)].child; c >= 0;
         c = m_nodes[static_cast<std::size_t>(c)].sibling)
        if (m_nodes[static_cast<std::size_t>(c)].byte == byte) return c;
    return -1;
}

bool CAllowList::Insert(const char* stripped, int entry) {
    std::int32_t node = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(stripped);
    while (*p) {
        const int width = CharByteCount(reinterpret_cast<const char*>(p));
        for (int k = 0; k < width; ++k) {
            const unsigned char byte = width == 1 ? Fold(p[k]) : p[k];
            std::int32_t next = Child(node, byte);
            if (next < 0) {
                next = static_cast<std::int32_t>(m_nodes.Size());
                Node& parent = m_nodes[static_cast<std::size_t>(node)];
                const Node child{-1, parent.child, 0, -1, -1, parent.depth + 1, byte};
                parent.child = next;  // before PushBack, which may move the nodes
                if (!m_nodes.PushBack(child)) return false;
                if (node == 0) m_rootNext[byte] = next;
            }
            node = next;
        }
        p += width;
    }
    Node& end = m_nodes[static_cast<std::size_t>(node)];
    if (end.entry < 0) {
        end.entry = entry;
    } else {
        std::int32_t last = end.entry;
        while (m_nextSameText[static_cast<std::size_t>(last)] >= 0)
            last = m_nextSameText[static_cast<std::size_t>(last)];
        m_nextSameText[static_cast<std::size_t>(last)] = entry;
    }
    return true;
}

std::int32_t CAllowList::Step(std::int32_t node, unsigned char byte) const {
    for (;;) {
        const std::int32_t next = Child(node, byte);
        if (next >= 0) return next;
        if (node == 0) return 0;
        node = m_nodes[static_cast<std::size_t>(node)].fail;
    }
}

bool CAllowList::IndexEdges() {
    // Node numbers must leave room for the byte in a 32-bit key.
    if (m_nodes.Size() >= (1u << 24)) return false;
    std::size_t slots = 16;
    while (slots < 2 * m_nodes.Size()) slots *= 2;
    m_edges.Clear();
    if (!m_edges.Reserve(slots)) return false;
    for (std::size_t i = 0; i < slots; ++i) m_edges.PushBack(Edge{0, -1});
    for (std::size_t parent = 1; parent < m_nodes.Size(); ++parent) {
        for (std::int32_t c = m_nodes[parent].child; c >= 0; c = m_nodes[static_cast<std::size_t>(c)].sibling) {
            const std::uint32_t key =
                static_cast<std::uint32_t>(parent) << 8 | m_nodes[static_cast<std::size_t>(c)].byte;
            std::size_t slot = EdgeSlot(key) & (slots - 1);
            while (m_edges[slot].key != 0) slot = (slot + 1) & (slots - 1);
            m_edges[slot] = Edge{key, c};
        }
    }
    m_edgeMask = slots - 1;
    return true;
}

bool CAllowList::Link() {
    // Breadth first, so every node's fail target is linked before the node.
    TArray<std::int32_t> queue;
    if (!queue.Reserve(m_nodes.Size())) return false;
    queue.PushBack(0);
    for (std::size_t head = 0; head < queue.Size(); ++head) {
        const std::int32_t parent = queue[head];
        for (std::int32_t c = m_nodes[static_cast<std::size_t>(parent)].child; c >= 0;
             c = m_nodes[static_cast<std::size_t>(c)].sibling) {
            Node& node = m_nodes[static_cast<std::size_t>(c)];
            node.fail = parent == 0 ? 0 : Step(m_nodes[static_cast<std::size_t>(parent)].fail, node.byte);
            node.output = node.entry >= 0 ? c : m_nodes[static_cast<std::size_t>(node.fail)].output;
            queue.PushBack(c);
        }
    }
    return true;
}

void CAllowList::Overwrite(char* text, const Hit& hit) const {
    std::memset(text + hit.offset, m_break, static_cast<std::size_t>(hit.length));
}

int CAllowList::Hide(char* text) {
    m_hits.Clear();
    if (!m_built || !text) return 0;
    const std::size_t n = std::strlen(text);
    if (!m_starts.Reserve(n + 1)) return -1;
    unsigned char* starts = m_starts.Data();
    bool limited = false;
    std::int32_t state = 0;
    std::size_t pos = 0;
    while (pos < n) {
        int width = CharByteCount(text + pos);
        if (width == 0) width = 1;  // a lone lead byte before the end
        starts[pos] = 1;
        if (width == 2) starts[pos + 1] = 0;
        for (int k = 0; k < width; ++k) {
            const unsigned char byte = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]);
            state = Step(state, width == 1 ? Fold(byte) : byte);
        }
        pos += static_cast<std::size_t>(width);
        for (std::int32_t out = m_nodes[static_cast<std::size_t>(state)].output; out >= 0;
             out = m_nodes[static_cast<std::size_t>(m_nodes[static_cast<std::size_t>(out)].fail)].output) {
            const Node& node = m_nodes[static_cast<std::size_t>(out)];
            const std::size_t start = pos - static_cast<std::size_t>(node.depth);
            if (starts[start]) {
                for (std::int32_t e = node.entry; e >= 0; e = m_nextSameText[static_cast<std::size_t>(e)]) {
                    if (!m_hits.PushBack(Hit{static_cast<int>(start), node.depth, e})) return -1;
                    limited = limited || !CoversAll(e);
                }
            }
            if (out == 0) break;
        }
    }
    // Hidden only after the search, so that overlapping occurrences are all found.
    for (std::size_t i = 0; i < m_hits.Size(); ++i)
        if (CoversAll(m_hits[i].entry)) Overwrite(text, m_hits[i]);
    return limited ? 1 : 0;
}

char* CAllowList::ViewFor(const CMatcher* rule, const char* text) {
    bool copied = false;
    for (std::size_t i = 0; i < m_hits.Size(); ++i) {
        if (CoversAll(m_hits[i].entry) || !Covers(m_hits[i].entry, rule)) continue;
        if (!copied) {
            const std::size_t size = std::strlen(text) + 1;
            if (!m_view.Reserve(size)) return nullptr;
            std::memcpy(m_view.Data(), text, size);
            copied = true;
        }
        Overwrite(m_view.Data(), m_hits[i]);
    }
    return copied ? m_view.Data() : nullptr;
}

int CAllowList::CheckViews(const CMatcherList& rules, char* text, int ceiling, int* offset, int* length) {
    if (!m_view.Reserve(std::strlen(text) + 1)) return 0;
    int level = 0;
    for (const CMatcherList::Node* node = rules.First(); node; node = node->next) {
        char* view = ViewFor(node->matcher, text);
        if (node->matcher->Match(view ? view : text, 0, offset, length, &level) == 1 && level <= ceiling) return level;
    }
    return 0;
}

}  // namespace chatsieve
