#include "run/CLaterRules.h"

#include <algorithm>
#include <cstring>

#include "matchers/CPhraseRule.h"
#include "matchers/CSyllable.h"

namespace chatsieve {

void CLaterRules::Prepare(const CRuleIndex& index, int longest) {
    Reset();
    m_index = &index;
    m_longest = longest;
}

bool CLaterRules::Allocate() {
    // Taken on the first line that needs it: most filters never mask a line
    // long enough.
    if (!m_nodes.Reserve(m_index->NodeCount())) return false;
    for (std::size_t v = 0; v < m_index->NodeCount(); ++v) m_nodes.PushBack(NodeState{});
    return true;
}

int CLaterRules::Shortest(int v) {
    NodeState& node = m_nodes[static_cast<std::size_t>(v)];
    if (node.shortest >= 0) return node.shortest;
    // The rules a node ends read the same syllables.
    node.shortest = 0;
    const int* rules = m_index->NodeRulesBegin(v);
    if (rules == m_index->NodeRulesEnd(v)) return 0;
    const CPhraseRule::SyllableRun syllables = static_cast<const CPhraseRule*>(m_index->Rule(*rules))->Syllables();
    for (std::size_t i = 0; i < syllables.Size(); ++i)
        node.shortest += static_cast<int>(static_cast<const CSyllable*>(syllables[i])->ShortestMatchLength());
    return node.shortest;
}

void CLaterRules::Reset() {
    m_index = nullptr;
    m_known = false;
    m_nodes.Reset();
    m_runs.Reset();
    m_added.Reset();
    m_batches.Reset();
    m_later.Reset();
    m_laterAt = 0;
}

void CLaterRules::Forget() {
    // Only the nodes that have runs hold state.
    for (const TArray<Entry>* entries : {&m_runs, &m_added})
        for (std::size_t i = 0; i < entries->Size(); ++i) m_nodes[static_cast<std::size_t>((*entries)[i].node)].Clear();
    m_runs.Clear();
    m_added.Clear();
    m_batches.Clear();
    m_later.Clear();
    m_laterAt = 0;
    m_known = false;
}

bool CLaterRules::Begin(TArray<Run>& runs, int decider) {
    Forget();
    if (!m_index || (m_nodes.Empty() && !Allocate())) return false;
    std::sort(runs.Data(), runs.Data() + runs.Size(), [](const Run& a, const Run& b) { return a.end < b.end; });
    if (!m_runs.Reserve(runs.Size())) return false;
    for (std::size_t i = 0; i < runs.Size(); ++i) {
        const int shortest = Shortest(runs[i].node);
        m_runs.PushBack(Entry{runs[i].end - shortest, runs[i].end, runs[i].node, -1, false});
    }
    // Each node's entries linked in order of their ends, from its first.
    for (std::size_t i = m_runs.Size(); i-- > 0;) {
        NodeState& node = m_nodes[static_cast<std::size_t>(m_runs[i].node)];
        m_runs[i].next = node.first;
        node.first = static_cast<int>(i);
        ++node.live;
    }
    for (std::size_t i = 0; i < m_runs.Size(); ++i) {
        NodeState& node = m_nodes[static_cast<std::size_t>(m_runs[i].node)];
        if (node.first != static_cast<int>(i)) continue;
        for (const int* rule = m_index->NodeRulesBegin(m_runs[i].node); rule != m_index->NodeRulesEnd(m_runs[i].node);
             ++rule)
            if (*rule > decider && !m_later.PushBack(*rule)) return false;
    }
    std::sort(m_later.Data(), m_later.Data() + m_later.Size());
    m_laterAt = 0;
    m_known = true;
    return true;
}

bool CLaterRules::Add(const Span* runs, std::size_t count, int decider) {
    if (count == 0) return true;
    const std::size_t begin = m_added.Size();
    if (!m_added.ReserveMore(count) || !m_batches.ReserveMore(1)) return false;
    Batch batch{begin, begin + count, INT_MAX, INT_MIN};
    for (std::size_t i = 0; i < count; ++i) {
        NodeState& node = m_nodes[static_cast<std::size_t>(runs[i].node)];
        m_added.PushBack(Entry{runs[i].start, runs[i].end, runs[i].node, node.added, false});
        node.added = static_cast<int>(m_added.Size()) - 1;
        if (runs[i].start < batch.first) batch.first = runs[i].start;
        if (runs[i].end > batch.last) batch.last = runs[i].end;
        if (node.live++ == 0 && !Revive(runs[i].node, decider)) return false;
    }
    m_batches.PushBack(batch);
    return true;
}

bool CLaterRules::Revive(int node, int decider) {
    for (const int* rule = m_index->NodeRulesBegin(node); rule != m_index->NodeRulesEnd(node); ++rule)
        if (*rule > decider && !InsertLater(*rule)) return false;
    return true;
}

bool CLaterRules::InsertLater(int ordinal) {
    const std::size_t size = m_later.Size();
    std::size_t at = m_laterAt;
    while (at < size && m_later[at] < ordinal) ++at;
    if (at < size && m_later[at] == ordinal) return true;
    if (!m_later.PushBack(0)) return false;
    int* later = m_later.Data();
    std::memmove(later + at + 1, later + at, (size - at) * sizeof(int));
    later[at] = ordinal;
    return true;
}

void CLaterRules::CutEntry(Entry& entry) {
    // A run of syllables that may all be empty stands wherever it stood:
    // no cut takes it.
    if (entry.start == entry.end) return;
    entry.cut = true;
    --m_nodes[static_cast<std::size_t>(entry.node)].live;
}

void CLaterRules::CutSorted(Entry* entries, std::size_t count, int from, int to) {
    // A run loses a byte when [start, end) meets [from, to); the line's
    // runs hold no cut bytes, so its end then lies after `from` and before
    // to + m_longest.
    Entry* it = std::lower_bound(entries, entries + count, from + 1,
                                 [](const Entry& entry, int end) { return entry.end < end; });
    for (; it != entries + count && it->end < to + m_longest; ++it)
        if (!it->cut && it->start < to) CutEntry(*it);
}

void CLaterRules::Cut(int from, int to) {
    if (!m_known) return;
    CutSorted(m_runs.Data(), m_runs.Size(), from, to);
    // Runs found around cuts may span bytes cut before: each is asked.
    for (std::size_t b = 0; b < m_batches.Size(); ++b) {
        const Batch& batch = m_batches[b];
        if (batch.last <= from || batch.first >= to) continue;
        for (std::size_t i = batch.begin; i < batch.end; ++i) {
            Entry& entry = m_added[i];
            if (!entry.cut && entry.start < to && entry.end > from) CutEntry(entry);
        }
    }
}

int CLaterRules::NextAfter(int ordinal) {
    while (m_laterAt < m_later.Size() && (m_later[m_laterAt] <= ordinal || Live(m_later[m_laterAt]) == 0)) ++m_laterAt;
    return m_laterAt < m_later.Size() ? m_later[m_laterAt] : INT_MAX;
}

int CLaterRules::FirstEnd(int ordinal) {
    const int v = m_index->RuleNode(ordinal);
    if (v < 0) return INT_MAX;
    NodeState& node = m_nodes[static_cast<std::size_t>(v)];
    while (node.first >= 0 && m_runs[static_cast<std::size_t>(node.first)].cut)
        node.first = m_runs[static_cast<std::size_t>(node.first)].next;
    int first = node.first >= 0 ? m_runs[static_cast<std::size_t>(node.first)].end : INT_MAX;
    // The added runs, dropping those cut from the list on the way.
    for (int* link = &node.added; *link >= 0;) {
        const Entry& entry = m_added[static_cast<std::size_t>(*link)];
        if (entry.cut) {
            *link = entry.next;
            continue;
        }
        if (entry.end < first) first = entry.end;
        link = &m_added[static_cast<std::size_t>(*link)].next;
    }
    return first;
}

}  // namespace chatsieve
