// CAutomatonWalk: walks a stripped text through a CCheckAutomaton and gathers
// what the text's searches can reach, for the rule index to turn into
// candidates.
//
// The text is read as the phrase rules' searches read it: character by
// character from its start, and, where a search resumes two bytes after a
// one-byte character that can begin a first syllable, from inside the
// two-byte character that follows. Each of these two streams carries a set of
// the automaton's positions; where they meet, their sets join.
//
// Sets that recur are interned and each step from one over a class is kept,
// so a warm walk costs a table probe a character: the automaton becomes a DFA
// as lines need it. The kept steps are capped: past the cap, or past the live
// set bound, the walk hands its line back (Walk answers false) and the rule
// index walks it its own way; the memo starts afresh before the next line.
//
// Masking checks the line again with the bytes of each match cut out. With a
// trace kept, a walk notes at each character what waits there, and where each
// step that reached something was taken. The walk of the cut text (WalkCut)
// starts at the last character before the change where the start's stream
// stood alone, and stops at the first character after it where the same sets
// wait as waited there in the text before the cut: from there on the two
// texts are read alike, so the steps before and after are the old ones.
//
// Per-check state only: one walker per thread of checks. It keeps no pointer
// into the automaton between calls, but its memo belongs to one automaton:
// Reset it when the automaton is built again.
#ifndef CHATSIEVE_RUN_CAUTOMATONWALK_H
#define CHATSIEVE_RUN_CAUTOMATONWALK_H

#include <cstddef>
#include <cstdint>

#include "build/CCheckAutomaton.h"
#include "build/PairTable.h"
#include "matchers/TArray.h"

namespace chatsieve {

class CAutomatonWalk {
public:
    // Bounds a line is handed back beyond.
    static constexpr std::size_t kMemoBytes = 8u << 20;
    static constexpr std::size_t kLiveSet = 4096;

    CAutomatonWalk() = default;
    CAutomatonWalk(const CAutomatonWalk&) = delete;
    CAutomatonWalk& operator=(const CAutomatonWalk&) = delete;

    // A step that reached something: the step taken at byte `at`, whose
    // `count` findings (see CCheckAutomaton::Step) ReachedBy gives, the
    // first `prompt` of them those a check reads at once. They stay valid
    // until the next Walk, WalkCut or Reset.
    struct ReachingStep {
        std::uint32_t start;
        std::uint16_t count;
        std::uint16_t prompt;
        int at;
    };
    const int* ReachedBy(const ReachingStep& step) const { return m_reachedPool.Data() + step.start; }

    // Walks the `n` bytes of `text` (terminated after them), appending to
    // `reached` the steps that reached something, each step once a line
    // (at the first place it was taken); with `promptOnly`, only those
    // whose findings a check reads at once. False when the line is handed
    // back: memory ran out or a bound was passed; what `reached` holds is
    // then a part.
    // With `edges`, letters and digits are read with what stands around them
    // (see CCheckAutomaton::kStartBlocked), fillers stripped before byte i
    // where `marks` (of `markCount` bytes) holds kFoldAfterGap at i.
    bool Walk(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n, bool edges,
              const unsigned char* marks, std::size_t markCount, TArray<ReachingStep>* reached,
              bool promptOnly = false) {
        m_traceValid = false;
        m_promptOnly = promptOnly;
        return m_keepTrace ? WalkTraced(automaton, text, n, edges, marks, markCount, reached)
                           : Run<false, false>(automaton, text, n, edges, marks, markCount, reached, nullptr);
    }
    // After a Walk that answered true: the first place of the character
    // stream from the start of the text (the one every search begins on)
    // that holds a character of class `cls`, and the place of the character
    // before it (-1: none); false when the text holds none there.
    bool FirstOnStart(unsigned cls, int* at, int* previous) const {
        if (cls >= m_first.Size() || m_first[cls].line != m_line) return false;
        *at = m_first[cls].at;
        *previous = m_first[cls].previous;
        return true;
    }
    // While set, the walks append to `ends`, for every step that reaches
    // phrase nodes, each node and the place after the character read, as
    // (node, end) pairs, however often a line takes the step.
    void RecordEnds(TArray<int>* ends) { m_ends = ends; }
    // While on, each Walk keeps a trace of the text it read, for WalkCut.
    void KeepTrace(bool on) { m_keepTrace = on; }
    // After a Walk or WalkCut that kept its trace: every step of that text
    // that reached something, in the order of their places, and what each
    // reached (ReachedBy).
    const TArray<ReachingStep>& TracedSteps() const { return m_traceSteps; }
    // After a Walk or WalkCut of a text that kept its trace: the walk of that
    // text with bytes [cut, cut + removed) taken out, as `text` (of `n`
    // bytes) is now, where it may differ from the old text from byte
    // `changedFrom` (at most `cut`) until byte `changedTo` (at least `cut`)
    // of the new text. Its trace becomes the new text's. *from gets the
    // character's place the walk began at (no character before it differs)
    // and *before the place of the character before it (-1: none). False when
    // the trace is gone or the line is handed back; the trace is then gone
    // too, and a whole walk must follow.
    bool WalkCut(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n, bool edges,
                 const unsigned char* marks, std::size_t markCount, std::size_t cut, std::size_t removed,
                 std::size_t changedFrom, std::size_t changedTo, int* from, int* before);
    // Forgets the memo and gives its memory back.
    void Reset();

