// The rule index's build part: what runs once at Init, from the loaded
// rules and syllables to the tries, postings and check automaton that every
// check then reads (CRuleIndex.cpp).
#include <algorithm>
#include <cstring>

#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSyllable.h"
#include "platform/MbText.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

bool CRuleIndex::Postings::Build(std::size_t keys, const TArray<std::uint64_t>& pairs) {
    if (!start.Reserve(keys + 1) || !items.Reserve(pairs.Size())) return false;
    TArray<int> fill;
    if (!fill.Reserve(keys + 1)) return false;
    int* first = start.Data();
    std::memset(first, 0, (keys + 1) * sizeof(int));
    for (std::size_t i = 0; i < pairs.Size(); ++i) ++first[(pairs[i] >> 32) + 1];
    for (std::size_t k = 0; k < keys; ++k) first[k + 1] += first[k];
    start.SetFilled(keys + 1);
    // Placed in the order given, so each key's items keep their order.
    int* next = fill.Data();
    std::memcpy(next, first, (keys + 1) * sizeof(int));
    int* item = items.Data();
    for (std::size_t i = 0; i < pairs.Size(); ++i)
        item[next[pairs[i] >> 32]++] = static_cast<int>(pairs[i] & 0xFFFFFFFFu);
    items.SetFilled(pairs.Size());
    return true;
}

void CRuleIndex::Reset() {
    m_ready = false;
    m_automaton.Reset();
    m_walker.Reset();
    m_reached.Reset();
    m_walked = false;
    m_phraseEdges = false;
    m_rulePhrase.Reset();
    m_ruleNode.Reset();
    m_syllableById.Reset();
    m_hasEnds.Reset();
    m_isPart.Reset();
    m_rules.Reset();
    m_ruleIds.Reset();
    m_syllableIds.Reset();
    m_emptyRomanised.Reset();
    m_emptySplit.Reset();
    for (unsigned char& start : m_formStart) start = 0;
    m_emptyForms = false;
    m_formStamp.Reset();
    m_formGeneration = 0;
    m_walk.Reset();
    m_alwaysCandidates.Reset();
    for (Postings* postings :
         {&m_byCode, &m_phraseSyllables, &m_nodeEnds, &m_nodeRules, &m_combosBySyllable, &m_combosByPhrase}) {
        postings->start.Reset();
        postings->items.Reset();
    }
    for (Trie* trie : {&m_romanised, &m_split}) {
        trie->shape.Reset();
        trie->firstEnd.Reset();
        trie->ends.Reset();
        trie->twoByteStart = false;
        trie->twoByte = false;
    }
    m_phrases.Reset();
    m_phraseIds.Reset();
    m_phraseRule.Reset();
    m_rootChild.Reset();
    m_edges.Reset();
    m_hasChildren.Reset();
    m_comboRule.Reset();
    m_need.Reset();
    m_fullMask.Reset();
    m_comboMask.Reset();
    m_knownParts.Reset();
    m_partsKnown = false;
    m_occurrences.Reset();
    m_ruleLevel.Reset();
    m_pendingHead.Reset();
    m_pending.Reset();
    m_frontier.Reset();
    m_nodeStamp.Reset();
    m_nodeFound.Reset();
    m_placeGeneration = 0;
    m_syllableStamp.Reset();
    m_phraseStamp.Reset();
    m_comboStamp.Reset();
    m_comboCount.Reset();
    m_candidates.Reset();
    m_generation = 0;
}

bool CRuleIndex::InsertForm(Trie& trie, const char* form, bool fold, int syllable) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(form);
    int node = 0;
    unsigned value = 0;
    std::size_t pos = 0;
    for (std::size_t width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        const unsigned key = fold ? FoldCase(value) : value;
        node = trie.shape.Add(node, key);
        if (node < 0) return false;
        if (static_cast<std::size_t>(node) == trie.firstEnd.Size() && !trie.firstEnd.PushBack(-1)) return false;
        if (key >= 256) {
            trie.twoByte = true;
            trie.twoByteStart = trie.twoByteStart || pos == 0;
        }
    }
    int& firstEnd = trie.firstEnd[static_cast<std::size_t>(node)];
    if (!trie.ends.PushBack(TrieEnd{syllable, static_cast<int>(pos), firstEnd})) return false;
    firstEnd = static_cast<int>(trie.ends.Size()) - 1;
    return true;
}

