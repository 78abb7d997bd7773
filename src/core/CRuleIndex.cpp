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

std::uint64_t Pair(std::size_t key, std::size_t item) { return static_cast<std::uint64_t>(key) << 32 | item; }

bool AddressLess(const void* a, const void* b) { return std::less<const void*>()(a, b); }

constexpr std::uint64_t kNoPair = ~std::uint64_t{0};

std::size_t PairHash(std::uint64_t key) { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32); }

}  // namespace

bool CRuleIndex::Postings::Build(std::size_t keys, const TArray<std::uint64_t>& pairs) {
    if (!start.Reserve(keys + 1) || !items.Reserve(pairs.Size())) return false;
    start.Clear();
    items.Clear();
    for (std::size_t k = 0; k <= keys; ++k) start.PushBack(0);
    for (std::size_t i = 0; i < pairs.Size(); ++i) ++start[(pairs[i] >> 32) + 1];
    for (std::size_t k = 0; k < keys; ++k) start[k + 1] += start[k];
    for (std::size_t i = 0; i < pairs.Size(); ++i) items.PushBack(0);
    // Placed in the order given, so each key's items keep their order.
    TArray<int> fill;
    if (!fill.Reserve(keys)) return false;
    for (std::size_t k = 0; k < keys; ++k) fill.PushBack(start[k]);
    for (std::size_t i = 0; i < pairs.Size(); ++i)
        items[static_cast<std::size_t>(fill[pairs[i] >> 32]++)] = static_cast<int>(pairs[i] & 0xFFFFFFFFu);
    return true;
}

void CRuleIndex::Reset() {
    m_ready = false;
    m_rules.Reset();
    m_syllableIds.Reset();
    m_alwaysPresent.Reset();
    m_alwaysCandidates.Reset();
    for (Postings* postings :
         {&m_byCode, &m_phraseSyllables, &m_singles, &m_byPair, &m_combosBySyllable, &m_combosByPhrase}) {
        postings->start.Reset();
        postings->items.Reset();
    }
    for (Trie* trie : {&m_romanised, &m_split}) {
        trie->nodes.Reset();
        trie->rootByByte.Reset();
        trie->ends.Reset();
        trie->twoByteStart = false;
    }
    m_phrases.Reset();
    m_phraseIds.Reset();
    m_phraseRule.Reset();
    m_pairKeys.Reset();
    m_pairTable.Reset();
    m_comboRule.Reset();
    m_need.Reset();
    m_occurrenceStart.Reset();
    m_occurrences.Reset();
    m_frontier.Reset();
    m_reached.Reset();
    m_placeStamp.Reset();
    m_placeGeneration = 0;
    m_syllableStamp.Reset();
    m_phraseStamp.Reset();
    m_comboStamp.Reset();
    m_comboCount.Reset();
    m_candidates.Reset();
    m_generation = 0;
}

int CRuleIndex::FindChild(const Trie& trie, int node, unsigned key) {
    if (node == 0 && key < 256) return trie.rootByByte[key];
    int child = trie.nodes[static_cast<std::size_t>(node)].firstChild;
    while (child >= 0 && trie.nodes[static_cast<std::size_t>(child)].value != key)
        child = trie.nodes[static_cast<std::size_t>(child)].nextSibling;
    return child;
}

int CRuleIndex::Lookup(const TArray<AddressId>& ids, const void* address) {
    const AddressId* first = ids.Data();
    const AddressId* last = first + ids.Size();
    const AddressId* it = std::lower_bound(first, last, address,
                                           [](const AddressId& a, const void* b) { return AddressLess(a.address, b); });
    return it != last && it->address == address ? it->id : -1;
}

