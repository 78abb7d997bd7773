#include "run/CMaskPasses.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "build/CFoldTable.h"
#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSkipSet.h"
#include "matchers/CSyllable.h"
#include "matchers/ProcessLists.h"
#include "platform/MbText.h"
#include "run/CAllowList.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

namespace {

// What one syllable may read where it is tried: its forms, or a character.
int SyllableReach(const CMatcher* matcher) {
    const int longest = static_cast<int>(static_cast<const CSyllable*>(matcher)->LongestFormLength());
    return longest > 2 ? longest : 2;
}

int Larger(int a, int b) { return a > b ? a : b; }

}  // namespace

int CMaskPasses::Reach(const CPhraseRule* rule) {
    // A try reads the first syllable where it stands and each further one
    // right behind the one before: never more than all their longest forms.
    int reach = 0;
    const TArray<CMatcher*>& syllables = rule->Syllables();
    for (std::size_t i = 0; i < syllables.Size(); ++i) reach += SyllableReach(syllables[i]);
    // A written-mode end edge reads the byte after the match too.
    return (rule->Edges() & CPhraseRule::kEdgeEnd) ? reach + 1 : reach;
}

void CMaskPasses::Prepare(const CMatcherList& rules, const CMatcherList& skipSets, const CAllowList& allow,
                          const CRuleIndex& index) {
    Reset();
    int star = 0;
    for (const CMatcherList::Node* node = skipSets.First(); node && !star; node = node->next) {
        const CSkipSet* set = dynamic_cast<const CSkipSet*>(node->matcher);
        int width = 0;
        star = set && set->IsSkipped("*", &width);
    }
    m_starIgnored = star != 0;
    // The longest piece anything may find across a cut.
    int margin = 0;
    for (const CMatcherList::Node* node = rules.First(); node; node = node->next) {
        if (const auto* phrase = dynamic_cast<const CPhraseRule*>(node->matcher)) {
            margin = Larger(margin, Reach(phrase));
        } else if (const auto* combo = dynamic_cast<const CComboRule*>(node->matcher)) {
            for (const CMatcherList::Node* part = combo->Parts().First(); part; part = part->next) {
                const auto* phrasePart = dynamic_cast<const CPhraseRule*>(part->matcher);
                margin = Larger(margin, phrasePart ? Reach(phrasePart) : SyllableReach(part->matcher));
            }
        }
    }
    for (std::size_t i = 0; i < allow.Count(); ++i)
        margin = Larger(margin, static_cast<int>(std::strlen(allow.Text(static_cast<int>(i)))));
    m_margin = margin + 2;
    // Without the counts (out of memory) the passes only follow one decider.
    if (index.Ready()) m_laterRules.Prepare(index);
    m_prepared = true;
}

void CMaskPasses::Reset() {
    m_prepared = false;
    m_active = false;
    m_text.Reset();
    m_map.Reset();
    m_starts.Reset();
    m_holes.Reset();
    m_merged.Reset();
    m_window.Reset();
    m_plain.Reset();
    m_plainWindow.Reset();
    m_marks.Reset();
    m_windowMarks.Reset();
    m_folds = false;
    m_fixed.Reset();
    m_laterRules.Reset();
    m_endings.Reset();
    m_found.Reset();
    m_spans.Reset();
    m_shifted.Reset();
    m_roots.Reset();
    m_windowRoots.Reset();
    m_stretch.Reset();
    m_rule = nullptr;
    m_syllable = nullptr;
}

int CMaskPasses::ToStripped(int at) const {
    for (std::size_t h = 0; h < m_holes.Size() && m_holes[h].start <= at; ++h) at += m_holes[h].end - m_holes[h].start;
    return at;
}

bool CMaskPasses::StartsCharacter(int at) const {
    if (at >= Logical()) return true;
    return m_starts[static_cast<std::size_t>(ToStripped(at))] != 0;
}

bool CMaskPasses::CopyOut(int from, int to, const TArray<char>& source, TArray<char>& into) {
    const std::size_t count = static_cast<std::size_t>(to - from);
    into.Clear();
    if (!into.Reserve(count + 1)) return false;
    char* window = into.Data();
    int at = from;
    std::size_t h = 0;
    for (; h < m_holes.Size() && m_holes[h].start <= at; ++h) at += m_holes[h].end - m_holes[h].start;
    std::size_t done = 0;
    while (done < count) {
        const int pieceEnd = h < m_holes.Size() ? m_holes[h].start : m_size;
        std::size_t take = static_cast<std::size_t>(pieceEnd - at);
        if (take > count - done) take = count - done;
        std::memcpy(window + done, source.Data() + at, take);
        done += take;
        at += static_cast<int>(take);
        if (at == pieceEnd && h < m_holes.Size()) at = m_holes[h++].end;
    }
    window[count] = 0;
    into.SetFilled(count + 1);
    return true;
}

