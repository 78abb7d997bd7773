// The check of a text with a match cut out, from the check of the text before.
//
// The walk of the cut text reads what the walk of the text before read up to
// the last character before what changed (the cut, and what hiding allowed
// expressions again changed around it) where the start's stream stood alone;
// from there it is walked again, up to the first character past the change
// where the same sets wait as waited at that character before the cut. From
// there on both texts read alike, so every step the whole walk of the cut
// text would take is a step kept from before or one of the walk between.
// The candidates come from all of them, as a whole walk's would, and are
// tried as a check tries them.
#include <algorithm>
#include <cstring>

#include "matchers/ProcessLists.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

void CRuleIndex::KeepCutText(const char* text) {
    // Only a text the automaton walked whole (or from a trace) has a trace.
    if (!m_walked) return;
    const std::size_t n = std::strlen(text) + 1;
    m_cutText.Clear();
    if (!m_cutText.Reserve(n)) return;
    std::memcpy(m_cutText.Data(), text, n);
    m_cutText.SetFilled(n);
    m_cutReady = true;
}

bool CRuleIndex::CandidatesAfterCut(char* text, int cut, int removed) {
    const std::size_t n = std::strlen(text);
    if (!m_cutReady || cut < 0 || removed <= 0 || n + static_cast<std::size_t>(removed) + 1 != m_cutText.Size() ||
        static_cast<std::size_t>(cut) > n)
        return false;
    m_cutReady = false;
    // Where the texts differ: the cut, and what hiding allowed expressions
    // again changed on either side of it.
    const std::size_t at = static_cast<std::size_t>(cut), gone = static_cast<std::size_t>(removed);
    const char* was = m_cutText.Data();
    std::size_t changedFrom = at, changedTo = at;
    if (std::memcmp(text, was, at) != 0)
        changedFrom = static_cast<std::size_t>(std::mismatch(text, text + at, was).first - text);
    const char* wasAfter = was + at + gone;
    if (std::memcmp(text + at, wasAfter, n - at) != 0) {
        changedTo = n;
        while (text[changedTo - 1] == wasAfter[changedTo - 1 - at]) --changedTo;
    }
    int from = 0, before = -1;
    if (!m_walker.WalkCut(m_automaton, reinterpret_cast<const unsigned char*>(text), n, m_phraseEdges,
                          g_foldMarks.Data(), g_foldMarks.Size(), at, gone, changedFrom, changedTo, &from, &before))
        return false;

    // Stamped afresh, as a whole walk's findings are.
    NextGeneration();
    m_candidates.Clear();
    m_triggered.Clear();
    m_outOfMemory = false;
    ReadReached<true>(m_walker.TracedSteps());
    if (m_outOfMemory) return false;
    CompleteTriggered(m_walker.TracedSteps());
    for (std::size_t i = 0; i < m_alwaysCandidates.Size(); ++i) m_candidates.PushBack(m_alwaysCandidates[i]);
    // The first places the whole walk noted stand before the change; past
    // it, a search begins no later than where the texts first differ.
    if (from < m_sameUntil) {
        m_sameUntil = from;
        m_beforeSame = before;
    }
    m_walked = true;
    ++m_cutWalks;
    return true;
}

}  // namespace chatsieve