bool CRuleIndex::InsertForm(Trie& trie, const char* form, bool fold, int syllable) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(form);
    int node = 0;
    unsigned value = 0;
    std::size_t pos = 0;
    for (std::size_t width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        const unsigned key = fold ? FoldCase(value) : value;
        int child = FindChild(trie, node, key);
        if (child < 0) {
            child = static_cast<int>(trie.nodes.Size());
            if (!trie.nodes.PushBack(TrieNode{key, -1, trie.nodes[static_cast<std::size_t>(node)].firstChild, -1}))
                return false;
            trie.nodes[static_cast<std::size_t>(node)].firstChild = child;
            if (node == 0 && key < 256) trie.rootByByte[key] = child;
            if (node == 0 && key >= 256) trie.twoByteStart = true;
        }
        node = child;
    }
    TrieNode& end = trie.nodes[static_cast<std::size_t>(node)];
    if (!trie.ends.PushBack(TrieEnd{syllable, static_cast<int>(pos), end.firstEnd})) return false;
    end.firstEnd = static_cast<int>(trie.ends.Size()) - 1;
    return true;
}

bool CRuleIndex::Build(const CMatcherList& rules, const CMatcherList& syllables) {
    Reset();

    // Syllables: ids are positions in the syllable list.
    if (!m_syllableIds.Reserve(syllables.Count())) return false;
    int id = 0;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next) {
        if (!dynamic_cast<CSyllable*>(node->matcher)) return false;
        m_syllableIds.PushBack(AddressId{node->matcher, id++});
    }
    const std::size_t syllableCount = m_syllableIds.Size();
    std::sort(m_syllableIds.Data(), m_syllableIds.Data() + syllableCount,
              [](const AddressId& a, const AddressId& b) { return AddressLess(a.address, b.address); });

    // Where each syllable can start.
    for (Trie* trie : {&m_romanised, &m_split}) {
        if (!trie->nodes.PushBack(TrieNode{0, -1, -1, -1}) || !trie->rootByByte.Reserve(256)) return false;
        for (int b = 0; b < 256; ++b) trie->rootByByte.PushBack(-1);
    }
    TArray<std::uint64_t> pairs;
    id = 0;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next, ++id) {
        const CSyllable* syllable = static_cast<const CSyllable*>(node->matcher);
        const char* forms[2] = {syllable->Romanised(), syllable->SplitForm()};
        bool always = false;
        for (int f = 0; f < 2; ++f) {
            if (!forms[f]) continue;
            if (forms[f][0] == 0)
                always = true;
            else if (!InsertForm(f == 0 ? m_romanised : m_split, forms[f], f == 0, id))
                return false;
        }
        if (always && !m_alwaysPresent.PushBack(id)) return false;
        for (int k = 0; k < syllable->CodeRangeCount(); ++k) {
            const unsigned char* range = syllable->Codes() + 3 * k;
            // A range never matches the terminator, as a lead or as a second byte.
            if (range[0] == 0) continue;
            for (unsigned trail = range[1] ? range[1] : 1; trail <= range[2]; ++trail)
                if (!pairs.PushBack(Pair(range[0] << 8 | trail, static_cast<std::size_t>(id)))) return false;
        }
    }
    if (!m_byCode.Build(65536, pairs)) return false;

    // Phrase rules, whether checked themselves or only parts of combinations.
    for (CMatcherList::Node* node = rules.First(); node; node = node->next) {
        if (auto* phrase = dynamic_cast<CPhraseRule*>(node->matcher)) {
            if (!m_phraseIds.PushBack(AddressId{phrase, 0})) return false;
        } else if (auto* combo = dynamic_cast<CComboRule*>(node->matcher)) {
            for (CMatcherList::Node* part = combo->Parts().First(); part; part = part->next)
                if (auto* phrasePart = dynamic_cast<CPhraseRule*>(part->matcher))
                    if (!m_phraseIds.PushBack(AddressId{phrasePart, 0})) return false;
        }
    }
    std::sort(m_phraseIds.Data(), m_phraseIds.Data() + m_phraseIds.Size(),
              [](const AddressId& a, const AddressId& b) { return AddressLess(a.address, b.address); });
    AddressId* unique = std::unique(m_phraseIds.Data(), m_phraseIds.Data() + m_phraseIds.Size(),
                                    [](const AddressId& a, const AddressId& b) { return a.address == b.address; });
    m_phraseIds.Truncate(static_cast<std::size_t>(unique - m_phraseIds.Data()));
    const std::size_t phraseCount = m_phraseIds.Size();
    if (!m_phrases.Reserve(phraseCount) || !m_phraseRule.Reserve(phraseCount)) return false;
    for (std::size_t p = 0; p < phraseCount; ++p) {
        m_phraseIds[p].id = static_cast<int>(p);
        m_phrases.PushBack(static_cast<CPhraseRule*>(const_cast<void*>(m_phraseIds[p].address)));
        m_phraseRule.PushBack(-1);
    }
    pairs.Clear();
    TArray<std::uint64_t> singles;
    struct Start {
        std::uint64_t key;  // first << 32 | second syllable
        int phrase;
    };
    TArray<Start> firstTwo;
    for (std::size_t p = 0; p < phraseCount; ++p) {
        const TArray<CMatcher*>& sequence = m_phrases[p]->Syllables();
        for (std::size_t i = 0; i < sequence.Size(); ++i) {
            const int syllable = Lookup(m_syllableIds, sequence[i]);
            if (syllable < 0 || !pairs.PushBack(Pair(p, static_cast<std::size_t>(syllable)))) return false;
        }
    }
    if (!m_phraseSyllables.Build(phraseCount, pairs)) return false;
    for (std::size_t p = 0; p < phraseCount; ++p) {
        const int* sequence = m_phraseSyllables.Begin(p);
        const std::size_t count = static_cast<std::size_t>(m_phraseSyllables.End(p) - sequence);
        const bool ok = count == 1 ? singles.PushBack(Pair(static_cast<std::size_t>(sequence[0]), p))
                                   : firstTwo.PushBack(Start{Pair(static_cast<std::size_t>(sequence[0]),
                                                                  static_cast<std::size_t>(sequence[1])),
                                                             static_cast<int>(p)});
        if (!ok) return false;
    }
    if (!m_singles.Build(syllableCount, singles)) return false;
    // Pairs of first syllables, sorted, each owning the phrases that start so.
    std::stable_sort(firstTwo.Data(), firstTwo.Data() + firstTwo.Size(),
                     [](const Start& a, const Start& b) { return a.key < b.key; });
    pairs.Clear();
    for (std::size_t i = 0; i < firstTwo.Size(); ++i) {
        const std::uint64_t key = firstTwo[i].key;
        if ((m_pairKeys.Empty() || m_pairKeys[m_pairKeys.Size() - 1] != key) && !m_pairKeys.PushBack(key)) return false;
        if (!pairs.PushBack(Pair(m_pairKeys.Size() - 1, static_cast<std::size_t>(firstTwo[i].phrase)))) return false;
    }
    if (!m_byPair.Build(m_pairKeys.Size(), pairs)) return false;
    std::size_t tableSize = 16;
    while (tableSize < 2 * m_pairKeys.Size()) tableSize *= 2;
    if (!m_pairTable.Reserve(tableSize)) return false;
    for (std::size_t i = 0; i < tableSize; ++i) m_pairTable.PushBack(PairSlot{kNoPair, -1});
    for (std::size_t i = 0; i < m_pairKeys.Size(); ++i) {
        std::size_t slot = PairHash(m_pairKeys[i]) & (tableSize - 1);
        while (m_pairTable[slot].key != kNoPair) slot = (slot + 1) & (tableSize - 1);
        m_pairTable[slot] = PairSlot{m_pairKeys[i], static_cast<int>(i)};
    }

    // The rules in checking order; combinations wait for their parts.
    TArray<std::uint64_t> bySyllable, byPhrase;
    TArray<std::uint64_t> parts;
    if (!m_rules.Reserve(rules.Count())) return false;
    int ordinal = 0;
    for (CMatcherList::Node* node = rules.First(); node; node = node->next, ++ordinal) {
        m_rules.PushBack(node->matcher);
        if (auto* phrase = dynamic_cast<CPhraseRule*>(node->matcher)) {
            m_phraseRule[static_cast<std::size_t>(Lookup(m_phraseIds, phrase))] = ordinal;
            continue;
        }
        auto* combo = dynamic_cast<CComboRule*>(node->matcher);
        if (!combo) {
            if (!m_alwaysCandidates.PushBack(ordinal)) return false;
            continue;
        }
        const std::size_t c = m_comboRule.Size();
        parts.Clear();
        for (CMatcherList::Node* part = combo->Parts().First(); part; part = part->next) {
            const bool isPhrase = dynamic_cast<CPhraseRule*>(part->matcher) != nullptr;
            const int partId = Lookup(isPhrase ? m_phraseIds : m_syllableIds, part->matcher);
            if (partId < 0 || !parts.PushBack(Pair(isPhrase, static_cast<std::size_t>(partId)))) return false;
        }
        std::sort(parts.Data(), parts.Data() + parts.Size());
        const std::uint64_t* end = std::unique(parts.Data(), parts.Data() + parts.Size());
        for (const std::uint64_t* it = parts.Data(); it != end; ++it)
            if (!((*it >> 32) ? byPhrase : bySyllable).PushBack(Pair(*it & 0xFFFFFFFFu, c))) return false;
        if (!m_comboRule.PushBack(ordinal) || !m_need.PushBack(static_cast<int>(end - parts.Data()))) return false;
    }
    if (!m_combosBySyllable.Build(syllableCount, bySyllable) || !m_combosByPhrase.Build(phraseCount, byPhrase))
        return false;

    if (!m_syllableStamp.Reserve(syllableCount) || !m_phraseStamp.Reserve(phraseCount) ||
        !m_comboStamp.Reserve(m_comboRule.Size()) || !m_comboCount.Reserve(m_comboRule.Size()) ||
        !m_candidates.Reserve(m_rules.Size()))
        return false;
    for (std::size_t s = 0; s < syllableCount; ++s) m_syllableStamp.PushBack(0);
    for (std::size_t p = 0; p < phraseCount; ++p) m_phraseStamp.PushBack(0);
    for (std::size_t c = 0; c < m_comboRule.Size(); ++c) {
        m_comboStamp.PushBack(0);
        m_comboCount.PushBack(0);
    }
    m_ready = true;
    return true;
}