bool CMaskPasses::CopyOut(int from, int to) { return CopyOut(from, to, m_text, m_window); }

bool CMaskPasses::CopyMarks(int from, int to) {
    const std::size_t count = static_cast<std::size_t>(to - from);
    m_windowMarks.Clear();
    if (!m_windowMarks.Reserve(count)) return false;
    unsigned char* marks = m_windowMarks.Data();
    int at = from;
    std::size_t h = 0;
    for (; h < m_holes.Size() && m_holes[h].start <= at; ++h) at += m_holes[h].end - m_holes[h].start;
    for (std::size_t done = 0; done < count;) {
        const int pieceEnd = h < m_holes.Size() ? m_holes[h].start : m_size;
        std::size_t take = static_cast<std::size_t>(pieceEnd - at);
        if (take > count - done) take = count - done;
        std::memcpy(marks + done, m_marks.Data() + at, take);
        // A byte right after a cut follows a gap.
        if (h > 0 && m_holes[h - 1].end == at) marks[done] |= kFoldAfterGap;
        done += take;
        at += static_cast<int>(take);
        if (at == pieceEnd && h < m_holes.Size()) at = m_holes[h++].end;
    }
    m_windowMarks.SetFilled(count);
    return true;
}

bool CMaskPasses::Begin(const char* stripped, const TArray<int>& map, const char* line, int hidden, CMatcher* decider,
                        int ordinal, int offset, int length, const CFoldTable* fold,
                        const TArray<unsigned char>* marks) {
    m_active = false;
    if (!m_prepared || !m_starIgnored || !decider) return false;
    // A combination reports the span of its last part: that phrase is
    // followed, and its other parts must stay where they were found.
    // A syllable's own search walks the text a character at a time, as a
    // phrase of that one syllable would, so it is followed the same way.
    auto* rule = dynamic_cast<CPhraseRule*>(decider);
    CMatcher* syllable = nullptr;
    m_fixed.Clear();
    if (auto* combo = dynamic_cast<CComboRule*>(decider)) {
        const CMatcherList::Node* last = combo->Parts().Last();
        if (!last) return false;
        rule = dynamic_cast<CPhraseRule*>(last->matcher);
        if (!rule) syllable = dynamic_cast<CSyllable*>(last->matcher);
        if (!rule && !syllable) return false;
        for (const CMatcherList::Node* part = combo->Parts().First(); part != last; part = part->next) {
            Fixed fixed{part->matcher, 0};
            int partOffset = 0, partLength = 0, partLevel = 0;
            if (part->matcher->Match(const_cast<char*>(stripped), 0, &partOffset, &partLength, &partLevel) != 1)
                return false;
            const auto* phrasePart = dynamic_cast<const CPhraseRule*>(part->matcher);
            fixed.reads = partOffset + (phrasePart ? Reach(phrasePart) : SyllableReach(part->matcher));
            if (!m_fixed.PushBack(fixed)) return false;
        }
    }
    if (!rule && !syllable) return false;
    const std::size_t n = std::strlen(stripped);
    if (map.Size() < n) return false;
    m_text.Clear();
    m_map.Clear();
    m_starts.Clear();
    m_holes.Clear();
    m_plain.Clear();
    m_marks.Clear();
    m_folds = fold && marks;
    if (m_folds && (marks->Size() < n || !m_marks.Reserve(n))) return false;
    if (m_folds) {
        std::memcpy(m_marks.Data(), marks->Data(), n);
        m_marks.SetFilled(n);
    }
    if (!m_text.Reserve(n + 1) || !m_map.Reserve(n) || !m_starts.Reserve(n + 1)) return false;
    std::memcpy(m_text.Data(), stripped, n + 1);
    m_text.SetFilled(n + 1);
    std::memcpy(m_map.Data(), map.Data(), n * sizeof(int));
    m_map.SetFilled(n);
    // Allowed expressions: the stripped text as it was before they were
    // hidden, read back from the line, so that the bytes around a cut can be
    // searched for them as a check would.
    m_hidden = hidden;
    if (hidden >= 0) {
        if (!m_plain.Reserve(n + 1)) return false;
        for (std::size_t i = 0; i < n; ++i) {
            m_plain[i] = stripped[i];
            if (static_cast<unsigned char>(stripped[i]) != static_cast<unsigned>(hidden)) continue;
            const char* from = line + map[i];
            // A folded character was hidden as the byte it folds to.
            m_plain[i] = m_folds && (m_marks[i] & kFoldWide)
                             ? static_cast<char>(fold->Folded(static_cast<unsigned char>(from[0]),
                                                              static_cast<unsigned char>(from[1])))
                             : from[0];
        }
        m_plain[n] = 0;
        m_plain.SetFilled(n + 1);
    }
    // The stripped text holds whole characters of the line, read from its
    // start as the line is; cutting whole characters keeps that so.
    std::memset(m_starts.Data(), 0, n + 1);
    for (std::size_t i = 0; i < n; i += static_cast<std::size_t>(CharStep(stripped + i))) m_starts[i] = 1;
    m_starts.SetFilled(n + 1);
    m_size = static_cast<int>(n);
    m_removed = 0;
    m_rule = rule;
    m_syllable = syllable;
    m_phraseDecides = rule == decider;
    m_ordinal = ordinal;
    m_level = decider->GetLevel();
    m_reach = rule ? Reach(rule) : SyllableReach(syllable);
    m_offset = offset;
    m_length = length;
    m_resume = 0;
    m_resumeReads = 0;
    m_earlierRules = -1;
    m_clean = false;
    m_laterRules.Forget();
    m_active = true;
    if (!Remove()) End();
    return m_active;
}

