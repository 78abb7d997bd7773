#include "run/CRuleIndex.h"

#include <algorithm>
#include <cstring>

#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSyllable.h"
#include "matchers/ProcessLists.h"
#include "platform/Compiler.h"
#include "platform/MbText.h"

namespace chatsieve {

namespace {

// Who tries a place, in CRuleIndex::m_walk.
constexpr unsigned char kFromStart = 1;
constexpr unsigned char kResumed = 2;

}  // namespace

void CRuleIndex::AddCandidate(int ordinal) {
    m_candidates.PushBack(ordinal);
    if (ordinal < m_stopBefore) m_stop = true;
}

template <bool kLazy>
CHATSIEVE_ALWAYS_INLINE inline void CRuleIndex::PhraseFound(int phrase) {
    unsigned& stamp = m_phraseStamp[static_cast<std::size_t>(phrase)];
    if (stamp == m_generation) return;
    stamp = m_generation;
    if (m_phraseRule[static_cast<std::size_t>(phrase)] >= 0)
        AddCandidate(m_phraseRule[static_cast<std::size_t>(phrase)]);
    if (kLazy)
        Trigger(m_triggerByPhrase, phrase);
    else
        CountPart(m_combosByPhrase, phrase);
}

void CRuleIndex::TriggerCombos(const int* c, const int* end) {
    for (; c != end; ++c)
        if (!m_triggered.PushBack(*c)) m_outOfMemory = true;
}

void CRuleIndex::CompleteTriggered(const TArray<CAutomatonWalk::ReachingStep>& steps) {
    if (m_triggered.Empty()) return;
    // The parts no combination waits for, which the reading passed over.
    for (std::size_t k = 0; k < steps.Size(); ++k) {
        const int* found = m_walker.ReachedBy(steps[k]);
        for (std::size_t i = steps[k].prompt; i < steps[k].count; ++i)
            m_syllableStamp[static_cast<std::size_t>(-1 - found[i])] = m_generation;
    }
    for (std::size_t i = 0; i < m_triggered.Size(); ++i) {
        const std::size_t c = static_cast<std::size_t>(m_triggered[i]);
        bool all = true;
        for (const int* part = m_comboParts.Begin(c); part != m_comboParts.End(c) && all; ++part) {
            const std::size_t id = static_cast<std::size_t>(*part >> 1);
            all = ((*part & 1) ? m_phraseStamp[id] : m_syllableStamp[id]) == m_generation;
        }
        if (all) AddCandidate(m_comboRule[c]);
    }
    m_triggered.Clear();
}

template <bool kLazy>
CHATSIEVE_ALWAYS_INLINE inline void CRuleIndex::PhrasesEndingAt(int node, int refused) {
    const int* phrase = m_nodeEnds.Begin(static_cast<std::size_t>(node));
    const int* end = m_nodeEnds.End(static_cast<std::size_t>(node));
    if (refused == 0) {
        for (; phrase != end; ++phrase) PhraseFound<kLazy>(*phrase);
        return;
    }
    const int edges = ((refused & CCheckAutomaton::kReachedNoStart) ? CPhraseRule::kEdgeStart : 0) |
                      ((refused & CCheckAutomaton::kReachedNoEnd) ? CPhraseRule::kEdgeEnd : 0);
    for (; phrase != end; ++phrase)
        if (!(m_phrases[static_cast<std::size_t>(*phrase)]->Edges() & edges)) PhraseFound<kLazy>(*phrase);
}

template <bool kLazy>
CHATSIEVE_ALWAYS_INLINE inline void CRuleIndex::NodeReached(int node) {
    // A node's phrases are all found the first time a check reaches it; most
    // steps reach nodes found already.
    unsigned& found = m_nodeFound[static_cast<std::size_t>(node)];
    if (found == m_generation) return;
    found = m_generation;
    PhrasesEndingAt<kLazy>(node, 0);
}

CHATSIEVE_ALWAYS_INLINE inline bool CRuleIndex::WalkAutomaton(const unsigned char* text, std::size_t n,
                                                              bool lazyCombos) {
    m_reached.Clear();
    bool walked = m_walker.Walk(m_automaton, text, n, m_phraseEdges, g_foldMarks.Data(), g_foldMarks.Size(), &m_reached,
                                lazyCombos);
    if (!lazyCombos) {
        ReadReached<false>(m_reached);
        return walked;
    }
    ReadReached<true>(m_reached);
    // The walk passed over the steps that reached nothing but syllables no
    // combination waits for. Once a combination's trigger turned up, those
    // tell whether its other parts did too: the line is walked again for
    // all its steps, with the memo warm.
    if (walked && !m_triggered.Empty()) {
        m_reached.Clear();
        walked = m_walker.Walk(m_automaton, text, n, m_phraseEdges, g_foldMarks.Data(), g_foldMarks.Size(), &m_reached,
                               false);
    }
    return walked;
}

template <bool kLazy>
void CRuleIndex::ReadReached(const TArray<CAutomatonWalk::ReachingStep>& steps) {
    // Reached nodes and parts are stamped: what a walk handed back found
    // again is not counted twice. In locals: the stamps' stores could be
    // taken to change the steps.
    const CAutomatonWalk::ReachingStep* step = steps.Data();
    const CAutomatonWalk::ReachingStep* const end = step + steps.Size();
    for (; step != end; ++step) {
        const int* found = m_walker.ReachedBy(*step);
        const int* const foundEnd = found + (kLazy ? step->prompt : step->count);
        for (; found != foundEnd; ++found) {
            const int reached = *found;
            if (reached >= 0) {
                if ((reached & 3) == 0)
                    NodeReached<kLazy>(reached >> 2);
                else
                    PhrasesEndingAt<kLazy>(reached >> 2, reached & 3);
                continue;
            }
            const std::size_t s = static_cast<std::size_t>(-1 - reached);
            if (m_syllableStamp[s] == m_generation) continue;
            m_syllableStamp[s] = m_generation;
            if (kLazy)
                Trigger(m_triggerBySyllable, static_cast<int>(s));
            else
                CountPart(m_combosBySyllable, static_cast<int>(s));
        }
    }
}

// Read after cuts (CRuleIndexCut.cpp).
template void CRuleIndex::ReadReached<true>(const TArray<CAutomatonWalk::ReachingStep>&);

void CRuleIndex::RecordForms(const Trie& trie, const unsigned char* text, bool fold) {
    int node = 0;
    unsigned value = 0;
    for (std::size_t pos = 0, width; (width = ReadChar(text, pos, kNoLimit, &value)) != 0; pos += width) {
        // Romanised forms are mostly letters: a two-byte character ends them.
        if (width == 2 && !trie.twoByte) return;
        const unsigned key = fold ? FoldCase(value) : value;
        node = trie.shape.Child(node, key);
        if (node < 0) return;
        for (int e = trie.firstEnd[static_cast<std::size_t>(node)]; e >= 0;
             e = trie.ends[static_cast<std::size_t>(e)].next) {
            const TrieEnd& end = trie.ends[static_cast<std::size_t>(e)];
            AddOccurrence(end.syllable, end.length);
        }
    }
}

void CRuleIndex::AddOccurrence(int syllable, int length) {
    if (m_exact) {
        // A syllable's match takes the first of its forms that fits.
        unsigned& stamp = m_formStamp[static_cast<std::size_t>(syllable)];
        if (stamp == m_formGeneration) return;
        stamp = m_formGeneration;
    }
    // An occurrence left out would hide a rule that matches: remember it.
    if (!m_occurrences.PushBack(Occurrence{syllable, length})) m_outOfMemory = true;
}

void CRuleIndex::AddEmptyForms(const TArray<int>& syllables) {
    for (std::size_t i = 0; i < syllables.Size(); ++i) AddOccurrence(syllables[i], 0);
}

void CRuleIndex::Record(const unsigned char* text, std::size_t p, std::size_t n) {
    m_occurrences.Clear();
    // Most places start no form but a character's: the first byte tells.
    const unsigned char starts = m_formStart[text[p]];
    if (starts == 0 && !m_emptyForms) {
        // Only characters of code ranges, each syllable once per code.
        if (p >= n) return;
        const std::size_t code = static_cast<std::size_t>(text[p]) << 8 | text[p + 1];
        for (const int* s = m_byCode.Begin(code); s != m_byCode.End(code); ++s)
            if (!m_occurrences.PushBack(Occurrence{*s, 2})) m_outOfMemory = true;
        return;
    }
    if (m_exact && ++m_formGeneration == 0) {
        for (std::size_t s = 0; s < m_formStamp.Size(); ++s) m_formStamp[s] = 0;
        m_formGeneration = 1;
    }
    // In the order a syllable's match tries its forms: romanised, split, code.
    if (m_emptyForms) AddEmptyForms(m_emptyRomanised);
    if (starts & kRomanisedStart) RecordForms(m_romanised, text + p, true);
    if (m_emptyForms) AddEmptyForms(m_emptySplit);
    if (p < n) {
        if (starts & kSplitStart) RecordForms(m_split, text + p, false);
        const std::size_t code = static_cast<std::size_t>(text[p]) << 8 | text[p + 1];
        for (const int* s = m_byCode.Begin(code); s != m_byCode.End(code); ++s) AddOccurrence(*s, 2);
    }
}

bool CRuleIndex::FirstSyllableAt() const {
    for (std::size_t i = 0; i < m_occurrences.Size(); ++i)
        if (m_phraseTrie.RootChild(static_cast<unsigned>(m_occurrences[i].syllable)) >= 0) return true;
    return false;
}

void CRuleIndex::CountCombos(const int* c, const int* end) {
    for (; c != end; ++c) {
        const std::size_t combo = static_cast<std::size_t>(*c) / kMaskBits;
        if (m_comboStamp[combo] != m_generation) {
            m_comboStamp[combo] = m_generation;
            m_comboCount[combo] = 0;
            m_comboMask[combo] = 0;
        }
        m_comboMask[combo] |= 1u << (static_cast<std::size_t>(*c) % kMaskBits);
        if (++m_comboCount[combo] == m_need[combo]) AddCandidate(m_comboRule[combo]);
    }
}

void CRuleIndex::RecordEnding(int node, std::size_t end) {
    if (m_nodeRules.Begin(static_cast<std::size_t>(node)) == m_nodeRules.End(static_cast<std::size_t>(node))) return;
    if (m_endings->Size() >= m_endingsLimit || !m_endings->PushBack(Ending{static_cast<int>(end), node})) {
        m_endingsLost = true;
        m_endings = nullptr;
    }
}

bool CRuleIndex::FindPhrases(const unsigned char* text, std::size_t n) {
    // One pass: the syllables that start at a place are recorded, and the trie
    // nodes waiting there move on by each of them; where a search tries the
    // place, the trie's root starts there too. A syllable's own search (and a
    // phrase's, until a try fails) moves on by whole characters from the
    // start of the text; a phrase's search resumes two bytes after a place
    // where its first syllable was found, which is inside a character when
    // that place holds a one-byte character and a two-byte one follows. Only
    // the start's walk decides whether a syllable occurs in the text.
    //
    // A syllable can occur several times at one place (a split form equal to
    // the romanised one, forms of different lengths), so following every path
    // through the record could branch at each step. Each trie node is instead
    // taken once per place, whichever way it got there: a place costs at most
    // its occurrences times the trie nodes that can end there. Nodes wait in
    // a ring of places no longer than the longest form, so memory does not
    // grow with the line.
    int* head = m_pendingHead.Data();
    const std::size_t ring = m_pendingHead.Size() - 1;
    unsigned char* walk = m_walk.Data();
    for (std::size_t r = 0; r <= ring; ++r) {
        head[r] = -1;
        walk[r] = 0;
    }
    if (n > 0) walk[0] = kFromStart;
    m_pending.Clear();
    m_freePending = -1;
    m_outOfMemory = false;
    // Arrays that keep their size through the walk, read at every place.
    // With roots, forms are taken as the searches take them, but at every
    // root instead of along the searches' own walks.
    const bool exact = m_exact && !m_roots;
    const unsigned char* hasChildren = m_hasChildren.Data();
    unsigned* syllableStamp = m_syllableStamp.Data();
    unsigned* nodeStamp = m_nodeStamp.Data();
    const bool combosBySyllable = !m_combosBySyllable.items.Empty();
    const bool mayStop = m_stopBefore != INT_MIN;
    for (std::size_t p = 0; p <= n && !(mayStop && m_stop); ++p) {
        const unsigned char tried = exact ? walk[p & ring] : !m_roots || p >= n || m_roots[p] ? kFromStart : 0;
        walk[p & ring] = 0;
        int waiting = head[p & ring];
        head[p & ring] = -1;
        if (tried == 0 && waiting < 0) continue;
        Record(text, p, n);
        if (m_outOfMemory) return false;
        if (tried != 0 && exact) {
            const std::size_t width = static_cast<std::size_t>(CharByteCount(reinterpret_cast<const char*>(text) + p));
            if (width > 0 && p + width < n) walk[(p + width) & ring] |= tried;
            if (width == 1 && p + 2 < n && CharByteCount(reinterpret_cast<const char*>(text) + p + 1) != 1 &&
                FirstSyllableAt())
                walk[(p + 2) & ring] |= kResumed;
        }
        const std::size_t count = m_occurrences.Size();
        if (count == 0) {
            // What waits here can go no further.
            while (waiting >= 0) waiting = ReleasePending(waiting);
            continue;
        }
        if ((tried & kFromStart) && combosBySyllable) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t s = static_cast<std::size_t>(m_occurrences[i].syllable);
                if (syllableStamp[s] != m_generation) {
                    syllableStamp[s] = m_generation;
                    CountPart(m_combosBySyllable, static_cast<int>(s));
                }
            }
        }
        if (++m_placeGeneration == 0) {
            for (std::size_t v = 0; v < m_nodeStamp.Size(); ++v) m_nodeStamp[v] = 0;
            m_placeGeneration = 1;
        }
        m_frontier.Clear();
        if (tried != 0 && !m_frontier.PushBack(0)) return false;
        while (waiting >= 0) {
            if (!m_frontier.PushBack(m_pending[static_cast<std::size_t>(waiting)].node)) return false;
            waiting = ReleasePending(waiting);
        }
        // The frontier grows while it is walked: an empty form stays in place.
        for (std::size_t f = 0; f < m_frontier.Size(); ++f) {
            const int node = m_frontier[f];
            unsigned& stamp = nodeStamp[static_cast<std::size_t>(node)];
            if (stamp == m_placeGeneration) continue;
            stamp = m_placeGeneration;
            m_steps += count;
            for (std::size_t i = 0; i < count; ++i) {
                const Occurrence o = m_occurrences[i];
                const int child = m_phraseTrie.ChildBelowWidth(node, static_cast<unsigned>(o.syllable));
                if (child < 0) continue;
                NodeReached<false>(child);
                if (m_endings) RecordEnding(child, p + static_cast<std::size_t>(o.length));
                if (!hasChildren[static_cast<std::size_t>(child)]) continue;
                if (o.length == 0) {
                    if (!m_frontier.PushBack(child)) return false;
                } else if (!Wait(child, (p + static_cast<std::size_t>(o.length)) & ring)) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool CRuleIndex::Wait(int node, std::size_t slot) {
    int entry = m_freePending;
    if (entry >= 0) {
        m_freePending = m_pending[static_cast<std::size_t>(entry)].next;
    } else {
        if (!m_pending.PushBack(Pending{0, -1})) return false;
        entry = static_cast<int>(m_pending.Size()) - 1;
    }
    m_pending[static_cast<std::size_t>(entry)] = Pending{node, m_pendingHead[slot]};
    m_pendingHead[slot] = entry;
    return true;
}

int CRuleIndex::ReleasePending(int entry) {
    Pending& pending = m_pending[static_cast<std::size_t>(entry)];
    const int next = pending.next;
    pending.next = m_freePending;
    m_freePending = entry;
    return next;
}

void CRuleIndex::NextGeneration() {
    if (++m_generation == 0) {
        // The stamps wrapped around: start them afresh.
        for (TArray<unsigned>* stamps : {&m_syllableStamp, &m_phraseStamp, &m_comboStamp, &m_nodeFound})
            for (std::size_t i = 0; i < stamps->Size(); ++i) (*stamps)[i] = 0;
        m_generation = 1;
    }
}

bool CRuleIndex::FindCandidates(char* text, bool exact, bool lazyCombos) {
    m_exact = exact;
    NextGeneration();
    const std::size_t n = std::strlen(text);
    m_candidates.Clear();
    m_stop = false;
    // A whole walk: what CheckCut kept is of another text now.
    m_cutReady = false;
    m_sameUntil = INT_MAX;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    m_triggered.Clear();
    m_outOfMemory = false;
    m_walked = exact && !m_roots && m_useAutomaton && m_automaton.Ready() && WalkAutomaton(bytes, n, lazyCombos);
    if (lazyCombos) {
        // A combination whose trigger could not be noted might be missed.
        if (m_outOfMemory) return false;
        if (m_walked) {
            CompleteTriggered(m_reached);
        } else {
            // The walk handed the text back having stamped parts it did
            // not count: the index's walk starts from nothing.
            NextGeneration();
            m_candidates.Clear();
            m_stop = false;
        }
    }
    if (!m_walked && !FindPhrases(bytes, n)) return false;
    for (std::size_t i = 0; i < m_alwaysCandidates.Size(); ++i) m_candidates.PushBack(m_alwaysCandidates[i]);
    return true;
}

bool CRuleIndex::WalkWhole(char* text) {
    m_walker.KeepTrace(m_keepForCuts);
    const bool found = FindCandidates(text, true, true);
    m_walker.KeepTrace(false);
    return found;
}

CHATSIEVE_ALWAYS_INLINE inline void CRuleIndex::TryCandidates(char* text, int ceiling, int* offset, int* length,
                                                              int* level) {
    // Tried in checking order until one decides, which is mostly one of the
    // first few: those are picked out one at a time, and the rest are sorted
    // only when none of them decides.
    constexpr std::size_t kPickedOut = 8;
    int* c = m_candidates.Data();
    const std::size_t count = m_candidates.Size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i < kPickedOut)
            std::iter_swap(c + i, std::min_element(c + i, c + count));
        else if (i == kPickedOut)
            std::sort(c + i, c + count);
        const int candidate = c[i];
        const std::size_t ordinal = static_cast<std::size_t>(candidate);
        // Phrase and combination rules report their own level: one above the
        // ceiling could not decide, so its search is skipped.
        if (m_ruleLevel[ordinal] != INT_MIN && m_ruleLevel[ordinal] > ceiling) continue;
        if (TryCandidate(candidate, text, offset, length, level) == 1 && *level <= ceiling) {
            m_decided = candidate;
            m_decidedFirst = i == 0;  // no candidate at all came before it
            return;
        }
    }
    *level = 0;
}

bool CRuleIndex::Check(char* text, int ceiling, int* offset, int* length, int* level) {
    m_decided = -1;
    m_decidedFirst = false;
    if (!WalkWhole(text)) return false;
    TryCandidates(text, ceiling, offset, length, level);
    // Masking cuts only what decided.
    if (m_keepForCuts && *level != 0) KeepCutText(text);
    return true;
}

bool CRuleIndex::CheckCut(char* text, int cut, int removed, int ceiling, int* offset, int* length, int* level) {
    m_decided = -1;
    m_decidedFirst = false;
    if (!CandidatesAfterCut(text, cut, removed) && !WalkWhole(text)) return false;
    TryCandidates(text, ceiling, offset, length, level);
    if (m_keepForCuts && *level != 0) KeepCutText(text);
    return true;
}

int CRuleIndex::TryCandidate(int ordinal, char* text, int* offset, int* length, int* level) const {
    const int phrase = m_walked ? m_rulePhrase[static_cast<std::size_t>(ordinal)] : -1;
    if (phrase < 0) return m_rules[static_cast<std::size_t>(ordinal)]->Match(text, 0, offset, length, level);
    // A phrase's search scans from the start for its first syllable: it
    // finds nothing before the first character that can begin one, so it may
    // as well begin there. No such character: its first scan fails.
    const std::size_t first = static_cast<std::size_t>(*m_phraseSyllables.Begin(static_cast<std::size_t>(phrase)));
    int from = -1, before = -1;
    for (const std::uint32_t* c = m_automaton.BeginClasses(first); c != m_automaton.BeginClassesEnd(first); ++c) {
        int at = 0, previous = 0;
        if (m_walker.FirstOnStart(*c, &at, &previous) && (from < 0 || at < from)) {
            from = at;
            before = previous;
        }
    }
    if (from < 0) return 0;
    // After cuts the first such character may be gone: the search then
    // begins where the texts first differ, which is as early as it can be.
    if (from >= m_sameUntil) {
        from = m_sameUntil;
        before = m_beforeSame;
    }
    int restart = 0;
    return m_phrases[static_cast<std::size_t>(phrase)]->MatchFrom(text, from, offset, length, level, &restart, from,
                                                                  before);
}

bool CRuleIndex::FindAll(char* text, int cut, int removed) {
    if (!(cut >= 0 && CandidatesAfterCut(text, cut, removed)) && !WalkWhole(text)) return false;
    if (m_keepForCuts) KeepCutText(text);
    std::sort(m_candidates.Data(), m_candidates.Data() + m_candidates.Size());
    return true;
}

int CRuleIndex::Ordinal(const CMatcher* rule) const {
    // Phrases that are only parts of combinations are kept below -1.
    const int ordinal = m_ordinals.Empty() ? -1 : ProbePair(m_ordinals, AddressKey(rule));
    return ordinal >= 0 ? ordinal : -1;
}

int CRuleIndex::AnyRuleBefore(char* text, int ordinal, const unsigned char* roots) {
    m_partsKnown = false;
    m_stopBefore = ordinal;
    m_roots = roots;
    const bool found = FindCandidates(text, roots != nullptr);
    m_roots = nullptr;
    m_stopBefore = INT_MIN;
    return found ? AnyBefore(ordinal) : -1;
}

int CRuleIndex::AnyRuleBeforeInStep(char* text, int ordinal) {
    m_partsKnown = false;
    m_stopBefore = ordinal;
    const bool found = FindInStep(text);
    m_stopBefore = INT_MIN;
    return found ? AnyBefore(ordinal) : -1;
}

int CRuleIndex::AnyBefore(int ordinal) {
    for (std::size_t i = 0; i < m_candidates.Size(); ++i)
        if (m_candidates[i] < ordinal) return 1;
    // The walk went to the end: which parts of each combination the text
    // holds is known, and pieces of the text can add to it.
    for (std::size_t c = 0; c < m_comboRule.Size(); ++c)
        m_knownParts[c] = m_comboStamp[c] == m_generation ? m_comboMask[c] : 0u;
    m_partsKnown = true;
    return 0;
}

int CRuleIndex::TouchesRulesBefore(char* text, int ordinal, const unsigned char* roots) {
    m_roots = roots;
    const bool found = FindCandidates(text, roots != nullptr);
    m_roots = nullptr;
    return found ? TouchedBefore(ordinal) : -1;
}

int CRuleIndex::TouchesRulesBeforeInStep(char* text, int ordinal) {
    return FindInStep(text) ? TouchedBefore(ordinal) : -1;
}

bool CRuleIndex::FindInStep(char* text) {
    // The automaton's ends count only when it read the whole text; the
    // index's own walk, where it hands the text back, records its own.
    m_walkEnds.Clear();
    if (m_endings) m_walker.RecordEnds(&m_walkEnds);
    const bool found = FindCandidates(text, true);
    m_walker.RecordEnds(nullptr);
    if (found && m_walked)
        for (std::size_t i = 0; i + 1 < m_walkEnds.Size() && m_endings; i += 2)
            RecordEnding(m_walkEnds[i], static_cast<std::size_t>(m_walkEnds[i + 1]));
    return found;
}

int CRuleIndex::TouchedBefore(int ordinal) {
    for (std::size_t i = 0; i < m_candidates.Size(); ++i)
        if (m_candidates[i] < ordinal) return 1;
    // A combination needs all its parts somewhere in the line: one turning
    // up here may complete it. Once the parts the rest of the line holds are
    // known, only those that complete a combination count; what turns up
    // here is in the line from now on.
    int touched = 0;
    for (std::size_t c = 0; c < m_comboRule.Size(); ++c) {
        if (m_comboStamp[c] != m_generation) continue;
        if (m_comboRule[c] >= ordinal) {
            // Not yet in question, but it may be once a later rule decides.
            if (m_partsKnown) m_knownParts[c] |= m_comboMask[c];
            continue;
        }
        if (m_fullMask[c] == 0) return 1;
        if (!m_partsKnown) {
            touched = 2;
            continue;
        }
        const std::uint32_t parts = m_knownParts[c] | m_comboMask[c];
        if (parts == m_fullMask[c]) return 1;
        m_knownParts[c] = parts;
    }
    return touched;
}

bool CRuleIndex::OthersClearBetween(int from, int to) const {
    if (!m_partsKnown) return false;
    for (std::size_t i = 0; i < m_alwaysCandidates.Size(); ++i)
        if (m_alwaysCandidates[i] > from && m_alwaysCandidates[i] < to) return false;
    for (std::size_t c = 0; c < m_comboRule.Size(); ++c)
        if (m_comboRule[c] > from && m_comboRule[c] < to && (m_fullMask[c] == 0 || m_knownParts[c] == m_fullMask[c]))
            return false;
    return true;
}

}  // namespace chatsieve
