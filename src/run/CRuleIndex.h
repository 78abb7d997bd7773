// CRuleIndex: finds, for a stripped text, the few rules that can possibly
// match it, so that a check runs the rules' own Match on those alone.
//
// One pass over the text records where syllables start and how long they are
// there (code ranges by character, romanised and split forms in tries). A
// phrase rule's search tries its first syllable character by character and,
// after a try that failed, resumes two bytes on, which can be inside a
// character; the pass follows those same walks, so a phrase is looked for only
// where its search would look, and each syllable gets the one length its own
// match gives there (the romanised form before the split form before a code).
// A phrase rule is a candidate exactly when its syllables follow one another
// from such a place; the phrases' syllable sequences form a trie that is walked
// along the record, each trie node taken at most once per place, so the cost
// does not grow with the number of phrases sharing a start. A combination rule
// is a candidate when each of its parts is. The candidates are then tried in
// checking order with the rules' own Match (skipping those above the ceiling,
// which could not decide), so the rule that decides, its level and its match
// are exactly those of trying every rule. One over-approximation is left: a
// search that resumed inside a character stands for every first syllable, not
// only the one whose try failed there.
//
// Masking checks a line again with each match cut out. A check that keeps its
// text (KeepForCuts) lets the next one, of that text with bytes cut out, walk
// only around the cut (CRuleIndexCut.cpp): the walker keeps where each of the
// line's steps reached something, and the candidates come from those steps
// as from a whole walk.
//
// Build once after the rules are ordered (CRuleIndexBuild.cpp); Check any
// number of times (CRuleIndex.cpp). The index holds non-owning pointers to
// the rules, and is Reset before they are destroyed. Memory comes from the
// allocation seam: Build reports failure as false, and Check reports a text
// it could not index as false, and the filter then tries every rule.
#ifndef CHATSIEVE_RUN_CRULEINDEX_H
#define CHATSIEVE_RUN_CRULEINDEX_H

#include <climits>
#include <cstdint>

#include "build/CCheckAutomaton.h"
#include "build/CTrie.h"
#include "build/PairTable.h"
#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"
#include "platform/Compiler.h"
#include "run/CAutomatonWalk.h"

namespace chatsieve {

class CMatcher;
class CPhraseRule;
class CSyllable;

class CRuleIndex {
public:
    CRuleIndex() = default;
    CRuleIndex(const CRuleIndex&) = delete;
    CRuleIndex& operator=(const CRuleIndex&) = delete;

    // Indexes `rules` (in checking order) over the syllables of `syllables`.
    bool Build(const CMatcherList& rules, const CMatcherList& syllables);
    void Reset();
    bool Ready() const { return m_ready; }