    // For tests: smaller bounds, and what the walks did so far.
    void SetBounds(std::size_t memoBytes, std::size_t liveSet) {
        m_memoBytes = memoBytes;
        m_liveSet = liveSet;
    }
    // Bytes the walks passed, characters read off the start's stream, and
    // positions moved where the memo held no step.
    unsigned long long Steps() const { return m_steps; }
    unsigned long HandedBack() const { return m_handedBack; }

private:
    using Position = CCheckAutomaton::Position;
    struct State {
        std::uint32_t start;  // into m_pool
        std::uint32_t count;
        std::uint64_t hash;
    };
    struct Transition {
        std::uint64_t key;  // state << 32 | class << 3 | flags; kNoPair when empty
        int next;
        std::uint32_t reachedStart;  // into m_reachedPool
        std::uint16_t reachedCount;
        std::uint16_t promptCount;  // of them first, which a check reads at once
        unsigned line;              // the last line whose `reached` got these
    };

    // What waits at a character's place x of a traced text: the sets
    // arriving at x and at x + 1 (-1: no stream). The place inside a
    // two-byte character holds kInside as `here`, which is how a walk
    // steps back over characters.
    struct Waiting {
        int here;
        int next;
    };
    static constexpr int kInside = -2;
    // The place of the character before the one at x (x > 0).
    std::size_t Back(std::size_t x) const { return x - (m_trace[x - 1].here == kInside ? 2 : 1); }
    // Where a walk begins, and, for a walk of a cut text, where it may stop:
    // at a character from `stopFrom` on where what waits is what waited
    // `removed` bytes further on in the old trace, of `oldSize` entries.
    struct Span {
        std::size_t x;
        int state;
        int beforeStart;
        std::size_t stopFrom;
        std::size_t removed;
        std::size_t oldSize;
        std::size_t stoppedAt;  // n when the walk read to the end
    };
    // Starts a whole text's walk: false when it must be handed back.
    bool StartLine(const CCheckAutomaton& automaton);
    bool WalkTraced(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n, bool edges,
                    const unsigned char* marks, std::size_t markCount, TArray<ReachingStep>* reached);
    // `span`: for a cut text only.
    template <bool kTrace, bool kCut>
    bool Run(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n, bool edges,
             const unsigned char* marks, std::size_t markCount, TArray<ReachingStep>* reached, Span* span) {
        return edges ? RunEdges<kTrace, kCut, true>(automaton, text, n, marks, markCount, reached, span)
                     : RunEdges<kTrace, kCut, false>(automaton, text, n, marks, markCount, reached, span);
    }
    // Run with `edges` known when compiled: the walk's loop keeps fewer
    // values without them.
    template <bool kTrace, bool kCut, bool kEdges>
    bool RunEdges(const CCheckAutomaton& automaton, const unsigned char* text, std::size_t n,
                  const unsigned char* marks, std::size_t markCount, TArray<ReachingStep>* reached, Span* span);
    bool Flush();
    bool NoteEnds(const Transition& t, std::size_t end);
    // Hands on what the step `t`, taken at `at` and ending at `end`, reached:
    // to `reached` once a line, and to the recorded ends. False when memory
    // ran out.
    bool Reach(Transition* t, std::size_t at, std::size_t end, TArray<ReachingStep>* reached);
    std::size_t MemoBytes() const;
    int Intern(const Position* set, std::size_t count);
    bool GrowStates();
    bool GrowTransitions();
    // The step kept under `key` (state << 32 | symbol) in the memo's
    // `table` of mask + 1 slots, or null. The walk passes the table in
    // locals, which a step it computes may move.
    static Transition* Find(Transition* table, std::size_t mask, std::uint64_t key) {
        for (std::size_t slot = PairHash(key) & mask;; slot = (slot + 1) & mask) {
            if (table[slot].key == key) return &table[slot];
            if (table[slot].key == kNoPair) return nullptr;
        }
    }
    // `symbol`: class << 3 | CCheckAutomaton flags.
    Transition* Compute(const CCheckAutomaton& automaton, int state, unsigned symbol);
    // Joins the set `state` into the other set waiting in `*slot`, both
    // holding a position besides the root.
    bool Merge(int* slot, int state);

    std::size_t m_memoBytes = kMemoBytes;
    std::size_t m_liveSet = kLiveSet;
    TArray<Position> m_pool;
    TArray<State> m_states;    // state 0: the empty set
    TArray<int> m_stateTable;  // open addressing over m_states, -1 empty
    TArray<Transition> m_transitions;
    std::size_t m_transitionCount = 0;
    TArray<int> m_reachedPool;
    TArray<Position> m_next;  // scratch of a step
    TArray<int> m_reached;
    TArray<int>* m_ends = nullptr;
    // By class: the line that last met it on the start's stream, where, and
    // the place of the character before.
    struct First {
        unsigned line;
        int at;
        int previous;
    };
    TArray<First> m_first;
    unsigned m_line = 0;
    bool m_keepTrace = false;
    bool m_promptOnly = false;
    bool m_traceValid = false;
    TArray<Waiting> m_trace;            // per byte of the last text walked
    TArray<ReachingStep> m_traceSteps;  // its steps that reached something
    TArray<ReachingStep> m_cutSteps;    // a cut walk's
    unsigned long long m_steps = 0;
    unsigned long m_handedBack = 0;
};

}  // namespace chatsieve

#endif
