#include "core/CRuleIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSyllable.h"
#include "platform/MbText.h"

namespace chatsieve {

namespace {

struct RuleSyllable {
    int rule;
    int syllable;
};

}  // namespace

int CRuleIndex::FindChild(const Trie& trie, int node, unsigned key) {
    if (node == 0 && key < 256) return trie.rootByByte[key];
    int child = trie.nodes[static_cast<std::size_t>(node)].firstChild;
    while (child >= 0 && trie.nodes[static_cast<std::size_t>(child)].value != key)
        child = trie.nodes[static_cast<std::size_t>(child)].nextSibling;
    return child;
}

void CRuleIndex::Reset() {
    m_ready = false;
    m_rules.Reset();
    m_syllableIds.Reset();
    m_alwaysPresent.Reset();
    m_alwaysCandidates.Reset();
    m_leadStart.Reset();
    m_codeRanges.Reset();
    for (Trie* trie : {&m_romanised, &m_split}) {
        trie->nodes.Reset();
        trie->rootByByte.Reset();
        trie->ends.Reset();
    }
    m_postingStart.Reset();
    m_postings.Reset();
    m_need.Reset();
    m_syllableStamp.Reset();
    m_ruleStamp.Reset();
    m_ruleCount.Reset();
    m_candidates.Reset();
    m_generation = 0;
}

int CRuleIndex::SyllableId(const CMatcher* syllable) const {
    const AddressId* first = m_syllableIds.Data();
    const AddressId* last = first + m_syllableIds.Size();
    const AddressId* it = std::lower_bound(
        first, last, syllable, [](const AddressId& a, const CMatcher* b) { return std::less<const CMatcher*>()(a.address, b); });
    return it != last && it->address == syllable ? it->id : -1;
}

bool CRuleIndex::AddRuleSyllables(CMatcher* rule, TArray<int>& ids) const {
    if (auto* phrase = dynamic_cast<CPhraseRule*>(rule)) {
        for (std::size_t i = 0; i < phrase->Syllables().Size(); ++i) {
            const int id = SyllableId(phrase->Syllables()[i]);
            if (id < 0 || !ids.PushBack(id)) return false;
        }
        return true;
    }
    if (auto* combo = dynamic_cast<CComboRule*>(rule)) {
        for (CMatcherList::Node* node = combo->Parts().First(); node; node = node->next) {
            if (dynamic_cast<CPhraseRule*>(node->matcher)) {
                if (!AddRuleSyllables(node->matcher, ids)) return false;
                continue;
            }
            const int id = SyllableId(node->matcher);
            if (id < 0 || !ids.PushBack(id)) return false;
        }
        return true;
    }
    return false;
}

bool CRuleIndex::InsertForm(Trie& trie, const char* form, bool fold, int syllable) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(form);
    int node = 0;
    unsigned value = 0;
    for (std::size_t pos = 0, width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        const unsigned key = fold ? FoldCase(value) : value;
        int child = FindChild(trie, node, key);
        if (child < 0) {
            child = static_cast<int>(trie.nodes.Size());
            TrieNode fresh{key, -1, trie.nodes[static_cast<std::size_t>(node)].firstChild, -1};
            if (!trie.nodes.PushBack(fresh)) return false;
            trie.nodes[static_cast<std::size_t>(node)].firstChild = child;
            if (node == 0 && key < 256) trie.rootByByte[key] = child;
        }
        node = child;
    }
    TrieNode& end = trie.nodes[static_cast<std::size_t>(node)];
    if (!trie.ends.PushBack(TrieEnd{syllable, end.firstEnd})) return false;
    end.firstEnd = static_cast<int>(trie.ends.Size()) - 1;
    return true;
}

