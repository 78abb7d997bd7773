// CMaskPasses, continued: what the passes search again around each cut, and
// handing them over to a later rule when the decider's matches run out
// (see CMaskPasses.h and CLaterRules.h).
#include <algorithm>
#include <climits>
#include <cstring>

#include "matchers/CPhraseRule.h"
#include "matchers/ProcessLists.h"
#include "platform/MbText.h"
#include "run/CAllowList.h"
#include "run/CMaskPasses.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

bool CMaskPasses::CheckAroundCut(CRuleIndex& index, CAllowList* allow, int cut, int n) {
    // What is new can only be here.
    int from = cut > m_margin ? cut - m_margin : 0;
    while (from > 0 && !StartsCharacter(from)) --from;
    const int to = cut + m_margin < n ? cut + m_margin : n;
    if (!CopyOut(from, to)) return false;
    if (allow && !allow->Empty()) {
        // The allowed expressions around the cut must hide just what they
        // hid there before: then the rules see what they saw, less the cut.
        // One limited to some rules would need views; one cut off by the
        // window's edge shows as a difference.
        if (m_hidden < 0 || !CopyOut(from, to, m_plain, m_plainWindow)) return false;
        if (allow->Hide(m_plainWindow.Data()) != 0) return false;
        if (std::memcmp(m_plainWindow.Data(), m_window.Data(), m_window.Size()) != 0) return false;
    }
    // Parts of earlier combinations count by what the rest of the line
    // holds, which the first question about the line tells.
    if (EarlierRules(index) != 0) return false;
    if (!m_shifted.Empty() && !ReachAfterCut(index, cut, n)) return false;
    if (!m_shifted.Empty()) {
        bool shifted = false;
        return CopyRoots(from, to, &shifted) && Search(index, m_window, from, !shifted);
    }
    // Without roots (out of memory) every byte is taken, with every form.
    m_laterRules.Forget();
    return index.TouchesRulesBefore(m_window.Data(), m_ordinal) == 0;
}

bool CMaskPasses::MarkShifted(const CRuleIndex& index, bool* shifted) {
    const std::size_t n = static_cast<std::size_t>(m_size);
    m_shifted.Clear();
    if (!m_shifted.Reserve(n + 1)) return false;
    std::memset(m_shifted.Data(), 0, n + 1);
    const char* text = m_text.Data();
    bool reach = false;
    for (std::size_t i = 0; i < n;) {
        const std::size_t step = static_cast<std::size_t>(CharStep(text + i));
        if (step == 1) {
            reach = index.MayStartForm(static_cast<unsigned char>(text[i]));
        } else if (reach) {
            m_shifted[i + 1] = 1;
            *shifted = true;
        }
        i += step;
    }
    m_shifted.SetFilled(n + 1);
    return true;
}

bool CMaskPasses::CopyRoots(int from, int to, bool* shifted) {
    const std::size_t count = static_cast<std::size_t>(to - from);
    m_windowRoots.Clear();
    if (!m_windowRoots.Reserve(count + 1)) return false;
    unsigned char* roots = m_windowRoots.Data();
    Pieces(from, to, [&](std::size_t done, std::size_t at, std::size_t take, bool) {
        for (std::size_t i = 0; i < take; ++i) {
            if (m_shifted[at + i]) *shifted = true;
            roots[done + i] = static_cast<unsigned char>(m_starts[at + i] | m_shifted[at + i]);
        }
    });
    roots[count] = 1;
    m_windowRoots.SetFilled(count + 1);
    return true;
}