bool CRuleIndex::Build(const CMatcherList& rules, const CMatcherList& syllables) {
    Reset();

    // Syllables: ids are positions in the syllable list.
    if (!m_syllableIds.Reserve(syllables.Count()) || !m_syllableById.Reserve(syllables.Count())) return false;
    int id = 0;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next) {
        const CSyllable* syllable = dynamic_cast<CSyllable*>(node->matcher);
        if (!syllable) return false;
        m_syllableIds.PushBack(AddressId{node->matcher, id++});
        m_syllableById.PushBack(syllable);
    }
    const std::size_t syllableCount = m_syllableIds.Size();
    std::sort(m_syllableIds.Data(), m_syllableIds.Data() + syllableCount,
              [](const AddressId& a, const AddressId& b) { return AddressLess(a.address, b.address); });

    // Where each syllable can start.
    for (Trie* trie : {&m_romanised, &m_split})
        if (!trie->shape.Start(256) || !trie->firstEnd.PushBack(-1)) return false;
    TArray<std::uint64_t> pairs;
    std::size_t longest = 2;  // a character of a code range
    id = 0;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next, ++id) {
        const CSyllable* syllable = static_cast<const CSyllable*>(node->matcher);
        const char* forms[2] = {syllable->Romanised(), syllable->SplitForm()};
        int firstEmpty = -1;
        for (int f = 0; f < 2; ++f) {
            if (!forms[f]) continue;
            longest = std::max(longest, std::strlen(forms[f]));
            if (forms[f][0] == 0) {
                if (firstEmpty < 0) firstEmpty = f;
            } else if (!InsertForm(f == 0 ? m_romanised : m_split, forms[f], f == 0, id)) {
                return false;
            }
        }
        if (firstEmpty >= 0 && !(firstEmpty == 0 ? m_emptyRomanised : m_emptySplit).PushBack(id)) return false;
        m_emptyForms = m_emptyForms || firstEmpty >= 0;
        for (int k = 0; k < syllable->CodeRangeCount(); ++k) {
            const unsigned char* range = syllable->Codes() + 3 * k;
            // A range never matches the terminator, as a lead or as a second byte.
            if (range[0] == 0) continue;
            for (unsigned trail = range[1] ? range[1] : 1; trail <= range[2]; ++trail) {
                // Once per code, however the syllable's ranges overlap.
                bool earlier = false;
                for (int j = 0; j < k && !earlier; ++j) {
                    const unsigned char* other = syllable->Codes() + 3 * j;
                    earlier = other[0] == range[0] && other[1] <= trail && trail <= other[2];
                }
                if (!earlier && !pairs.PushBack(PairKey(range[0] << 8 | trail, static_cast<std::size_t>(id))))
                    return false;
            }
        }
    }
    if (!m_byCode.Build(65536, pairs)) return false;
    for (unsigned b = 1; b < 256; ++b) {
        const bool lead = IsLeadByte(static_cast<unsigned char>(b));
        // Case folding may move a two-byte character to another lead byte.
        if (lead ? m_romanised.twoByteStart : m_romanised.shape.Child(0, FoldCase(b)) >= 0)
            m_formStart[b] |= kRomanisedStart;
        if (!lead && m_split.shape.Child(0, b) >= 0) m_formStart[b] |= kSplitStart;
    }
    // Split forms compare exactly: only the lead bytes they start with.
    for (int child = m_split.shape.FirstChild(0); child >= 0; child = m_split.shape.NextSibling(child)) {
        const unsigned value = m_split.shape.Label(child);
        if (value >= 256) m_formStart[value >> 8] |= kSplitStart;
    }
    m_romanised.shape.Freeze();
    m_split.shape.Freeze();
    // A walk looks at most `longest` places ahead.
    std::size_t ring = 1;
    while (ring <= longest) ring *= 2;
    if (!m_pendingHead.Reserve(ring) || !m_walk.Reserve(ring) || !m_formStamp.Reserve(syllableCount)) return false;
    for (std::size_t r = 0; r < ring; ++r) {
        m_pendingHead.PushBack(-1);
        m_walk.PushBack(0);
    }
    for (std::size_t s = 0; s < syllableCount; ++s) m_formStamp.PushBack(0);

    // Phrase rules, whether checked themselves or only parts of combinations;
    // a rule's entry carries its ordinal + 1, a part's 0.
    int ruleOrdinal = 0;
    for (CMatcherList::Node* node = rules.First(); node; node = node->next, ++ruleOrdinal) {
        if (auto* phrase = dynamic_cast<CPhraseRule*>(node->matcher)) {
            if (!m_phraseIds.PushBack(AddressId{phrase, ruleOrdinal + 1})) return false;
        } else if (auto* combo = dynamic_cast<CComboRule*>(node->matcher)) {
            for (CMatcherList::Node* part = combo->Parts().First(); part; part = part->next)
                if (auto* phrasePart = dynamic_cast<CPhraseRule*>(part->matcher))
                    if (!m_phraseIds.PushBack(AddressId{phrasePart, 0})) return false;
        }
    }
    std::sort(m_phraseIds.Data(), m_phraseIds.Data() + m_phraseIds.Size(),
              [](const AddressId& a, const AddressId& b) { return AddressLess(a.address, b.address); });
    // One entry per phrase, keeping a rule's ordinal.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_phraseIds.Size(); ++i) {
        if (kept > 0 && m_phraseIds[kept - 1].address == m_phraseIds[i].address)
            m_phraseIds[kept - 1].id = std::max(m_phraseIds[kept - 1].id, m_phraseIds[i].id);
        else
            m_phraseIds[kept++] = m_phraseIds[i];
    }
    m_phraseIds.Truncate(kept);
    const std::size_t phraseCount = m_phraseIds.Size();
    if (!m_phrases.Reserve(phraseCount) || !m_phraseRule.Reserve(phraseCount)) return false;
    for (std::size_t p = 0; p < phraseCount; ++p) {
        m_phraseRule.PushBack(m_phraseIds[p].id - 1);
        m_phraseIds[p].id = static_cast<int>(p);
        m_phrases.PushBack(static_cast<CPhraseRule*>(const_cast<void*>(m_phraseIds[p].address)));
    }
    pairs.Clear();
    for (std::size_t p = 0; p < phraseCount; ++p) {
        const TArray<CMatcher*>& sequence = m_phrases[p]->Syllables();
        const RefEntry* refs = m_phrases[p]->Refs();
        for (std::size_t i = 0; i < sequence.Size(); ++i) {
            // A reference names its syllable by position, unless the list
            // changed since; then look the syllable up by address.
            const std::size_t hint = static_cast<std::size_t>(static_cast<unsigned>(refs[i].index));
            const int syllable = hint < syllableCount && m_syllableById[hint] == sequence[i]
                                     ? static_cast<int>(hint)
                                     : Lookup(m_syllableIds, sequence[i]);
            if (syllable < 0 || !pairs.PushBack(PairKey(p, static_cast<std::size_t>(syllable)))) return false;
        }
    }
    if (!m_phraseSyllables.Build(phraseCount, pairs)) return false;

    // The trie of syllable sequences; a trie has at most one edge per syllable
    // of every phrase.
    std::size_t tableSize = 16;
    while (tableSize < 2 * pairs.Size()) tableSize *= 2;
    if (!m_rootChild.Reserve(syllableCount) || !ClearPairs(m_edges, tableSize) ||
        !m_hasChildren.Reserve(pairs.Size() + 1))
        return false;
    for (std::size_t s = 0; s < syllableCount; ++s) m_rootChild.PushBack(-1);
    m_hasChildren.PushBack(0);
    TArray<std::uint64_t> ends;
    for (std::size_t p = 0; p < phraseCount; ++p) {
        int node = 0;
        for (const int* s = m_phraseSyllables.Begin(p); s != m_phraseSyllables.End(p); ++s) {
            int child = node == 0 ? m_rootChild[static_cast<std::size_t>(*s)] : FindEdge(node, *s);
            if (child < 0) {
                child = static_cast<int>(m_hasChildren.Size());
                m_hasChildren.PushBack(0);
                m_hasChildren[static_cast<std::size_t>(node)] = 1;
                if (node == 0) {
                    m_rootChild[static_cast<std::size_t>(*s)] = child;
                } else {
                    InsertPair(m_edges, PairKey(static_cast<std::size_t>(node), static_cast<std::size_t>(*s)), child);
                }
            }
            node = child;
        }
        if (!ends.PushBack(PairKey(static_cast<std::size_t>(node), p))) return false;
    }
    const std::size_t nodeCount = m_hasChildren.Size();
    if (!m_nodeEnds.Build(nodeCount, ends)) return false;

    // The rules in checking order; combinations wait for their parts.
    TArray<std::uint64_t> bySyllable, byPhrase;
    TArray<std::uint64_t> parts;
    if (!m_rules.Reserve(rules.Count()) || !m_ruleLevel.Reserve(rules.Count())) return false;
    int ordinal = 0;
    for (CMatcherList::Node* node = rules.First(); node; node = node->next, ++ordinal) {
        m_rules.PushBack(node->matcher);
        m_ruleLevel.PushBack(INT_MIN);
        if (auto* phrase = dynamic_cast<CPhraseRule*>(node->matcher)) {
            m_ruleLevel[static_cast<std::size_t>(ordinal)] = phrase->GetLevel();
            continue;
        }
        auto* combo = dynamic_cast<CComboRule*>(node->matcher);
        if (!combo) {
            if (!m_alwaysCandidates.PushBack(ordinal)) return false;
            continue;
        }
        m_ruleLevel[static_cast<std::size_t>(ordinal)] = combo->GetLevel();
        const std::size_t c = m_comboRule.Size();
        parts.Clear();
        for (CMatcherList::Node* part = combo->Parts().First(); part; part = part->next) {
            const bool isPhrase = dynamic_cast<CPhraseRule*>(part->matcher) != nullptr;
            const int partId = Lookup(isPhrase ? m_phraseIds : m_syllableIds, part->matcher);
            if (partId < 0 || !parts.PushBack(PairKey(isPhrase, static_cast<std::size_t>(partId)))) return false;
        }
        std::sort(parts.Data(), parts.Data() + parts.Size());
        const std::uint64_t* end = std::unique(parts.Data(), parts.Data() + parts.Size());
        // Each part also names its bit in the combination's mask of parts
        // found; the 32nd and later share the last bit.
        const int need = static_cast<int>(end - parts.Data());
        for (const std::uint64_t* it = parts.Data(); it != end; ++it) {
            const std::size_t bit = static_cast<std::size_t>(it - parts.Data()) < kMaskBits
                                        ? static_cast<std::size_t>(it - parts.Data())
                                        : kMaskBits - 1;
            if (!((*it >> 32) ? byPhrase : bySyllable).PushBack(PairKey(*it & 0xFFFFFFFFu, c * kMaskBits + bit)))
                return false;
        }
        const std::uint32_t full = need > static_cast<int>(kMaskBits)    ? 0u
                                   : need == static_cast<int>(kMaskBits) ? ~0u
                                                                         : (1u << static_cast<unsigned>(need)) - 1u;
        if (!m_comboRule.PushBack(ordinal) || !m_need.PushBack(need) || !m_fullMask.PushBack(full)) return false;
    }
    if (!m_combosBySyllable.Build(syllableCount, bySyllable) || !m_combosByPhrase.Build(phraseCount, byPhrase))
        return false;
    if (!m_ruleIds.Reserve(m_rules.Size())) return false;
    for (std::size_t r = 0; r < m_rules.Size(); ++r) m_ruleIds.PushBack(AddressId{m_rules[r], static_cast<int>(r)});
    std::sort(m_ruleIds.Data(), m_ruleIds.Data() + m_ruleIds.Size(),
              [](const AddressId& a, const AddressId& b) { return AddressLess(a.address, b.address); });

    if (!m_syllableStamp.Reserve(syllableCount) || !m_phraseStamp.Reserve(phraseCount) ||
        !m_comboStamp.Reserve(m_comboRule.Size()) || !m_comboCount.Reserve(m_comboRule.Size()) ||
        !m_comboMask.Reserve(m_comboRule.Size()) || !m_knownParts.Reserve(m_comboRule.Size()) ||
        !m_candidates.Reserve(m_rules.Size()))
        return false;
    if (!m_nodeStamp.Reserve(nodeCount) || !m_nodeFound.Reserve(nodeCount)) return false;
    for (std::size_t s = 0; s < syllableCount; ++s) m_syllableStamp.PushBack(0);
    for (std::size_t p = 0; p < phraseCount; ++p) m_phraseStamp.PushBack(0);
    for (std::size_t v = 0; v < nodeCount; ++v) {
        m_nodeStamp.PushBack(0);
        m_nodeFound.PushBack(0);
    }
    for (std::size_t c = 0; c < m_comboRule.Size(); ++c) {
        m_comboStamp.PushBack(0);
        m_comboCount.PushBack(0);
        m_comboMask.PushBack(0);
        m_knownParts.PushBack(0);
    }
    // Per phrase rule the node its syllables lead to; per node those rules.
    if (!m_ruleNode.Reserve(m_rules.Size())) return false;
    for (std::size_t r = 0; r < m_rules.Size(); ++r) m_ruleNode.PushBack(-1);
    pairs.Clear();
    for (std::size_t v = 0; v < nodeCount; ++v) {
        for (const int* phrase = m_nodeEnds.Begin(v); phrase != m_nodeEnds.End(v); ++phrase) {
            const int rule = m_phraseRule[static_cast<std::size_t>(*phrase)];
            if (rule < 0) continue;
            m_ruleNode[static_cast<std::size_t>(rule)] = static_cast<int>(v);
            if (!pairs.PushBack(PairKey(v, static_cast<std::size_t>(rule)))) return false;
        }
    }
    if (!m_nodeRules.Build(nodeCount, pairs)) return false;
    m_ready = true;
    // Without the automaton (a shape it leaves to the walk below, or no
    // memory) checks walk the index's own way: slower, never different.
    if (!BuildAutomaton()) m_automaton.Reset();
    return true;
}