bool CMaskPasses::Remove() {
    if (m_length <= 0) return true;
    const int from = m_offset, to = m_offset + m_length;
    const bool whole = StartsCharacter(from) && StartsCharacter(to);
    // The match's bytes in the stripped text, merged into the holes.
    int at = ToStripped(from);
    int left = m_length;
    std::size_t h = 0;
    while (h < m_holes.Size() && m_holes[h].end <= at) ++h;
    m_merged.Clear();
    if (!m_merged.Reserve(m_holes.Size() + static_cast<std::size_t>(m_length) + 1)) return false;
    for (std::size_t k = 0; k < h; ++k) m_merged.PushBack(m_holes[k]);
    while (left > 0) {
        const int pieceEnd = h < m_holes.Size() ? m_holes[h].start : m_size;
        const int take = pieceEnd - at < left ? pieceEnd - at : left;
        const Hole piece{at, at + take};
        m_laterRules.Cut(piece.start, piece.end);
        if (!m_merged.Empty() && m_merged[m_merged.Size() - 1].end == piece.start)
            m_merged[m_merged.Size() - 1].end = piece.end;
        else
            m_merged.PushBack(piece);
        left -= take;
        at += take;
        if (at == pieceEnd && h < m_holes.Size()) {
            m_merged[m_merged.Size() - 1].end = m_holes[h].end;
            at = m_holes[h++].end;
        }
    }
    for (; h < m_holes.Size(); ++h) {
        if (m_merged[m_merged.Size() - 1].end == m_holes[h].start)
            m_merged[m_merged.Size() - 1].end = m_holes[h].end;
        else
            m_merged.PushBack(m_holes[h]);
    }
    m_holes.Swap(m_merged);
    m_removed += m_length;
    return whole;
}

void CMaskPasses::Mask(char* out) {
    int at = ToStripped(m_offset);
    std::size_t h = 0;
    while (h < m_holes.Size() && m_holes[h].end <= at) ++h;
    for (int j = 0; j < m_length; ++j) {
        while (h < m_holes.Size() && at >= m_holes[h].start) at = m_holes[h++].end;
        const std::size_t byte = static_cast<std::size_t>(at++);
        out[m_map[byte]] = '*';
        // A folded byte stands for both bytes of its character.
        if (m_folds && (m_marks[byte] & kFoldWide)) out[m_map[byte] + 1] = '*';
    }
    if (!Remove()) End();
}