void CRuleIndex::RecordForms(const Trie& trie, const unsigned char* text, bool fold) {
    // Most text is two-byte characters and most forms start with a letter.
    if (!trie.twoByteStart && IsLeadByte(text[0])) return;
    int node = 0;
    unsigned value = 0;
    for (std::size_t pos = 0, width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        node = FindChild(trie, node, fold ? FoldCase(value) : value);
        if (node < 0) return;
        for (int e = trie.nodes[static_cast<std::size_t>(node)].firstEnd; e >= 0;
             e = trie.ends[static_cast<std::size_t>(e)].next) {
            const TrieEnd& end = trie.ends[static_cast<std::size_t>(e)];
            AddOccurrence(end.syllable, end.length);
        }
    }
}

void CRuleIndex::AddOccurrence(int syllable, int length) {
    // An occurrence left out would hide a rule that matches: remember it.
    if (!m_occurrences.PushBack(Occurrence{syllable, length})) m_outOfMemory = true;
}

bool CRuleIndex::Record(const unsigned char* text, std::size_t n) {
    m_occurrences.Clear();
    m_outOfMemory = false;
    // The arrays keep their storage, so after the first long lines a check
    // allocates nothing.
    if (!m_occurrenceStart.Reserve(n + 2) || !m_frontier.Reserve(n + 2) || !m_reached.Reserve(n + 2)) return false;
    // Places stamped by Follows: every place a step can reach, n + 1 included.
    while (m_placeStamp.Size() < n + 2)
        if (!m_placeStamp.PushBack(0)) return false;
    int* start = m_occurrenceStart.Data();
    const bool anySplit = m_split.nodes[0].firstChild >= 0;
    for (std::size_t p = 0; p <= n; ++p) {
        start[p] = static_cast<int>(m_occurrences.Size());
        if (p < n) {
            const std::size_t code = static_cast<std::size_t>(text[p]) << 8 | text[p + 1];
            for (const int* s = m_byCode.Begin(code); s != m_byCode.End(code); ++s) AddOccurrence(*s, 2);
            // Most bytes start no romanised form: look at the first before walking.
            if (!IsLeadByte(text[p]) ? m_romanised.rootByByte[FoldCase(text[p])] >= 0 : m_romanised.twoByteStart)
                RecordForms(m_romanised, text + p, true);
            if (anySplit) RecordForms(m_split, text + p, false);
        }
        for (std::size_t i = 0; i < m_alwaysPresent.Size(); ++i) AddOccurrence(m_alwaysPresent[i], 0);
    }
    start[n + 1] = static_cast<int>(m_occurrences.Size());
    m_occurrenceStart.SetFilled(n + 2);
    return !m_outOfMemory;
}