bool CRuleIndex::Build(const CMatcherList& rules, const CMatcherList& syllables) {
    Reset();
    const std::size_t syllableCount = syllables.Count();
    const std::size_t ruleCount = rules.Count();

    // Syllable ids are positions in the syllable list.
    if (!m_syllableIds.Reserve(syllableCount)) return false;
    int id = 0;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next)
        m_syllableIds.PushBack(AddressId{node->matcher, id++});
    std::sort(m_syllableIds.Data(), m_syllableIds.Data() + m_syllableIds.Size(),
              [](const AddressId& a, const AddressId& b) { return std::less<const CMatcher*>()(a.address, b.address); });

    // Where each syllable can start: code ranges by lead byte, and the
    // romanised and split forms in tries.
    for (Trie* trie : {&m_romanised, &m_split}) {
        if (!trie->nodes.PushBack(TrieNode{0, -1, -1, -1}) || !trie->rootByByte.Reserve(256)) return false;
        for (int b = 0; b < 256; ++b) trie->rootByByte.PushBack(-1);
    }
    TArray<CodeRange> ranges;
    TArray<unsigned char> leads;
    id = 0;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next, ++id) {
        const CSyllable* syllable = dynamic_cast<const CSyllable*>(node->matcher);
        if (!syllable) return false;
        const char* forms[2] = {syllable->Romanised(), syllable->SplitForm()};
        for (int f = 0; f < 2; ++f) {
            if (!forms[f]) continue;
            const bool ok = forms[f][0] == 0 ? m_alwaysPresent.PushBack(id)
                                             : InsertForm(f == 0 ? m_romanised : m_split, forms[f], f == 0, id);
            if (!ok) return false;
        }
        for (int k = 0; k < syllable->CodeRangeCount(); ++k) {
            const unsigned char* range = syllable->Codes() + 3 * k;
            // A range never matches the terminator, as a lead or as a second byte.
            const unsigned char low = range[1] ? range[1] : 1;
            if (range[0] == 0 || low > range[2]) continue;
            if (!ranges.PushBack(CodeRange{low, range[2], id}) || !leads.PushBack(range[0])) return false;
        }
    }
    if (!m_leadStart.Reserve(257) || !m_codeRanges.Reserve(ranges.Size())) return false;
    for (int b = 0; b <= 256; ++b) m_leadStart.PushBack(0);
    for (std::size_t i = 0; i < leads.Size(); ++i) ++m_leadStart[leads[i] + 1u];
    for (int b = 0; b < 256; ++b) m_leadStart[b + 1u] += m_leadStart[static_cast<std::size_t>(b)];
    for (std::size_t i = 0; i < ranges.Size(); ++i) m_codeRanges.PushBack(CodeRange{});
    {
        TArray<int> fill;
        if (!fill.Reserve(256)) return false;
        for (int b = 0; b < 256; ++b) fill.PushBack(m_leadStart[static_cast<std::size_t>(b)]);
        for (std::size_t i = 0; i < ranges.Size(); ++i) m_codeRanges[static_cast<std::size_t>(fill[leads[i]]++)] = ranges[i];
    }

    // Which rules need which syllables, each syllable counted once per rule.
    if (!m_rules.Reserve(ruleCount) || !m_need.Reserve(ruleCount)) return false;
    TArray<RuleSyllable> pairs;
    TArray<int> ids;
    int rule = 0;
    for (CMatcherList::Node* node = rules.First(); node; node = node->next, ++rule) {
        m_rules.PushBack(node->matcher);
        ids.Clear();
        if (!AddRuleSyllables(node->matcher, ids)) {
            // Not a kind the index knows: tried on every text.
            m_need.PushBack(0);
            if (!m_alwaysCandidates.PushBack(rule)) return false;
            continue;
        }
        std::sort(ids.Data(), ids.Data() + ids.Size());
        const int* end = std::unique(ids.Data(), ids.Data() + ids.Size());
        m_need.PushBack(static_cast<int>(end - ids.Data()));
        for (const int* it = ids.Data(); it != end; ++it)
            if (!pairs.PushBack(RuleSyllable{rule, *it})) return false;
    }
    if (!m_postingStart.Reserve(syllableCount + 1) || !m_postings.Reserve(pairs.Size())) return false;
    for (std::size_t s = 0; s <= syllableCount; ++s) m_postingStart.PushBack(0);
    for (std::size_t i = 0; i < pairs.Size(); ++i) ++m_postingStart[static_cast<std::size_t>(pairs[i].syllable) + 1];
    for (std::size_t s = 0; s < syllableCount; ++s) m_postingStart[s + 1] += m_postingStart[s];
    for (std::size_t i = 0; i < pairs.Size(); ++i) m_postings.PushBack(0);
    {
        TArray<int> fill;
        if (!fill.Reserve(syllableCount)) return false;
        for (std::size_t s = 0; s < syllableCount; ++s) fill.PushBack(m_postingStart[s]);
        // Pairs come in rule order, so each posting list is in checking order.
        for (std::size_t i = 0; i < pairs.Size(); ++i)
            m_postings[static_cast<std::size_t>(fill[static_cast<std::size_t>(pairs[i].syllable)]++)] = pairs[i].rule;
    }

    if (!m_syllableStamp.Reserve(syllableCount) || !m_ruleStamp.Reserve(ruleCount) ||
        !m_ruleCount.Reserve(ruleCount) || !m_candidates.Reserve(ruleCount))
        return false;
    for (std::size_t s = 0; s < syllableCount; ++s) m_syllableStamp.PushBack(0);
    for (std::size_t r = 0; r < ruleCount; ++r) {
        m_ruleStamp.PushBack(0);
        m_ruleCount.PushBack(0);
    }
    m_ready = true;
    return true;
}