int CMaskPasses::Next(CRuleIndex& index, CAllowList* allow) {
    if (!m_active) return 0;
    m_active = false;
    m_clean = false;
    const int n = Logical();
    const int cut = m_offset;
    // A combination's other parts: each search found its part, and read
    // nothing at or after the cut, so it finds the same again.
    for (std::size_t i = 0; i < m_fixed.Size(); ++i)
        if (m_fixed[i].reads > cut) return 0;

    // The decider's search, resumed, first: most lines hold no further
    // match, and unless the passes may hand over to a later rule they end
    // in a whole check, which the checks around the cut would only delay.
    // Once the runs are known, though, the cut's are needed first.
    int offset = 0, length = 0, restart = 0, lead = 0;
    bool aroundCut = false;
    if (m_laterRules.Known()) {
        if (!CheckAroundCut(index, allow, cut, n)) return 0;
        aroundCut = true;
    }
    for (;;) {
        // A phrase none of whose runs is whole is not searched for, and
        // its search need not look before its first whole run.
        const bool runsOut = m_laterRules.Known() && m_phraseDecides && m_laterRules.Live(m_ordinal) == 0;
        if (!runsOut && m_laterRules.Known() && m_phraseDecides) SkipToRuns();
        if (!runsOut) {
            const int found = SearchDecider(n, &offset, &length, &restart, &lead);
            if (found < 0) return 0;
            if (found > 0) break;
        }
        if (!m_handOver) return 0;
        if (!aroundCut && !CheckAroundCut(index, allow, cut, n)) return 0;
        aroundCut = true;
        if (!NextDecider(index)) return 0;
        if (m_clean) {
            ++m_followed;
            return 0;
        }
    }
    // Where the next search may resume: a place this search reached (the
    // step that found the match, walking a character at a time) whose tries
    // before it read nothing at or after this match, which the next cut
    // removes.
    const int match = m_resume + offset;
    int resume = m_resumeReads <= match ? m_resume : 0;
    int reads = resume == m_resume ? m_resumeReads : 0;
    const char* window = m_window.Data() + lead;
    for (int at = restart; at <= offset;) {
        const int place = m_resume + at;
        if (place > resume && place - 1 + m_reach <= match) {
            resume = place;
            reads = place - 1 + m_reach;
        }
        const int step = CharByteCount(window + at);
        if (step == 0) break;
        at += step;
    }
    // (The checks around the cut reuse the search's window.)
    if (!aroundCut && !CheckAroundCut(index, allow, cut, n)) return 0;
    m_resume = resume;
    m_resumeReads = reads;
    m_offset = match;
    m_length = length;
    m_active = true;
    ++m_followed;
    return m_level;
}

int CMaskPasses::SearchDecider(int n, int* offset, int* length, int* restart, int* lead) {
    // A window of the text from the resume place, grown until the match
    // found lies far enough inside it that the window's end cannot have
    // changed a try, or the window holds the rest. Written-mode edges read
    // the character before a try and the marks: the window then starts a
    // character early and carries them.
    const bool edges = m_folds && m_rule && m_rule->Edges() != 0;
    int windowStart = m_resume;
    if (edges && windowStart > 0)
        for (--windowStart; windowStart > 0 && !StartsCharacter(windowStart);) --windowStart;
    *lead = m_resume - windowStart;
    int level = 0;
    for (int span = Larger(256, 4 * m_reach);; span = span < n / 2 ? span * 2 : n) {
        const int end = m_resume + span < n ? m_resume + span : n;
        if (!CopyOut(windowStart, end) || (edges && !CopyMarks(windowStart, end))) return -1;
        int found = 0;
        if (!m_rule) {
            found = m_syllable->Match(m_window.Data(), 0, offset, length, &level);
        } else if (!edges) {
            found = m_rule->MatchFrom(m_window.Data(), 0, offset, length, &level, restart);
        } else {
            // The rules read the marks of the text they are given from the
            // process-wide array: the window's stand in for the search.
            g_foldMarks.Swap(m_windowMarks);
            found = m_rule->MatchFrom(m_window.Data(), *lead, offset, length, &level, restart);
            g_foldMarks.Swap(m_windowMarks);
            *offset -= *lead;
            *restart -= *lead;
        }
        if (found && (end == n || *offset + *length + m_reach <= end - m_resume)) return 1;
        if (end == n) return 0;
    }
}

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
    m_roots.Clear();
    if (!m_shifted.Reserve(n + 1) || !m_roots.Reserve(n + 1)) return false;
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
    for (std::size_t i = 0; i <= n; ++i) m_roots[i] = static_cast<unsigned char>(m_starts[i] | m_shifted[i]);
    m_shifted.SetFilled(n + 1);
    m_roots.SetFilled(n + 1);
    return true;
}