int CRuleIndex::FindPair(std::uint64_t key) const {
    const std::size_t mask = m_pairTable.Size() - 1;
    for (std::size_t slot = PairHash(key) & mask;; slot = (slot + 1) & mask) {
        const PairSlot& entry = m_pairTable[slot];
        if (entry.key == key) return entry.pair;
        if (entry.key == kNoPair) return -1;
    }
}

bool CRuleIndex::Follows(int phrase, int next, std::size_t at) {
    // A syllable can occur several times at one place (a split form equal to
    // the romanised one, say), so following every occurrence one by one would
    // branch at each step. Instead walk the set of places the phrase may have
    // reached after each of its syllables: each place is taken once per step,
    // so a phrase costs at most its length times the occurrences of the text.
    const int* sequence = m_phraseSyllables.Begin(static_cast<std::size_t>(phrase));
    const int* last = m_phraseSyllables.End(static_cast<std::size_t>(phrase));
    m_frontier.Clear();
    m_frontier.PushBack(static_cast<int>(at));
    for (const int* step = sequence + next; step != last; ++step) {
        if (m_frontier.Empty()) return false;
        if (++m_placeGeneration == 0) {
            for (std::size_t i = 0; i < m_placeStamp.Size(); ++i) m_placeStamp[i] = 0;
            m_placeGeneration = 1;
        }
        m_reached.Clear();
        for (std::size_t f = 0; f < m_frontier.Size(); ++f) {
            const std::size_t place = static_cast<std::size_t>(m_frontier[f]);
            const int end = m_occurrenceStart[place + 1];
            for (int i = m_occurrenceStart[place]; i < end; ++i) {
                const Occurrence& o = m_occurrences[static_cast<std::size_t>(i)];
                if (o.syllable != *step) continue;
                const std::size_t to = place + static_cast<std::size_t>(o.length);
                if (m_placeStamp[to] == m_placeGeneration) continue;
                m_placeStamp[to] = m_placeGeneration;
                m_reached.PushBack(static_cast<int>(to));
            }
        }
        m_frontier.Swap(m_reached);
    }
    return !m_frontier.Empty();
}