void CRuleIndex::MarkPresent(int syllable) {
    unsigned& stamp = m_syllableStamp[static_cast<std::size_t>(syllable)];
    if (stamp == m_generation) return;
    stamp = m_generation;
    const int end = m_postingStart[static_cast<std::size_t>(syllable) + 1];
    for (int i = m_postingStart[static_cast<std::size_t>(syllable)]; i < end; ++i) {
        const std::size_t rule = static_cast<std::size_t>(m_postings[static_cast<std::size_t>(i)]);
        if (m_ruleStamp[rule] != m_generation) {
            m_ruleStamp[rule] = m_generation;
            m_ruleCount[rule] = 0;
        }
        if (++m_ruleCount[rule] == m_need[rule]) m_candidates.PushBack(static_cast<int>(rule));
    }
}

void CRuleIndex::MarkFormsAt(const Trie& trie, const unsigned char* text, bool fold) {
    int node = 0;
    unsigned value = 0;
    for (std::size_t pos = 0, width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        const int child = FindChild(trie, node, fold ? FoldCase(value) : value);
        if (child < 0) return;
        node = child;
        for (int e = trie.nodes[static_cast<std::size_t>(node)].firstEnd; e >= 0; e = trie.ends[static_cast<std::size_t>(e)].next)
            MarkPresent(trie.ends[static_cast<std::size_t>(e)].syllable);
    }
}

int CRuleIndex::Check(char* text, int ceiling, int* offset, int* length) {
    if (++m_generation == 0) {
        // The stamps wrapped around: start them afresh.
        for (std::size_t s = 0; s < m_syllableStamp.Size(); ++s) m_syllableStamp[s] = 0;
        for (std::size_t r = 0; r < m_ruleStamp.Size(); ++r) m_ruleStamp[r] = 0;
        m_generation = 1;
    }
    m_candidates.Clear();
    for (std::size_t i = 0; i < m_alwaysPresent.Size(); ++i) MarkPresent(m_alwaysPresent[i]);

    // Every byte, not only character starts: a phrase rule's search may
    // resume inside a character.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    for (const unsigned char* p = bytes; *p; ++p) {
        const int end = m_leadStart[p[0] + 1u];
        for (int i = m_leadStart[p[0]]; i < end; ++i) {
            const CodeRange& range = m_codeRanges[static_cast<std::size_t>(i)];
            if (range.low <= p[1] && p[1] <= range.high) MarkPresent(range.syllable);
        }
        MarkFormsAt(m_romanised, p, true);
        if (m_split.nodes[0].firstChild >= 0) MarkFormsAt(m_split, p, false);
    }
    for (std::size_t i = 0; i < m_alwaysCandidates.Size(); ++i) m_candidates.PushBack(m_alwaysCandidates[i]);

    std::sort(m_candidates.Data(), m_candidates.Data() + m_candidates.Size());
    int level = 0;
    for (std::size_t i = 0; i < m_candidates.Size(); ++i) {
        CMatcher* rule = m_rules[static_cast<std::size_t>(m_candidates[i])];
        if (rule->Match(text, 0, offset, length, &level) == 1 && level <= ceiling) return level;
    }
    return 0;
}

}  // namespace chatsieve
