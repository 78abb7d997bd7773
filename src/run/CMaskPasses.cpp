#include "run/CMaskPasses.h"

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
    const CPhraseRule::SyllableRun syllables = rule->Syllables();
    for (std::size_t i = 0; i < syllables.Size(); ++i) reach += SyllableReach(syllables[i]);
    // A written-mode end edge reads the byte after the match too.
    return (rule->Edges() & CPhraseRule::kEdgeEnd) ? reach + 1 : reach;
}

void CMaskPasses::Prepare(const CMatcherList& rules, const CMatcherList& skipSets, const CAllowList& allow,
                          const CRuleIndex& index) {
    Reset();
    int star = 0;
    for (const CMatcherList::Node* node = skipSets.First(); node && !star; node = node->next) {
        const CSkipSet* set = As<CSkipSet>(node->matcher);
        int width = 0;
        star = set && set->IsSkipped("*", &width);
    }
    m_starIgnored = star != 0;
    // The longest piece anything may find across a cut.
    int margin = 0;
    TArray<int> reach;  // by syllable id
    if (index.Ready() && reach.Assign(index.SyllableCount(), 0)) {
        // The index holds every phrase of a rule or a combination once, with
        // its syllables' ids: each syllable's reach is taken once, not once
        // a reference (hundreds of thousands on real lists).
        for (std::size_t s = 0; s < reach.Size(); ++s) reach[s] = SyllableReach(index.SyllableById(s));
        const int* byId = reach.Data();
        for (std::size_t p = 0; p < index.PhraseCount(); ++p) {
            int phraseReach = (index.Phrase(p)->Edges() & CPhraseRule::kEdgeEnd) ? 1 : 0;
            const int* id = index.PhraseSyllablesBegin(p);
            const int* end = index.PhraseSyllablesEnd(p);
            // Four syllables a step: phrases are a few syllables long, too
            // few for the vector loop the compiler would make of one a step.
            for (; end - id >= 4; id += 4) phraseReach += byId[id[0]] + byId[id[1]] + byId[id[2]] + byId[id[3]];
            for (; id != end; ++id) phraseReach += byId[*id];
            margin = Larger(margin, phraseReach);
        }
        for (const CMatcherList::Node* node = rules.First(); node; node = node->next)
            if (const auto* combo = As<CComboRule>(node->matcher))
                for (const CMatcherList::Node* part = combo->Parts().First(); part; part = part->next)
                    if (!As<CPhraseRule>(part->matcher)) margin = Larger(margin, SyllableReach(part->matcher));
    } else {
        for (const CMatcherList::Node* node = rules.First(); node; node = node->next) {
            if (const auto* phrase = As<CPhraseRule>(node->matcher)) {
                margin = Larger(margin, Reach(phrase));
            } else if (const auto* combo = As<CComboRule>(node->matcher)) {
                for (const CMatcherList::Node* part = combo->Parts().First(); part; part = part->next) {
                    const auto* phrasePart = As<CPhraseRule>(part->matcher);
                    margin = Larger(margin, phrasePart ? Reach(phrasePart) : SyllableReach(part->matcher));
                }
            }
        }
    }
    for (std::size_t i = 0; i < allow.Count(); ++i)
        margin = Larger(margin, static_cast<int>(std::strlen(allow.Text(static_cast<int>(i)))));
    m_margin = margin + 2;
    // A run's shortest span is never longer than a try's reach, which the margin bounds.
    if (index.Ready()) m_laterRules.Prepare(index, m_margin);
    m_prepared = true;
}

void CMaskPasses::Reset() {
    m_prepared = false;
    m_active = false;
    m_text.Reset();
    m_map.Reset();
    m_starts.Reset();
    m_holes.Reset();
    m_removedBefore.Reset();
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
    m_windowMap.Reset();
    m_shifted.Reset();
    m_windowRoots.Reset();
    m_stretch.Reset();
    m_rule = nullptr;
    m_syllable = nullptr;
}

int CMaskPasses::ToStripped(int at, std::size_t* next) const {
    // The holes before `at`: those starting, in the text as it stands, at or
    // before it.
    std::size_t low = 0, high = m_holes.Size();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (m_holes[mid].start - m_removedBefore[mid] <= at)
            low = mid + 1;
        else
            high = mid;
    }
    if (next) *next = low;
    if (low == 0) return at;
    const Hole& hole = m_holes[low - 1];
    return at + m_removedBefore[low - 1] + hole.end - hole.start;
}

int CMaskPasses::ToLogical(int stripped) const {
    std::size_t low = 0, high = m_holes.Size();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (m_holes[mid].start < stripped)
            low = mid + 1;
        else
            high = mid;
    }
    if (low == 0) return stripped;
    const Hole& hole = m_holes[low - 1];
    return stripped - m_removedBefore[low - 1] - ((hole.end < stripped ? hole.end : stripped) - hole.start);
}

bool CMaskPasses::CountRemoved() {
    m_removedBefore.Clear();
    if (!m_removedBefore.Reserve(m_holes.Size())) return false;
    int removed = 0;
    for (std::size_t h = 0; h < m_holes.Size(); ++h) {
        m_removedBefore.PushBack(removed);
        removed += m_holes[h].end - m_holes[h].start;
    }
    return true;
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
    Pieces(from, to, [&](std::size_t done, std::size_t at, std::size_t take, bool) {
        std::memcpy(window + done, source.Data() + at, take);
    });
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
    Pieces(from, to, [&](std::size_t done, std::size_t at, std::size_t take, bool afterCut) {
        std::memcpy(marks + done, m_marks.Data() + at, take);
        // A byte right after a cut follows a gap.
        if (afterCut) marks[done] |= kFoldAfterGap;
    });
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
    auto* rule = As<CPhraseRule>(decider);
    CMatcher* syllable = nullptr;
    m_fixed.Clear();
    if (auto* combo = As<CComboRule>(decider)) {
        const CMatcherList::Node* last = combo->Parts().Last();
        if (!last) return false;
        rule = As<CPhraseRule>(last->matcher);
        if (!rule) syllable = As<CSyllable>(last->matcher);
        if (!rule && !syllable) return false;
        for (const CMatcherList::Node* part = combo->Parts().First(); part != last; part = part->next) {
            Fixed fixed{part->matcher, 0};
            int partOffset = 0, partLength = 0, partLevel = 0;
            if (part->matcher->Match(const_cast<char*>(stripped), 0, &partOffset, &partLength, &partLevel) != 1)
                return false;
            const auto* phrasePart = As<CPhraseRule>(part->matcher);
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
    m_removedBefore.Clear();
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
    std::size_t h = 0;
    int at = ToStripped(from, &h);
    int left = m_length;
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
    return CountRemoved() && whole;
}

void CMaskPasses::Mask(char* out) {
    std::size_t h = 0;
    int at = ToStripped(m_offset, &h);
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

}  // namespace chatsieve