bool CRuleIndex::BuildAutomaton() {
    const std::size_t syllableCount = m_rootChild.Size();
    const std::size_t nodeCount = m_hasChildren.Size();
    if (!m_isPart.Reserve(syllableCount) || !m_hasEnds.Reserve(nodeCount)) return false;
    for (std::size_t s = 0; s < syllableCount; ++s)
        m_isPart.PushBack(m_combosBySyllable.Begin(s) != m_combosBySyllable.End(s) ? 1 : 0);
    for (std::size_t v = 0; v < nodeCount; ++v) m_hasEnds.PushBack(m_nodeEnds.Begin(v) != m_nodeEnds.End(v) ? 1 : 0);
    for (std::size_t p = 0; p < m_phrases.Size(); ++p) m_phraseEdges = m_phraseEdges || m_phrases[p]->Edges() != 0;
    if (!m_rulePhrase.Reserve(m_rules.Size())) return false;
    for (std::size_t r = 0; r < m_rules.Size(); ++r) m_rulePhrase.PushBack(-1);
    for (std::size_t p = 0; p < m_phraseRule.Size(); ++p)
        if (m_phraseRule[p] >= 0) m_rulePhrase[static_cast<std::size_t>(m_phraseRule[p])] = static_cast<int>(p);
    const CCheckAutomaton::PhraseTrie trie{m_syllableById.Data(), syllableCount,    m_rootChild.Data(), &m_edges,
                                           m_hasChildren.Data(),  m_hasEnds.Data(), m_isPart.Data()};
    return m_automaton.Build(trie);
}

}  // namespace chatsieve