bool CMaskPasses::CopyRoots(int from, int to, bool* shifted) {
    const std::size_t count = static_cast<std::size_t>(to - from);
    m_windowRoots.Clear();
    if (!m_windowRoots.Reserve(count + 1)) return false;
    unsigned char* roots = m_windowRoots.Data();
    int at = from;
    std::size_t h = 0;
    for (; h < m_holes.Size() && m_holes[h].start <= at; ++h) at += m_holes[h].end - m_holes[h].start;
    for (std::size_t i = 0; i < count; ++i) {
        while (h < m_holes.Size() && at == m_holes[h].start) at = m_holes[h++].end;
        if (m_shifted[static_cast<std::size_t>(at)]) *shifted = true;
        roots[i] = m_roots[static_cast<std::size_t>(at++)];
    }
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
    int at = ToStripped(cut);
    std::size_t h = 0;
    while (h < m_holes.Size() && m_holes[h].start <= at) ++h;
    int logical = cut;
    while (logical < n && CharStep(text + at) == 2 && !m_shifted[static_cast<std::size_t>(at) + 1]) {
        m_shifted[static_cast<std::size_t>(at) + 1] = 1;
        m_roots[static_cast<std::size_t>(at) + 1] = 1;
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
    if (record) index.RecordEndings(&m_found, piece.Size() * 8 + 64);
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
    if (record && (lost || !NoteWindowEndings(from))) m_laterRules.Forget();
    return true;
}

int CMaskPasses::EarlierRules(CRuleIndex& index) {
    if (m_earlierRules >= 0) return m_earlierRules;
    m_laterRules.Forget();
    // Recorded only where the runs can be told apart cheaply: a rule set
    // whose phrases run everywhere would record more than it saves.
    bool shifted = false;
    const bool roots = MarkShifted(index, &shifted);
    const bool record = roots && m_handOver;
    if (record) index.RecordEndings(&m_endings, static_cast<std::size_t>(m_size) * 8 + 1024);
    // The automaton's walk reads written-mode edges from the marks: the
    // line's, where they were when it was checked.
    int any = -1;
    if (roots && !shifted) {
        if (m_folds) g_foldMarks.Swap(m_marks);
        any = index.AnyRuleBeforeInStep(m_text.Data(), m_ordinal);
        if (m_folds) g_foldMarks.Swap(m_marks);
    } else {
        any = index.AnyRuleBefore(m_text.Data(), m_ordinal, roots ? m_roots.Data() : nullptr);
    }
    const bool lost = index.EndingsLost();
    index.RecordEndings(nullptr, 0);
    m_earlierRules = any != 0 ? 1 : 0;
    if (record && any == 0 && !lost && !m_laterRules.Begin(m_endings, m_ordinal)) m_laterRules.Forget();
    // The cuts so far ended some of the line's runs.
    for (std::size_t h = 0; h < m_holes.Size(); ++h) m_laterRules.Cut(m_holes[h].start, m_holes[h].end);
    return m_earlierRules;
}

bool CMaskPasses::NoteWindowEndings(int from) {
    // A window finds runs left and right of the cut again, and those across
    // it; each counts as whole until a cut takes one of its bytes. Its
    // first and last bytes move to the stripped text's positions, each in
    // one walk along the holes.
    const std::size_t count = m_found.Size();
    m_spans.Clear();
    if (!m_spans.Reserve(count)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const int end = from + m_found[i].end;
        const int shortest = m_laterRules.Shortest(m_found[i].node);
        m_spans.PushBack(CLaterRules::Span{end - (shortest > 0 ? shortest : 1), end - 1, m_found[i].node});
    }
    CLaterRules::Span* spans = m_spans.Data();
    std::sort(spans, spans + count,
              [](const CLaterRules::Span& a, const CLaterRules::Span& b) { return a.end < b.end; });
    MapToStripped(spans, count, &CLaterRules::Span::end);
    std::sort(spans, spans + count,
              [](const CLaterRules::Span& a, const CLaterRules::Span& b) { return a.start < b.start; });
    MapToStripped(spans, count, &CLaterRules::Span::start);
    for (std::size_t i = 0; i < count; ++i) ++spans[i].end;  // past the last byte
    return m_laterRules.Add(spans, count, m_ordinal);
}

void CMaskPasses::MapToStripped(CLaterRules::Span* spans, std::size_t count, int CLaterRules::Span::*field) const {
    int removed = 0;
    std::size_t h = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int at = spans[i].*field;
        for (; h < m_holes.Size() && m_holes[h].start <= at + removed; ++h)
            removed += m_holes[h].end - m_holes[h].start;
        spans[i].*field = at + removed;
    }
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
    auto* rule = dynamic_cast<CPhraseRule*>(index.Rule(next));
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
    // The text as it stands: the bytes cut before that place are gone.
    int at = end;
    for (std::size_t h = 0; h < m_holes.Size() && m_holes[h].start < end; ++h)
        at -= (m_holes[h].end < end ? m_holes[h].end : end) - m_holes[h].start;
    at -= reach;
    while (at > 0 && !StartsCharacter(at)) --at;
    // In step there: a two-byte character before it, whose second byte no
    // search may stand on, is stepped over whole from its first.
    if (at < 2 || StartsCharacter(at - 1)) return 0;
    return m_shifted[static_cast<std::size_t>(ToStripped(at - 1))] ? 0 : at;
}

}  // namespace chatsieve