    // Sets *level to the level of the first rule, in checking order, that
    // matches `text` at a level not above `ceiling`, writing its offset and
    // length, or to 0 when none does. False when memory ran out.
    bool Check(char* text, int ceiling, int* offset, int* length, int* level);
    // While on, a Check keeps what a CheckCut of its text needs.
    void KeepForCuts(bool on) { m_keepForCuts = on; }
    // Check of `text`, which is the text of the last Check or CheckCut with
    // bytes [cut, cut + removed) taken out (the fold marks moved with them,
    // a gap noted at the cut) and allowed expressions hidden again, when the
    // index was asked nothing in between; a Check when that one kept nothing.
    bool CheckCut(char* text, int cut, int removed, int ceiling, int* offset, int* length, int* level);
    // Texts found from a trace so far: the cut walks' work, for tests.
    unsigned long CutWalks() const { return m_cutWalks; }
    // After a Check that decided: the deciding rule's position in checking
    // order, and whether it was the first candidate (no rule before it in
    // checking order can match that text at all).
    int DecidedOrdinal() const { return m_decided; }
    CMatcher* Rule(int ordinal) const { return m_rules[static_cast<std::size_t>(ordinal)]; }
    bool DecidedFirst() const { return m_decidedFirst; }
    // After a Check: every rule it found possible in the text, in no
    // particular order, those above the ceiling included.
    const TArray<int>& Candidates() const { return m_candidates; }
    // Finds the candidates of `text` alone, in checking order, as Check
    // would, without trying them; false when memory ran out. With `cut`,
    // `text` may be the last text found with bytes cut out, as for CheckCut.
    bool FindAll(char* text, int cut = -1, int removed = 0);
    // After FindAll (or Check) of `text`: rule `ordinal`'s own Match of it,
    // with what the walk saw of the text to begin where it can.
    int TryCandidate(int ordinal, char* text, int* offset, int* length, int* level) const;
    // A rule's position in checking order, -1 for one not indexed; the level
    // it reports, INT_MIN for a kind the index does not know.
    int Ordinal(const CMatcher* rule) const;
    int RuleLevel(int ordinal) const { return m_ruleLevel[static_cast<std::size_t>(ordinal)]; }
    // Steps taken by every check so far (the index's walk: a node meeting
    // the syllables of a place; the automaton's: a byte passed or a
    // character read off the start's stream, and each position moved where
    // no kept step held): the walk's work, which tests bound by the line's
    // length.
    unsigned long long Steps() const { return m_steps + m_walker.Steps(); }
    // Off: every check walks the index's own way, as the automaton must
    // agree with. The automaton and its walker, for tests.
    void UseAutomaton(bool on) { m_useAutomaton = on; }
    const CCheckAutomaton& Automaton() const { return m_automaton; }
    CAutomatonWalk& Walker() { return m_walker; }
    // 1 when `text` (a piece of a line) could let a rule before `ordinal`
    // match: a phrase rule's syllables follow one another in it, or a part
    // of a combination rule occurs in it; 0 when not; -1 when memory ran out.
    // After AnyRuleBefore answered 0 for the line, a combination's part
    // counts only when with the parts the line holds it completes the
    // combination, and the parts found here are added to those the line
    // holds; before, 2 says that only combinations' parts were found.
    int TouchesRulesBefore(char* text, int ordinal, const unsigned char* roots = nullptr);
    // 1 when a rule before `ordinal` could match `text` if its searches
    // looked at every byte with every form: the syllables of a phrase rule
    // follow one another somewhere, or every part of a combination rule
    // occurs; 0 when not; -1 when memory ran out. A check looks only where
    // the searches look, and cutting bytes out of a text can move that.
    // Answering 0, it notes which parts of each combination `text` holds.
    // Both take every byte as a place a search may try, with every form;
    // or with `roots` (one entry per byte of `text`) only the places marked
    // non-zero, each syllable with the first of its forms that fits there,
    // as its match takes it.
    int AnyRuleBefore(char* text, int ordinal, const unsigned char* roots = nullptr);
    // The two with a root at every character's start of `text`: the
    // searches' own walks of it from its start, which try those places and
    // more, read by the automaton where it can.
    int AnyRuleBeforeInStep(char* text, int ordinal);
    int TouchesRulesBeforeInStep(char* text, int ordinal);
    // Forgets those parts: the next line is another text.
    void ForgetParts() { m_partsKnown = false; }
    // Whether some syllable's form may start at the one-byte character
    // `byte`, so that a search may try there.
    bool MayStartForm(unsigned char byte) const { return m_emptyForms || m_formStart[byte] != 0; }