bool CMaskPasses::ReachAfterCut(CRuleIndex& index, int cut, int n) {
    if (cut <= 0 || cut >= n) return true;
    const char* text = m_text.Data();
    // The character before the cut: a one-byte character where a form may
    // start, or the second byte of one a search may stand on.
    bool reach;
    if (StartsCharacter(cut - 1))
        reach = index.MayStartForm(static_cast<unsigned char>(text[ToStripped(cut - 1)]));
    else
        reach = m_shifted[static_cast<std::size_t>(ToStripped(cut - 1))] != 0;
    if (!reach) return true;
    // Along the run of two-byte characters from the cut, until one already
    // marked (the rest of its run was marked with it).
    std::size_t h = 0;
    int at = ToStripped(cut, &h);
    int logical = cut;
    while (logical < n && CharStep(text + at) == 2 && !m_shifted[static_cast<std::size_t>(at) + 1]) {
        m_shifted[static_cast<std::size_t>(at) + 1] = 1;
        logical += 2;
        at += 2;
        while (h < m_holes.Size() && at == m_holes[h].start) at = m_holes[h++].end;
    }
    if (logical == cut) return true;
    // The runs that start there: only the new second bytes are roots.
    const int to = logical + m_margin < n ? logical + m_margin : n;
    const std::size_t count = static_cast<std::size_t>(to - cut);
    m_windowRoots.Clear();
    if (!CopyOut(cut, to, m_text, m_stretch) || !m_windowRoots.Reserve(count + 1)) return false;
    for (std::size_t i = 0; i <= count; ++i)
        m_windowRoots.PushBack((i & 1) && i < static_cast<std::size_t>(logical - cut) ? 1 : 0);
    return Search(index, m_stretch, cut, false);
}

bool CMaskPasses::Search(CRuleIndex& index, TArray<char>& piece, int from, bool inStep) {
    const bool record = m_laterRules.Known();
    m_found.Clear();
    // A piece is a few hundred bytes at most: room for every run in it.
    if (record) index.RecordEndings(&m_found, piece.Size() * 64 + 1024);
    int touches = 0;
    if (!inStep) {
        touches = index.TouchesRulesBefore(piece.Data(), m_ordinal, m_windowRoots.Data());
    } else {
        // The automaton's walk reads written-mode edges from the marks of
        // the text it is given: the piece's stand in.
        const bool marks = m_folds && CopyMarks(from, from + static_cast<int>(piece.Size()) - 1);
        if (m_folds && !marks) touches = -1;
        if (marks) g_foldMarks.Swap(m_windowMarks);
        if (touches == 0) touches = index.TouchesRulesBeforeInStep(piece.Data(), m_ordinal);
        if (marks) g_foldMarks.Swap(m_windowMarks);
    }
    const bool lost = index.EndingsLost();
    index.RecordEndings(nullptr, 0);
    if (touches != 0) return false;
    if (record && (lost || !NoteWindowEndings(from, static_cast<int>(piece.Size()) - 1))) m_laterRules.Forget();
    return true;
}

int CMaskPasses::EarlierRules(CRuleIndex& index) {
    if (m_earlierRules >= 0) return m_earlierRules;
    m_laterRules.Forget();
    bool shifted = false;
    const bool roots = MarkShifted(index, &shifted);
    const bool record = roots && m_handOver;
    m_endings.Clear();
    // Bounded: a rule set whose phrases run everywhere would record more
    // than handing over saves.
    if (record) index.RecordEndings(&m_endings, static_cast<std::size_t>(m_size) * 8 + 1024);
    // The automaton's walk reads written-mode edges from the marks: the
    // line's, where they were when it was checked.
    int any = -1;
    if (roots && !shifted) {
        if (m_folds) g_foldMarks.Swap(m_marks);
        any = index.AnyRuleBeforeInStep(m_text.Data(), m_ordinal);
        if (m_folds) g_foldMarks.Swap(m_marks);
    } else {
        // Of the whole line as the check saw it, cut bytes and all.
        const std::size_t n = static_cast<std::size_t>(m_size);
        m_windowRoots.Clear();
        const bool copied = roots && m_windowRoots.Reserve(n + 1);
        for (std::size_t i = 0; copied && i <= n; ++i)
            m_windowRoots.PushBack(static_cast<unsigned char>(m_starts[i] | m_shifted[i]));
        any = index.AnyRuleBefore(m_text.Data(), m_ordinal, copied ? m_windowRoots.Data() : nullptr);
    }
    const bool lost = index.EndingsLost();
    index.RecordEndings(nullptr, 0);
    m_earlierRules = any != 0 ? 1 : 0;
    if (record && any == 0 && !lost && !m_laterRules.Begin(m_endings, m_ordinal)) m_laterRules.Forget();
    // The cuts so far ended some of the line's runs.
    for (std::size_t h = 0; h < m_holes.Size(); ++h) m_laterRules.Cut(m_holes[h].start, m_holes[h].end);
    return m_earlierRules;
}

