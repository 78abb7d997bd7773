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
    // One slot more than the result keeps: key k's count goes to k + 2, so
    // that after the sums slot k + 1 is where k's items begin, and placing
    // them moves it on to where k + 1's begin, which is what it must hold.
    if (!start.Reserve(keys + 2) || !items.Reserve(pairs.Size())) return false;
    int* first = start.Data();
    std::memset(first, 0, (keys + 2) * sizeof(int));
    for (std::size_t i = 0; i < pairs.Size(); ++i) ++first[(pairs[i] >> 32) + 2];
    // The running sums, four keys a step: the keys are mostly trie nodes,
    // and most nodes end no phrase, so this loop is most of the work.
    int sum = 0;
    int* count = first + 2;
    int* const last = first + keys + 2;
    for (; last - count >= 4; count += 4) {
        count[0] = sum += count[0];
        count[1] = sum += count[1];
        count[2] = sum += count[2];
        count[3] = sum += count[3];
    }
    for (; count != last; ++count) *count = sum += *count;
    // Placed in the order given, so each key's items keep their order.
    int* item = items.Data();
    for (std::size_t i = 0; i < pairs.Size(); ++i)
        item[first[(pairs[i] >> 32) + 1]++] = static_cast<int>(pairs[i] & 0xFFFFFFFFu);
    start.SetFilled(keys + 1);
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
    m_triggered.Reset();
    m_syllableById.Reset();
    m_hasEnds.Reset();
    m_isPart.Reset();
    m_rules.Reset();
    m_ordinals.Reset();
    m_emptyRomanised.Reset();
    m_emptySplit.Reset();
    for (unsigned char& start : m_formStart) start = 0;
    m_emptyForms = false;
    m_formStamp.Reset();
    m_formGeneration = 0;
    m_walk.Reset();
    m_alwaysCandidates.Reset();
    for (Postings* postings : {&m_byCode, &m_phraseSyllables, &m_nodeEnds, &m_nodeRules, &m_combosBySyllable,
                               &m_combosByPhrase, &m_triggerBySyllable, &m_triggerByPhrase, &m_comboParts}) {
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
    m_phraseRule.Reset();
    m_phraseTrie.Reset();
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
    m_cutReady = false;
    m_cutText.Reset();
    m_sameUntil = INT_MAX;
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

    // Syllables: ids are positions in the syllable list. Combinations name
    // their parts by address alone, so the ids are kept by address too,
    // while the index is built.
    const std::size_t syllableCount = syllables.Count();
    TArray<PairSlot> syllableIds;
    if (!m_syllableById.Reserve(syllableCount) || !ClearPairs(syllableIds, PairSlotsFor(syllableCount))) return false;
    for (CMatcherList::Node* node = syllables.First(); node; node = node->next) {
        const CSyllable* syllable = As<CSyllable>(node->matcher);
        if (!syllable) return false;
        InsertPair(syllableIds, AddressKey(syllable), static_cast<int>(m_syllableById.Size()));
        m_syllableById.PushBack(syllable);
    }
    int id = 0;

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

    // The rules in checking order, in one pass. Phrase rules, whether
    // checked themselves or only parts of combinations, are numbered as they
    // come: a rule at its place, a part with the combination that first
    // names it. m_ordinals answers for every rule and every such phrase by
    // address: a rule's ordinal, or -2 - id for a phrase that is only a part.
    const std::size_t ruleCount = rules.Count();
    std::size_t partCount = 0;
    for (CMatcherList::Node* node = rules.First(); node; node = node->next)
        if (const CComboRule* combo = As<CComboRule>(node->matcher)) partCount += combo->Parts().Count();
    if (!ClearPairs(m_ordinals, PairSlotsFor(ruleCount + partCount)) || !m_rules.Reserve(ruleCount) ||
        !m_ruleLevel.Reserve(ruleCount) || !m_rulePhrase.Assign(ruleCount, -1) ||
        !m_phrases.Reserve(ruleCount + partCount) || !m_phraseRule.Reserve(ruleCount + partCount))
        return false;
    // The phrase id of `phrase`, numbering it when it is new; `ordinal` is
    // its rule ordinal, -1 for a part.
    const auto phraseId = [this](CPhraseRule* phrase, int ordinal) {
        PairSlot& slot = FindPairSlot(m_ordinals, AddressKey(phrase));
        if (slot.key == kNoPair) {
            const int fresh = static_cast<int>(m_phrases.Size());
            m_phrases.PushBack(phrase);
            m_phraseRule.PushBack(ordinal);
            slot = PairSlot{AddressKey(phrase), ordinal >= 0 ? ordinal : -2 - fresh};
            if (ordinal >= 0) m_rulePhrase[static_cast<std::size_t>(ordinal)] = fresh;
            return fresh;
        }
        const int known = slot.value >= 0 ? m_rulePhrase[static_cast<std::size_t>(slot.value)] : -2 - slot.value;
        if (ordinal >= 0) {
            // A rule named before as a part keeps its ordinal.
            m_phraseRule[static_cast<std::size_t>(known)] = ordinal;
            m_rulePhrase[static_cast<std::size_t>(ordinal)] = known;
            slot.value = ordinal;
        }
        return known;
    };
    // Combinations wait for their parts: (phrase or syllable id, part bit).
    // A check waits for one part alone, a phrase where there is one (rarer
    // than a syllable), and then looks for the others: (id, combination).
    TArray<std::uint64_t> bySyllable, byPhrase, triggerSyllable, triggerPhrase, comboParts;
    TArray<std::uint64_t> parts;
    int ordinal = 0;
    for (CMatcherList::Node* node = rules.First(); node; node = node->next, ++ordinal) {
        CMatcher* rule = node->matcher;
        m_rules.PushBack(rule);
        m_ruleLevel.PushBack(INT_MIN);
        if (CPhraseRule* phrase = As<CPhraseRule>(rule)) {
            m_ruleLevel[static_cast<std::size_t>(ordinal)] = phrase->GetLevel();
            // Mostly a rule not named before, as a part: numbered here, as
            // phraseId numbers it, without the call.
            PairSlot& slot = FindPairSlot(m_ordinals, AddressKey(phrase));
            if (slot.key != kNoPair) {
                phraseId(phrase, ordinal);
                continue;
            }
            m_rulePhrase[static_cast<std::size_t>(ordinal)] = static_cast<int>(m_phrases.Size());
            slot = PairSlot{AddressKey(phrase), ordinal};
            m_phrases.PushBack(phrase);
            m_phraseRule.PushBack(ordinal);
            continue;
        }
        FindPairSlot(m_ordinals, AddressKey(rule)) = PairSlot{AddressKey(rule), ordinal};
        CComboRule* combo = As<CComboRule>(rule);
        if (!combo) {
            if (!m_alwaysCandidates.PushBack(ordinal)) return false;
            continue;
        }
        m_ruleLevel[static_cast<std::size_t>(ordinal)] = combo->GetLevel();
        const std::size_t c = m_comboRule.Size();
        parts.Clear();
        for (CMatcherList::Node* part = combo->Parts().First(); part; part = part->next) {
            CPhraseRule* phrasePart = As<CPhraseRule>(part->matcher);
            const int partId =
                phrasePart ? phraseId(phrasePart, -1) : ProbePair(syllableIds, AddressKey(part->matcher));
            if (partId < 0 || !parts.PushBack(PairKey(phrasePart != nullptr, static_cast<std::size_t>(partId))))
                return false;
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
        for (const std::uint64_t* it = parts.Data(); it != end; ++it)
            if (!comboParts.PushBack(PairKey(c, (*it & 0xFFFFFFFFu) * 2 + (*it >> 32)))) return false;
        // Phrase parts sort last.
        const std::uint64_t trigger = *(end - 1);
        if (!((trigger >> 32) ? triggerPhrase : triggerSyllable).PushBack(PairKey(trigger & 0xFFFFFFFFu, c)))
            return false;
        const std::uint32_t full = need > static_cast<int>(kMaskBits)    ? 0u
                                   : need == static_cast<int>(kMaskBits) ? ~0u
                                                                         : (1u << static_cast<unsigned>(need)) - 1u;
        if (!m_comboRule.PushBack(ordinal) || !m_need.PushBack(need) || !m_fullMask.PushBack(full)) return false;
    }
    const std::size_t phraseCount = m_phrases.Size();
    if (!m_combosBySyllable.Build(syllableCount, bySyllable) || !m_combosByPhrase.Build(phraseCount, byPhrase) ||
        !m_triggerBySyllable.Build(syllableCount, triggerSyllable) ||
        !m_triggerByPhrase.Build(phraseCount, triggerPhrase) || !m_comboParts.Build(m_comboRule.Size(), comboParts) ||
        !m_triggered.Reserve(m_comboRule.Size()))
        return false;

    // Each phrase's syllable ids, in phrase order. A reference names its
    // syllable by position, unless the list changed since; then the syllable
    // is looked up by address. Syllables no phrase or combination holds are
    // left out of the automaton.
    //
    // Along with them, the trie of syllable sequences, numbered as phrases
    // reach new nodes and only ever walked by Child, so it keeps no child
    // lists; a trie has at most one node per syllable of every phrase
    // besides its root. The root's edges are found by label; the others are
    // at most the syllables after each phrase's first, but phrases share
    // beginnings (on real lists a quarter of those syllables lead to no new
    // node), so the edge table starts with room for half of them and grows
    // should fewer be shared.
    TArray<unsigned char> used;
    std::size_t refTotal = 0;
    for (std::size_t p = 0; p < phraseCount; ++p) refTotal += m_phrases[p]->Syllables().Size();
    const std::size_t laterSyllables = refTotal > phraseCount ? refTotal - phraseCount : 0;
    TArray<std::uint64_t> ends;
    if (!m_phraseSyllables.start.Reserve(phraseCount + 1) || !m_phraseSyllables.items.Reserve(refTotal) ||
        !used.Assign(syllableCount, 0) ||
        !m_phraseTrie.Start(syllableCount, laterSyllables / 2 + 1, CTrie::Lists::kNone) ||
        !m_hasChildren.Assign(refTotal + 1, 0) || !ends.Reserve(phraseCount))
        return false;
    if (!AddPhrasePaths(syllableIds, used.Data(), ends)) return false;
    for (std::size_t s = 0; s < syllableCount; ++s)
        if (m_combosBySyllable.Begin(s) != m_combosBySyllable.End(s)) used[s] = 1;
    m_phraseTrie.Freeze();
    const std::size_t nodeCount = m_phraseTrie.Size();
    m_hasChildren.Truncate(nodeCount);
    if (!m_nodeEnds.Build(nodeCount, ends)) return false;

    const std::size_t comboCount = m_comboRule.Size();
    if (!m_syllableStamp.Assign(syllableCount, 0) || !m_phraseStamp.Assign(phraseCount, 0) ||
        !m_comboStamp.Assign(comboCount, 0) || !m_comboCount.Assign(comboCount, 0) ||
        !m_comboMask.Assign(comboCount, 0) || !m_knownParts.Assign(comboCount, 0) || !m_candidates.Reserve(ruleCount) ||
        !m_nodeStamp.Assign(nodeCount, 0) || !m_nodeFound.Assign(nodeCount, 0))
        return false;
    // Per phrase rule the node its syllables lead to; per node those rules,
    // in phrase order as the node's ends are, from the (node, phrase) pairs
    // rather than a visit of every node.
    if (!m_ruleNode.Assign(ruleCount, -1)) return false;
    std::size_t ruleEnds = 0;
    for (std::size_t i = 0; i < ends.Size(); ++i) {
        const int rule = m_phraseRule[static_cast<std::size_t>(ends[i] & 0xFFFFFFFFu)];
        if (rule < 0) continue;
        m_ruleNode[static_cast<std::size_t>(rule)] = static_cast<int>(ends[i] >> 32);
        ends[ruleEnds++] = PairKey(static_cast<std::size_t>(ends[i] >> 32), static_cast<std::size_t>(rule));
    }
    ends.Truncate(ruleEnds);
    if (!m_nodeRules.Build(nodeCount, ends)) return false;
    m_ready = true;
    // Without the automaton (a shape it leaves to the walk below, or no
    // memory) checks walk the index's own way: slower, never different.
    if (!BuildAutomaton(used.Data())) m_automaton.Reset();
    return true;
}

bool CRuleIndex::AddPhrasePaths(const TArray<PairSlot>& syllableIds, unsigned char* used, TArray<std::uint64_t>& ends) {
    // Its own function, with what the loops read in locals: inside Build the
    // compiler kept them on the stack and read them again a syllable.
    const std::size_t phraseCount = m_phrases.Size();
    const std::size_t syllableCount = m_syllableById.Size();
    CPhraseRule* const* phrases = m_phrases.Data();
    int* sequenceStart = m_phraseSyllables.start.Data();
    int* sequenceItem = m_phraseSyllables.items.Data();
    const CSyllable* const* byId = m_syllableById.Data();
    unsigned char* hasChildren = m_hasChildren.Data();
    std::uint64_t* endAt = ends.Data();  // room for a pair a phrase
    // A word's forms are listed one after another and mostly begin alike,
    // so the nodes the phrase before passed through are kept: the part of
    // the path a phrase shares with it is not looked up again (those nodes
    // already have children), and the trie grows as it would otherwise.
    TArray<int> path;  // path[d]: the node after d + 1 syllables of the phrase before
    std::size_t longest = 0;
    for (std::size_t p = 0; p < phraseCount; ++p) longest = std::max(longest, phrases[p]->Syllables().Size());
    if (!path.Assign(longest, 0)) return false;
    int* pathNodes = path.Data();
    const int* before = nullptr;
    std::size_t beforeLength = 0;
    int filled = 0;
    for (std::size_t p = 0; p < phraseCount; ++p) {
        sequenceStart[p] = filled;
        int* ids = sequenceItem + filled;
        const CPhraseRule::SyllableRun sequence = phrases[p]->Syllables();
        const RefEntry* refs = phrases[p]->Refs();
        const std::size_t length = sequence.Size();
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t hint = static_cast<std::size_t>(static_cast<unsigned>(refs[i].index));
            const int syllable = hint < syllableCount && byId[hint] == sequence[i]
                                     ? static_cast<int>(hint)
                                     : ProbePair(syllableIds, AddressKey(sequence[i]));
            if (syllable < 0) return false;
            ids[i] = syllable;
            used[static_cast<std::size_t>(syllable)] = 1;
        }
        filled += static_cast<int>(length);

        std::size_t shared = 0;
        while (shared < length && shared < beforeLength && ids[shared] == before[shared]) ++shared;
        int node = shared > 0 ? pathNodes[shared - 1] : 0;
        for (std::size_t d = shared; d < length; ++d) {
            const int child = m_phraseTrie.Add(node, static_cast<unsigned>(ids[d]));
            if (child < 0) return false;
            hasChildren[node] = 1;
            node = child;
            pathNodes[d] = child;
        }
        before = ids;
        beforeLength = length;
        endAt[p] = PairKey(static_cast<std::size_t>(node), p);
    }
    sequenceStart[phraseCount] = filled;
    m_phraseSyllables.start.SetFilled(phraseCount + 1);
    m_phraseSyllables.items.SetFilled(static_cast<std::size_t>(filled));
    ends.SetFilled(phraseCount);
    return true;
}