    // A place where the syllables of checked phrases end, one after
    // another: `end` is the byte after the last, `node` the trie node they
    // lead to, which the phrase rules that read just them share.
    struct Ending {
        int end;
        int node;
    };
    // Every phrase a rule or a combination holds, each once, with the ids
    // of its syllables (positions in SyllableById).
    std::size_t PhraseCount() const { return m_phrases.Size(); }
    const CPhraseRule* Phrase(std::size_t p) const { return m_phrases[p]; }
    const int* PhraseSyllablesBegin(std::size_t p) const { return m_phraseSyllables.Begin(p); }
    const int* PhraseSyllablesEnd(std::size_t p) const { return m_phraseSyllables.End(p); }
    std::size_t SyllableCount() const { return m_syllableById.Size(); }
    const CSyllable* SyllableById(std::size_t s) const { return m_syllableById[s]; }
    // The trie's nodes; the node a phrase rule's syllables lead to (-1 for
    // other rules); the phrase rules, in checking order, that a node ends.
    std::size_t NodeCount() const { return m_phraseTrie.Size(); }
    int RuleNode(int ordinal) const { return m_ruleNode[static_cast<std::size_t>(ordinal)]; }
    const int* NodeRulesBegin(int node) const { return m_nodeRules.Begin(static_cast<std::size_t>(node)); }
    const int* NodeRulesEnd(int node) const { return m_nodeRules.End(static_cast<std::size_t>(node)); }
    // While set, AnyRuleBefore and TouchesRulesBefore append to `endings`
    // every such place their walk passes (every byte, every form), up to
    // `limit` entries; past that, or when memory runs out, EndingsLost()
    // says that some went unrecorded. Null stops the recording.
    void RecordEndings(TArray<Ending>* endings, std::size_t limit) {
        m_endings = endings;
        m_endingsLimit = limit;
        m_endingsLost = false;
    }
    bool EndingsLost() const { return m_endingsLost; }
    // After AnyRuleBefore answered 0 for a line (and TouchesRulesBefore for
    // the pieces of it seen since): whether every combination rule, and
    // every rule of a kind the index does not know, between `from` and `to`
    // in checking order (both excluded) lacks a part the line could hold.
    bool OthersClearBetween(int from, int to) const;

private:
    // Which forms can start at a byte, in m_formStart.
    static constexpr unsigned char kRomanisedStart = 1;
    static constexpr unsigned char kSplitStart = 2;
    static std::uint64_t AddressKey(const void* address) { return reinterpret_cast<std::uintptr_t>(address); }

    struct TrieEnd {
        int syllable;
        int length;  // the form's byte length
        int next;
    };
    // Forms by character value; the root finds one-byte values by byte.
    struct Trie {
        CTrie shape;
        TArray<int> firstEnd;  // by node, into ends: syllables whose form ends there; -1: none
        TArray<TrieEnd> ends;
        bool twoByteStart = false;  // some form starts with a two-byte character
        bool twoByte = false;       // some form holds a two-byte character
    };
    struct Occurrence {
        int syllable;
        int length;
    };
    // A list of ints per key, stored flat: key k owns [start[k], start[k + 1]).
    struct Postings {
        TArray<int> start;
        TArray<int> items;
        bool Build(std::size_t keys, const TArray<std::uint64_t>& pairs);  // (key << 32 | item)
        const int* Begin(std::size_t key) const { return items.Data() + start[key]; }
        const int* End(std::size_t key) const { return items.Data() + start[key + 1]; }
    };

    bool InsertForm(Trie& trie, const char* form, bool fold, int syllable);

    void Record(const unsigned char* text, std::size_t p, std::size_t n);
    void AddOccurrence(int syllable, int length);
    void AddEmptyForms(const TArray<int>& syllables);
    void RecordForms(const Trie& trie, const unsigned char* text, bool fold);
    bool FindPhrases(const unsigned char* text, std::size_t n);
    bool FirstSyllableAt() const;
    bool Wait(int node, std::size_t slot);
    int ReleasePending(int entry);
    template <bool kLazy>
    void NodeReached(int node);
    // Appends `node`, where phrases that rules check end, ending at `end`.
    void RecordEnding(int node, std::size_t end);
    template <bool kLazy>
    void PhraseFound(int phrase);
    // Counts the part `key` for the combinations in `postings` it is a part
    // of; most phrases and syllables are none's, and cost no call.
    void CountPart(const Postings& postings, int key) {
        const int* first = postings.Begin(static_cast<std::size_t>(key));
        const int* end = postings.End(static_cast<std::size_t>(key));
        if (first != end) CountCombos(first, end);
    }
    void CountCombos(const int* c, const int* end);
    // `exact`: the whole text of a check, walked as the rules' searches walk
    // it. Otherwise a piece of a line, whose places and form lengths are not
    // known: every byte and every form is taken.
    // `lazyCombos`: the masks of combinations' parts found are not needed.
    bool FindCandidates(char* text, bool exact, bool lazyCombos = false);
    void NextGeneration();
    void AddCandidate(int ordinal);
    // Build's part for the phrases, in order: their syllable ids (marked in
    // `used`), and their paths in the phrase trie, the end of each in `ends`
    // as (node, phrase), which has room for them. False when memory ran out
    // or a syllable is not in `syllableIds`.
    CHATSIEVE_NOINLINE bool AddPhrasePaths(const TArray<PairSlot>& syllableIds, unsigned char* used,
                                           TArray<std::uint64_t>& ends);
    // `used`, by syllable id: some phrase or combination holds it.
    bool BuildAutomaton(const unsigned char* used);
    // The automaton's walk of a whole text; false when it handed the text back.
    bool WalkAutomaton(const unsigned char* text, std::size_t n, bool lazyCombos);
    // Turns what the walker's `steps` reached into candidates; `kLazy`:
    // combinations wait for their triggers (see m_triggered).
    template <bool kLazy>
    void ReadReached(const TArray<CAutomatonWalk::ReachingStep>& steps);
    // Sets *level to the first candidate's (in checking order) that
    // decides `text` under `ceiling`, or to 0; notes the decider.
    void TryCandidates(char* text, int ceiling, int* offset, int* length, int* level);
    // The candidates of `text` by a walk of all of it, its trace and text
    // kept while KeepForCuts is on.
    bool WalkWhole(char* text);
    void KeepCutText(const char* text);
    // The candidates of `text`, the last text walked with bytes [cut, cut +
    // removed) taken out, from that walk's trace; false when only a whole
    // walk can tell.
    bool CandidatesAfterCut(char* text, int cut, int removed);
    // The phrases ending at `node`, which a walk reached with `refused` bits
    // (see CCheckAutomaton::kReachedNoStart): those whose edges refuse it
    // are not found.
    template <bool kLazy>
    void PhrasesEndingAt(int node, int refused);
    // The candidates' answers to AnyRuleBefore and TouchesRulesBefore once
    // a walk found them.
    int AnyBefore(int ordinal);
    int TouchedBefore(int ordinal);
    // The candidates of `text` as its searches' walks find them, with the
    // runs' ends recorded while RecordEndings is set.
    bool FindInStep(char* text);