bool CMaskPasses::NoteWindowEndings(int from, int length) {
    // A window finds runs left and right of the cut again, and those across
    // it; each counts as whole until a cut takes one of its bytes. Its
    // first and last bytes move to the stripped text's positions, read from
    // the window's map. A run that may be empty is placed at its end and
    // kept whole.
    const std::size_t count = m_found.Size();
    m_spans.Clear();
    m_windowMap.Clear();
    if (!m_spans.Reserve(count) || !m_windowMap.Reserve(static_cast<std::size_t>(length))) return false;
    int* map = m_windowMap.Data();
    Pieces(from, from + length, [&](std::size_t done, std::size_t at, std::size_t take, bool) {
        for (std::size_t i = 0; i < take; ++i) map[done + i] = static_cast<int>(at + i);
    });
    m_windowMap.SetFilled(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < count; ++i) {
        const int end = m_found[i].end;
        const int shortest = m_laterRules.Shortest(m_found[i].node);
        const int last = m_windowMap[static_cast<std::size_t>(end - 1)] + 1;
        const int first = shortest > 0 ? m_windowMap[static_cast<std::size_t>(end - shortest)] : last;
        m_spans.PushBack(CLaterRules::Span{first, last, m_found[i].node});
    }
    return m_laterRules.Add(m_spans.Data(), count, m_ordinal);
}

bool CMaskPasses::NextDecider(const CRuleIndex& index) {
    // Only a phrase decider is handed on, and only once none of its runs
    // is whole: a later cut could otherwise bring its search to one.
    if (!m_laterRules.Known() || !m_phraseDecides || m_laterRules.Live(m_ordinal) != 0) return false;
    const int next = m_laterRules.NextAfter(m_ordinal);
    if (!index.OthersClearBetween(m_ordinal, next)) return false;
    if (next == INT_MAX) {
        m_clean = true;
        return true;
    }
    auto* rule = As<CPhraseRule>(index.Rule(next));
    if (!rule) return false;
    m_rule = rule;
    m_phraseDecides = true;
    m_ordinal = next;
    m_level = rule->GetLevel();
    m_reach = Reach(rule);
    m_resume = 0;
    m_resumeReads = 0;
    return true;
}

void CMaskPasses::SkipToRuns() {
    // A search would find no match before the first whole run; where it
    // stands in step there it may as well begin. The tries before that
    // place read no further than its reach past it.
    const int start = SafeStart(m_laterRules.FirstEnd(m_ordinal), m_reach);
    if (start <= m_resume) return;
    m_resume = start;
    m_resumeReads = start - 1 + m_reach;
}

int CMaskPasses::SafeStart(int end, int reach) const {
    if (end == INT_MAX) return 0;
    int at = ToLogical(end) - reach;
    while (at > 0 && !StartsCharacter(at)) --at;
    // In step there: a two-byte character before it, whose second byte no
    // search may stand on, is stepped over whole from its first.
    if (at < 2 || StartsCharacter(at - 1)) return 0;
    return m_shifted[static_cast<std::size_t>(ToStripped(at - 1))] ? 0 : at;
}

}  // namespace chatsieve