bool CRuleIndex::BuildAutomaton(const unsigned char* used) {
    const std::size_t syllableCount = m_syllableById.Size();
    const std::size_t nodeCount = m_phraseTrie.Size();
    if (!m_isPart.Reserve(syllableCount) || !m_hasEnds.Reserve(nodeCount)) return false;
    for (std::size_t s = 0; s < syllableCount; ++s)
        m_isPart.Data()[s] = static_cast<unsigned char>(
            (m_combosBySyllable.Begin(s) != m_combosBySyllable.End(s) ? CCheckAutomaton::kPart : 0) |
            (m_triggerBySyllable.Begin(s) != m_triggerBySyllable.End(s) ? CCheckAutomaton::kPartTrigger : 0));
    m_isPart.SetFilled(syllableCount);
    const int* endsStart = m_nodeEnds.start.Data();
    unsigned char* hasEnds = m_hasEnds.Data();
    for (std::size_t v = 0; v < nodeCount; ++v) hasEnds[v] = endsStart[v + 1] != endsStart[v] ? 1 : 0;
    m_hasEnds.SetFilled(nodeCount);
    for (std::size_t p = 0; p < m_phrases.Size(); ++p) m_phraseEdges = m_phraseEdges || m_phrases[p]->Edges() != 0;
    const CCheckAutomaton::PhraseTrie trie{m_syllableById.Data(), syllableCount,    &m_phraseTrie,
                                           m_hasChildren.Data(),  m_hasEnds.Data(), m_isPart.Data()};
    return m_automaton.Build(trie, used);
}

}  // namespace chatsieve