    bool m_ready = false;
    TArray<CMatcher*> m_rules;  // checking order
    // By address: a rule's ordinal, or -2 - id for a phrase that is only a
    // part of combinations.
    TArray<PairSlot> m_ordinals;
    TArray<const CSyllable*> m_syllableById;  // by id: position in the syllable list
    TArray<int> m_emptyRomanised;             // syllables with an empty romanised form
    TArray<int> m_emptySplit;                 // the others with an empty split form
    TArray<int> m_alwaysCandidates;           // rules of a kind the index does not know
    Postings m_byCode;                        // (lead << 8 | trail) -> syllables
    Trie m_romanised;                         // case-folded values
    Trie m_split;                             // exact values
    // Per first byte: kRomanisedStart, kSplitStart when a form may start there.
    unsigned char m_formStart[256] = {};
    bool m_emptyForms = false;

    // Phrase rules: those checked and those only serving as parts.
    TArray<CPhraseRule*> m_phrases;
    TArray<int> m_phraseRule;  // rule ordinal, or -1
    Postings m_phraseSyllables;
    // The phrases' syllable sequences as a trie labelled by syllable id, its
    // root taking every id by label: a line is walked once, each (node,
    // place) taken once, however many phrases share a start.
    CTrie m_phraseTrie;
    TArray<unsigned char> m_hasChildren;  // per node
    Postings m_nodeEnds;                  // node -> phrases ending there
    Postings m_nodeRules;                 // node -> phrase rules ending there
    TArray<int> m_ruleNode;               // by rule ordinal: its node, -1