void CRuleIndex::CountPart(const Postings& postings, int key) {
    for (const int* c = postings.Begin(static_cast<std::size_t>(key)); c != postings.End(static_cast<std::size_t>(key));
         ++c) {
        const std::size_t combo = static_cast<std::size_t>(*c);
        if (m_comboStamp[combo] != m_generation) {
            m_comboStamp[combo] = m_generation;
            m_comboCount[combo] = 0;
        }
        if (++m_comboCount[combo] == m_need[combo]) m_candidates.PushBack(m_comboRule[combo]);
    }
}

void CRuleIndex::PhraseFound(int phrase) {
    unsigned& stamp = m_phraseStamp[static_cast<std::size_t>(phrase)];
    if (stamp == m_generation) return;
    stamp = m_generation;
    if (m_phraseRule[static_cast<std::size_t>(phrase)] >= 0)
        m_candidates.PushBack(m_phraseRule[static_cast<std::size_t>(phrase)]);
    CountPart(m_combosByPhrase, phrase);
}

void CRuleIndex::FindPhrases(std::size_t n) {
    const bool anyPairs = !m_pairKeys.Empty();
    for (std::size_t p = 0; p <= n; ++p) {
        for (int i = m_occurrenceStart[p]; i < m_occurrenceStart[p + 1]; ++i) {
            const Occurrence first = m_occurrences[static_cast<std::size_t>(i)];
            const std::size_t s1 = static_cast<std::size_t>(first.syllable);
            if (m_syllableStamp[s1] != m_generation) {
                m_syllableStamp[s1] = m_generation;
                CountPart(m_combosBySyllable, first.syllable);
            }
            for (const int* phrase = m_singles.Begin(s1); phrase != m_singles.End(s1); ++phrase) PhraseFound(*phrase);
            if (!anyPairs) continue;
            const std::size_t q = p + static_cast<std::size_t>(first.length);
            for (int j = m_occurrenceStart[q]; j < m_occurrenceStart[q + 1]; ++j) {
                const Occurrence second = m_occurrences[static_cast<std::size_t>(j)];
                const std::uint64_t key = Pair(s1, static_cast<std::size_t>(second.syllable));
                const int found = FindPair(key);
                if (found < 0) continue;
                const std::size_t slot = static_cast<std::size_t>(found);
                for (const int* phrase = m_byPair.Begin(slot); phrase != m_byPair.End(slot); ++phrase)
                    if (m_phraseStamp[static_cast<std::size_t>(*phrase)] != m_generation &&
                        Follows(*phrase, 2, q + static_cast<std::size_t>(second.length)))
                        PhraseFound(*phrase);
            }
        }
    }
}

