#include "run/CAutomatonWalk.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "matchers/ProcessLists.h"
#include "platform/BytePair.h"
#include "platform/Compiler.h"

namespace chatsieve {

namespace {

std::uint64_t HashSet(const CCheckAutomaton::Position* set, std::size_t count) {
    std::uint64_t hash = 0x84222325CBF29CE4ull ^ count;
    for (std::size_t i = 0; i < count; ++i) hash = (hash ^ set[i]) * 0x100000001B3ull;
    return hash ^ (hash >> 29);
}

}  // namespace

void CAutomatonWalk::Reset() {
    m_pool.Reset();
    m_states.Reset();
    m_stateTable.Reset();
    m_transitions.Reset();
    m_transitionCount = 0;
    m_reachedPool.Reset();
    m_next.Reset();
    m_reached.Reset();
    m_first.Reset();
    m_trace.Reset();
    m_traceSteps.Reset();
    m_cutSteps.Reset();
    m_traceValid = false;
}

std::size_t CAutomatonWalk::MemoBytes() const {
    return m_pool.Size() * sizeof(Position) + m_states.Size() * sizeof(State) + m_stateTable.Size() * sizeof(int) +
           m_transitions.Size() * sizeof(Transition) + m_reachedPool.Size() * sizeof(int);
}

bool CAutomatonWalk::Flush() {
    m_pool.Clear();
    m_states.Clear();
    m_reachedPool.Clear();
    m_transitionCount = 0;
    m_stateTable.Clear();
    m_transitions.Clear();
    if (!m_stateTable.Reserve(64) || !m_transitions.Reserve(256)) return false;
    for (int i = 0; i < 64; ++i) m_stateTable.PushBack(-1);
    for (int i = 0; i < 256; ++i) m_transitions.PushBack(Transition{kNoPair, 0, 0, 0, 0, 0});
    return Intern(nullptr, 0) == 0;
}

bool CAutomatonWalk::GrowStates() {
    const std::size_t size = m_stateTable.Size() * 2;
    m_stateTable.Clear();
    if (!m_stateTable.Reserve(size)) return false;
    for (std::size_t i = 0; i < size; ++i) m_stateTable.PushBack(-1);
    for (std::size_t id = 0; id < m_states.Size(); ++id) {
        std::size_t slot = static_cast<std::size_t>(m_states[id].hash) & (size - 1);
        while (m_stateTable[slot] >= 0) slot = (slot + 1) & (size - 1);
        m_stateTable[slot] = static_cast<int>(id);
    }
    return true;
}

int CAutomatonWalk::Intern(const Position* set, std::size_t count) {
    const std::uint64_t hash = HashSet(set, count);
    const std::size_t mask = m_stateTable.Size() - 1;
    std::size_t slot = static_cast<std::size_t>(hash) & mask;
    for (; m_stateTable[slot] >= 0; slot = (slot + 1) & mask) {
        const State& state = m_states[static_cast<std::size_t>(m_stateTable[slot])];
        if (state.hash == hash && state.count == count &&
            (count == 0 || std::memcmp(m_pool.Data() + state.start, set, count * sizeof(Position)) == 0))
            return m_stateTable[slot];
    }
    const int id = static_cast<int>(m_states.Size());
    if (!m_states.PushBack(State{static_cast<std::uint32_t>(m_pool.Size()), static_cast<std::uint32_t>(count), hash}) ||
        !m_pool.ReserveMore(count))
        return -1;
    for (std::size_t i = 0; i < count; ++i) m_pool.PushBack(set[i]);
    m_stateTable[slot] = id;
    if (m_states.Size() * 2 > m_stateTable.Size() && !GrowStates()) return -1;
    return id;
}

bool CAutomatonWalk::GrowTransitions() {
    TArray<Transition> old;
    old.Swap(m_transitions);
    const std::size_t size = old.Size() * 2;
    if (!m_transitions.Reserve(size)) {
        old.Swap(m_transitions);
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) m_transitions.PushBack(Transition{kNoPair, 0, 0, 0, 0, 0});
    for (std::size_t i = 0; i < old.Size(); ++i) {
        if (old[i].key == kNoPair) continue;
        std::size_t slot = PairHash(old[i].key) & (size - 1);
        while (m_transitions[slot].key != kNoPair) slot = (slot + 1) & (size - 1);
        m_transitions[slot] = old[i];
    }
    return true;
}

CAutomatonWalk::Transition* CAutomatonWalk::Compute(const CCheckAutomaton& automaton, int state, unsigned symbol) {
    const State from = m_states[static_cast<std::size_t>(state)];
    m_steps += from.count + 1;
    std::size_t prompt = 0;
    if (!automaton.Step(m_pool.Data() + from.start, from.count, symbol >> 3, symbol & 7, &m_next, &m_reached, &prompt))
        return nullptr;
    if (m_next.Size() > m_liveSet || MemoBytes() > m_memoBytes) return nullptr;
    const int next = Intern(m_next.Data(), m_next.Size());
    if (next < 0) return nullptr;
    // The live set bound keeps a step's findings far below this.
    if (m_reached.Size() > 0xFFFF) return nullptr;
    const std::uint32_t reachedStart = static_cast<std::uint32_t>(m_reachedPool.Size());
    if (!m_reachedPool.ReserveMore(m_reached.Size())) return nullptr;
    for (std::size_t i = 0; i < m_reached.Size(); ++i) m_reachedPool.PushBack(m_reached[i]);
    if ((m_transitionCount + 1) * 2 > m_transitions.Size() && !GrowTransitions()) return nullptr;
    const std::uint64_t key = PairKey(static_cast<std::size_t>(state), symbol);
    const std::size_t mask = m_transitions.Size() - 1;
    std::size_t slot = PairHash(key) & mask;
    while (m_transitions[slot].key != kNoPair) slot = (slot + 1) & mask;
    m_transitions[slot] = Transition{
        key,       next, reachedStart, static_cast<std::uint16_t>(m_reached.Size()), static_cast<std::uint16_t>(prompt),
        m_line - 1};
    ++m_transitionCount;
    return &m_transitions[slot];
}

bool CAutomatonWalk::Merge(int* slot, int state) {
    // Two streams meet: the union of their sets, both sorted.
    const State a = m_states[static_cast<std::size_t>(*slot)];
    const State b = m_states[static_cast<std::size_t>(state)];
    m_next.Clear();
    if (!m_next.Reserve(a.count + b.count)) return false;
    std::size_t i = 0, j = 0;
    const Position* pa = m_pool.Data() + a.start;
    const Position* pb = m_pool.Data() + b.start;
    while (i < a.count || j < b.count) {
        if (j == b.count || (i < a.count && pa[i] < pb[j])) {
            m_next.PushBack(pa[i++]);
        } else {
            if (i < a.count && pa[i] == pb[j]) ++i;
            m_next.PushBack(pb[j++]);
        }
    }
    if (m_next.Size() > m_liveSet) return false;
    *slot = Intern(m_next.Data(), m_next.Size());
    return *slot >= 0;
}

bool CAutomatonWalk::NoteEnds(const Transition& t, std::size_t end) {
    for (std::uint32_t i = 0; i < t.reachedCount; ++i) {
        const int reached = m_reachedPool[t.reachedStart + i];
        if (reached >= 0 && (!m_ends->PushBack(reached >> 2) || !m_ends->PushBack(static_cast<int>(end)))) return false;
    }
    return true;
}

CHATSIEVE_ALWAYS_INLINE inline bool CAutomatonWalk::Reach(Transition* t, std::size_t at, std::size_t end,
                                                          TArray<ReachingStep>* reached) {
    if (m_ends && !NoteEnds(*t, end)) return false;
    if (t->line == m_line) return true;
    t->line = m_line;
    return reached->PushBack(ReachingStep{t->reachedStart, t->reachedCount, t->promptCount, static_cast<int>(at)});
}

inline bool CAutomatonWalk::StartLine(const CCheckAutomaton& automaton) {
    if (m_first.Size() != automaton.ClassCount()) {
        const std::size_t classes = automaton.ClassCount();
        m_first.Clear();
        if (!m_first.Reserve(classes)) return false;
        for (std::size_t c = 0; c < classes; ++c) m_first.PushBack(First{0, 0, 0});
    }
    if (++m_line == 0) {
        for (std::size_t i = 0; i < m_transitions.Size(); ++i) m_transitions[i].line = 0;
        for (std::size_t c = 0; c < m_first.Size(); ++c) m_first[c].line = 0;
        m_line = 1;
    }
    return (!m_states.Empty() && MemoBytes() <= m_memoBytes) || Flush();
}

bool CAutomatonWalk::WalkTraced(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n, bool edges,
                                const unsigned char* marks, std::size_t markCount, TArray<ReachingStep>* reached) {
    // Without room for the trace the walk goes on; only masking misses it.
    m_traceSteps.Clear();
    if (!m_trace.Reserve(n)) return Run<false, false>(automaton, text, n, edges, marks, markCount, reached, nullptr);
    m_trace.SetFilled(n);
    m_traceValid = Run<true, false>(automaton, text, n, edges, marks, markCount, reached, nullptr);
    return m_traceValid;
}

bool CAutomatonWalk::WalkCut(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n, bool edges,
                             const unsigned char* marks, std::size_t markCount, std::size_t cut, std::size_t removed,
                             std::size_t changedFrom, std::size_t changedTo, int* from, int* before) {
    const std::size_t oldSize = m_trace.Size();
    // The trace names sets of the memo: any walk between (which may start
    // the memo afresh) has made it invalid.
    const bool usable = m_traceValid && removed > 0 && n + removed == oldSize && cut < oldSize && changedFrom <= cut &&
                        changedTo >= cut && changedTo <= n && m_first.Size() == automaton.ClassCount();
    m_traceValid = false;
    if (!usable) return false;
    // The last character before the change where the start's stream stood
    // alone; reads before it (the byte after a character included) saw
    // nothing that changed. The cut starts a character in both texts.
    std::size_t x = cut;
    while (x > 0 && (x >= changedFrom || m_trace[x].here < 0 || m_trace[x].next >= 0)) x = Back(x);
    const int beforeStart = x == 0 ? -1 : static_cast<int>(Back(x));
    Span span{x, x == 0 ? 0 : m_trace[x].here, beforeStart, changedTo + 2, removed, oldSize, n};
    *from = static_cast<int>(x);
    *before = beforeStart;
    m_cutSteps.Clear();
    if (!Run<true, true>(automaton, text, n, edges, marks, markCount, nullptr, &span)) return false;

    // The old steps before the walk's start and from where it stopped on
    // (shifted) are the new text's, with the walk's between.
    const std::size_t stop = span.stoppedAt;
    std::size_t keep = 0, resume = m_traceSteps.Size();
    while (keep < m_traceSteps.Size() && m_traceSteps[keep].at < static_cast<int>(x)) ++keep;
    while (resume > keep && m_traceSteps[resume - 1].at >= static_cast<int>(stop + removed)) --resume;
    const std::size_t after = m_traceSteps.Size() - resume;
    const std::size_t total = keep + m_cutSteps.Size() + after;
    if (!m_traceSteps.Reserve(total)) return false;
    ReachingStep* steps = m_traceSteps.Data();
    if (after > 0) std::memmove(steps + keep + m_cutSteps.Size(), steps + resume, after * sizeof(ReachingStep));
    for (std::size_t i = 0; i < after; ++i) steps[keep + m_cutSteps.Size() + i].at -= static_cast<int>(removed);
    if (!m_cutSteps.Empty()) std::memcpy(steps + keep, m_cutSteps.Data(), m_cutSteps.Size() * sizeof(ReachingStep));
    m_traceSteps.SetFilled(total);
    if (stop < n) std::memmove(m_trace.Data() + stop, m_trace.Data() + stop + removed, (n - stop) * sizeof(Waiting));
    m_trace.Truncate(n);
    m_traceValid = true;
    return true;
}

template <bool kTrace, bool kCut, bool kEdges>
bool CAutomatonWalk::RunEdges(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n,
                              const unsigned char* marks, std::size_t markCount, TArray<ReachingStep>* reached,
                              Span* span) {
    // Fillers stood right before byte i: runs of letters apart there are
    // apart in the line.
    const auto gap = [&](std::size_t i) { return i < markCount && (marks[i] & kFoldAfterGap); };
    // A whole text's walk starts a line; a cut text's, where the span says.
    if (!kCut && !StartLine(automaton)) {
        ++m_handedBack;
        return false;
    }
    const std::uint32_t* readTable = automaton.ReadTable();
    const bool promptOnly = m_promptOnly;
    // Read at every character; kept in locals, which the stores below
    // cannot be taken to change.
    const unsigned line = m_line;
    First* first = m_first.Data();
    // The memo's steps; a new step can move them.
    Transition* table = m_transitions.Data();
    std::size_t mask = m_transitions.Size() - 1;
    Waiting* trace = kTrace ? m_trace.Data() : nullptr;
    TArray<ReachingStep>* traced = kCut ? &m_cutSteps : &m_traceSteps;
    // Reads off the start's stream: the start's stream is counted as the
    // bytes the walk passed, when it ends.
    unsigned long long steps = 0;
    // The start's stream: its next place and the one before.
    std::size_t start = kCut ? span->x : 0;
    int beforeStart = kCut ? span->beforeStart : -1;
    // The state reached by reading the character at x; kHandBack when the
    // line is handed back, kCutLead at a lead byte cut off by the terminator.
    constexpr int kHandBack = -1, kCutLead = -2;
    // Of the character read last: its ReadTable entry and its width.
    std::uint32_t entry = 0;
    std::size_t width = 1;
    // Written once for the walk's two loops, and not a call: it is most of
    // the walk. `OnStart` says at compile time that x is the start's
    // stream's next place, which is all the first loop reads.
    const auto read = [&](std::size_t x, int state, auto onStart) CHATSIEVE_ALWAYS_INLINE -> int {
        constexpr bool kOnStart = decltype(onStart)::value;
        // The terminator follows the text: the pair at its last byte is
        // there to read.
        entry = readTable[LoadBytePair(text + x)];
        width = entry & CCheckAutomaton::kReadWidth;
        if (width == 0) return kCutLead;
        const unsigned cls = entry >> CCheckAutomaton::kReadClassShift;
        const bool atStart = kOnStart || x == start;
        if (!atStart) ++steps;
        unsigned symbol = cls << 3 | (atStart ? 0 : CCheckAutomaton::kOffStart);
        if (kEdges && (entry & CCheckAutomaton::kReadAlnum)) {
            // A letter or digit inside a character, or right after one with
            // no fillers between, begins no match of a phrase with a start
            // edge; one right before another ends none with an end edge.
            const auto alnumAt = [&](std::size_t at) {
                return (readTable[LoadBytePair(text + at)] & CCheckAutomaton::kReadAlnum) != 0;
            };
            if (!atStart || (beforeStart >= 0 && beforeStart + 1 == static_cast<int>(x) && alnumAt(x - 1) && !gap(x)))
                symbol |= CCheckAutomaton::kStartBlocked;
            if (x + 1 < n && alnumAt(x + 1) && !gap(x + 1)) symbol |= CCheckAutomaton::kEndBlocked;
        }
        if (atStart) {
            if (kTrace && width == 2) trace[x + 1].here = kInside;
            // A cut text's characters all stood in the text the first
            // places were noted for.
            if (!kCut && first[cls].line != line) first[cls] = First{line, static_cast<int>(x), beforeStart};
            beforeStart = static_cast<int>(x);
            // The first loop reads nothing but the start's stream: it sets
            // `start` only when a second stream begins.
            if (!kOnStart) start = x + width;
        }
        if (cls == 0 && state == 0) return 0;
        Transition* t = Find(table, mask, PairKey(static_cast<std::size_t>(state), symbol));
        if (!t) {
            if (!(t = Compute(automaton, state, symbol))) return kHandBack;
            table = m_transitions.Data();
            mask = m_transitions.Size() - 1;
        }
        if (t->reachedCount != 0) {
            // Without room for the trace the line goes to the index's walk.
            if (kTrace &&
                !traced->PushBack(ReachingStep{t->reachedStart, t->reachedCount, t->promptCount, static_cast<int>(x)}))
                return kHandBack;
            if (!kCut && (t->promptCount != 0 || !promptOnly) && !Reach(t, x, x + width, reached)) return kHandBack;
        }
        return t->next;
    };
    // At a character's place: notes what waits there; for a cut text,
    // says whether the walk may stop, past the change, where the same waits
    // as at the same character of the old text.
    const auto meets = [&](std::size_t x, int here, int next) CHATSIEVE_ALWAYS_INLINE {
        if (kCut && x >= span->stopFrom && x + span->removed < span->oldSize) {
            const Waiting& old = trace[x + span->removed];
            if (old.here == here && old.next == next) return true;
        }
        trace[x] = Waiting{here, next};
        return false;
    };
    // A search that fails at a one-byte character moves on two bytes: into
    // the character after it, where a second stream starts with the root
    // alone (which any set waiting there holds already).
    const auto spawns = [&](std::size_t x) {
        return (entry & CCheckAutomaton::kReadSpawns) && x + 2 < n &&
               (readTable[LoadBytePair(text + x + 1)] & CCheckAutomaton::kReadWidth) != 1;
    };
    const std::size_t from = kCut ? span->x : 0;
    std::size_t x = from;
    const auto handBack = [&]() {
        m_steps += steps + (x - from);
        ++m_handedBack;
        return false;
    };

    int state = kCut ? span->state : 0;
    if (kCut) span->stoppedAt = n;
    while (x < n) {
        if (kTrace && meets(x, state, -1)) {
            if (kCut) span->stoppedAt = x;
            break;
        }
        // Most of a line has the start's stream alone: no ring to keep.
        const int next = read(x, state, std::true_type{});
        if (next < 0) {
            if (next == kCutLead) break;
            return handBack();
        }
        if (!spawns(x)) {
            state = next;
            x += width;
            continue;
        }
        start = x + width;
        // Two streams: the set waiting at each of the next bytes, -1 where
        // no stream arrives, 0 where one arrives with no position but the
        // root; until only the start's stream is left.
        int arrive[4] = {-1, -1, -1, -1};
        if (x + 1 < n) arrive[(x + 1) & 3] = next;
        arrive[(x + 2) & 3] = 0;
        bool stopped = false;
        for (++x; x < n; ++x) {
            const int at = arrive[x & 3];
            if (kTrace && x == start && meets(x, at, arrive[(x + 1) & 3])) {
                stopped = true;
                break;
            }
            if (at < 0) continue;
            if (x == start) {
                bool alone = true;
                for (std::size_t k = 1; k < 4 && alone; ++k) alone = arrive[(x + k) & 3] < 0;
                if (alone) break;
            }
            arrive[x & 3] = -1;
            const int after = read(x, at, std::false_type{});
            if (after < 0) {
                if (after != kCutLead) return handBack();
                x = n;
                break;
            }
            if (spawns(x) && arrive[(x + 2) & 3] < 0) arrive[(x + 2) & 3] = 0;
            if (x + width >= n) continue;
            int& slot = arrive[(x + width) & 3];
            if (slot <= 0) {
                slot = after;
            } else if (after != 0 && after != slot && !Merge(&slot, after)) {
                return handBack();
            }
        }
        if (stopped) {
            if (kCut) span->stoppedAt = x;
            break;
        }
        if (x < n) {
            state = arrive[x & 3];
            arrive[x & 3] = -1;
        }
    }
    m_steps += steps + (x < n ? x : n) - from;
    return true;
}

template bool CAutomatonWalk::RunEdges<false, false, false>(const CCheckAutomaton&, const unsigned char*, std::size_t,
                                                            const unsigned char*, std::size_t, TArray<ReachingStep>*,
                                                            Span*);
template bool CAutomatonWalk::RunEdges<false, false, true>(const CCheckAutomaton&, const unsigned char*, std::size_t,
                                                           const unsigned char*, std::size_t, TArray<ReachingStep>*,
                                                           Span*);

}  // namespace chatsieve