    // Combination rules: parts counted as syllables and phrases turn up.
    TArray<int> m_comboRule;  // combo -> rule ordinal
    TArray<int> m_need;       // distinct parts per combo
    // Per combo: the bits of all its parts (0: too many parts to tell); the
    // parts found by the current walk; those a line was found to hold.
    static constexpr std::size_t kMaskBits = 32;
    TArray<std::uint32_t> m_fullMask;
    TArray<std::uint32_t> m_comboMask;
    TArray<std::uint32_t> m_knownParts;
    bool m_partsKnown = false;
    Postings m_combosBySyllable;
    Postings m_combosByPhrase;
    // A check (ReadReached<true>) counts no parts: each combination waits
    // for one part (its trigger), and once the walk is read, a combination
    // whose trigger turned up is a candidate when its other parts did too.
    // The masks of parts found are then left as they were.
    Postings m_triggerBySyllable;
    Postings m_triggerByPhrase;
    Postings m_comboParts;  // combo -> part id * 2 + 1 for a phrase
    TArray<int> m_triggered;
    void Trigger(const Postings& postings, int key) {
        const int* first = postings.Begin(static_cast<std::size_t>(key));
        const int* end = postings.End(static_cast<std::size_t>(key));
        if (first != end) TriggerCombos(first, end);
    }
    // Out of line, as CountCombos is: inlined, it cost the walk's reading
    // loop a jump an entry on rule sets without combinations.
    CHATSIEVE_NOINLINE void TriggerCombos(const int* c, const int* end);
    // Adds the triggered combinations whose parts all turned up in the
    // walker's `steps`, every step of the text (ReadReached<true> read
    // their prompt findings).
    void CompleteTriggered(const TArray<CAutomatonWalk::ReachingStep>& steps);

    // Per-check scratch, stamped with m_generation instead of being cleared.
    unsigned m_generation = 0;
    TArray<Occurrence> m_occurrences;  // those starting at the current place
    bool m_outOfMemory = false;
    bool m_exact = false;
    // A walk may stop at the first candidate before this ordinal (INT_MIN:
    // never), which m_stop then notes.
    int m_stopBefore = INT_MIN;
    bool m_stop = false;
    TArray<unsigned> m_formStamp;  // per syllable: has its form at this place
    unsigned m_formGeneration = 0;
    TArray<unsigned> m_syllableStamp;
    TArray<unsigned> m_phraseStamp;
    TArray<unsigned> m_comboStamp;
    TArray<int> m_comboCount;
    unsigned long long m_steps = 0;
    TArray<int> m_candidates;
    TArray<int> m_ruleLevel;  // per rule ordinal; INT_MIN: unknown kind, always asked
    // The last check's decider (ordinal, -1: none) and whether it was the
    // first candidate: where masking resumes.
    int m_decided = -1;
    bool m_decidedFirst = false;
    // Walk: nodes waiting at each place, the nodes taken at the current place.
    struct Pending {
        int node;
        int next;
    };
    TArray<int> m_pendingHead;  // ring over places, into m_pending; -1: none
    // Ring over places: the searches that try a place (kFromStart: the walk
    // from the start of the text, which a syllable's own search takes too;
    // kResumed: a phrase search resumed inside a character).
    TArray<unsigned char> m_walk;
    TArray<Pending> m_pending;
    int m_freePending = -1;
    TArray<int> m_frontier;
    TArray<unsigned> m_nodeStamp;  // per place taken, by m_placeGeneration
    TArray<unsigned> m_nodeFound;  // by m_generation
    unsigned m_placeGeneration = 0;

    // The check's walk as an automaton over the phrase trie above, and what
    // it reads of the trie besides: per node whether phrases end there, per
    // syllable whether a combination takes it as a part.
    TArray<unsigned char> m_hasEnds;
    TArray<unsigned char> m_isPart;
    CCheckAutomaton m_automaton;
    CAutomatonWalk m_walker;
    TArray<CAutomatonWalk::ReachingStep> m_reached;
    bool m_useAutomaton = true;
    bool m_phraseEdges = false;              // some phrase has written-mode edges
    bool m_walked = false;                   // the last text was walked by the automaton to its end
    TArray<int> m_rulePhrase;                // by rule ordinal: its phrase, -1 for a combination
    TArray<Ending>* m_endings = nullptr;     // see RecordEndings
    TArray<int> m_walkEnds;                  // the automaton's (node, end) pairs
    const unsigned char* m_roots = nullptr;  // the places a loose walk takes; null: every byte
    std::size_t m_endingsLimit = 0;
    bool m_endingsLost = false;

    // CheckCut: the text the last check walked, when its walk was traced.
    bool m_keepForCuts = false;
    bool m_cutReady = false;
    TArray<char> m_cutText;
    unsigned long m_cutWalks = 0;
    // Texts since the last whole walk are the same as it before
    // m_sameUntil, a character's place; m_beforeSame is the place of the
    // character before (-1: none).
    int m_sameUntil = INT_MAX;
    int m_beforeSame = -1;
};

}  // namespace chatsieve

#endif