bool CRuleIndex::FindCandidates(char* text) {
    if (++m_generation == 0) {
        // The stamps wrapped around: start them afresh.
        for (TArray<unsigned>* stamps : {&m_syllableStamp, &m_phraseStamp, &m_comboStamp})
            for (std::size_t i = 0; i < stamps->Size(); ++i) (*stamps)[i] = 0;
        m_generation = 1;
    }
    const std::size_t n = std::strlen(text);
    if (!Record(reinterpret_cast<const unsigned char*>(text), n)) return false;
    m_candidates.Clear();
    FindPhrases(n);
    for (std::size_t i = 0; i < m_alwaysCandidates.Size(); ++i) m_candidates.PushBack(m_alwaysCandidates[i]);
    return true;
}

bool CRuleIndex::Check(char* text, int ceiling, int* offset, int* length, int* level) {
    m_decided = -1;
    m_decidedFirst = false;
    if (!FindCandidates(text)) return false;
    std::sort(m_candidates.Data(), m_candidates.Data() + m_candidates.Size());
    for (std::size_t i = 0; i < m_candidates.Size(); ++i) {
        CMatcher* rule = m_rules[static_cast<std::size_t>(m_candidates[i])];
        if (rule->Match(text, 0, offset, length, level) == 1 && *level <= ceiling) {
            m_decided = m_candidates[i];
            m_decidedFirst = i == 0;
            return true;
        }
    }
    *level = 0;
    return true;
}

int CRuleIndex::TouchesRulesBefore(char* text, int ordinal) {
    if (!FindCandidates(text)) return -1;
    for (std::size_t i = 0; i < m_candidates.Size(); ++i)
        if (m_candidates[i] < ordinal) return 1;
    // A combination needs all its parts somewhere in the line: one turning
    // up here may complete it.
    for (std::size_t c = 0; c < m_comboRule.Size(); ++c)
        if (m_comboRule[c] < ordinal && m_comboStamp[c] == m_generation) return 1;
    return 0;
}

}  // namespace chatsieve
