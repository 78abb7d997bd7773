// CCheckAutomaton: the rule index's phrase trie read one character at a time.
//
// A check looks for every phrase rule whose syllables follow one another from
// a place its search tries. The automaton reads the stripped text character by
// character and keeps the set of partial matches alive there, as positions:
// a node of the phrase trie at a syllable boundary, or such a node together
// with a node of the form trie when a romanised or split form is half read.
// Syllables that share a form share its path in the form trie, so the 47 rows
// that read `shi` cost one position until the form ends. Characters fall into
// classes (one table load): two characters of a class move every position
// alike, and a character no used syllable can start or continue has class 0.
//
// The positions it keeps are a superset of those the rules' own searches
// reach: where a syllable could match in two ways (a romanised and a split
// form of different lengths), both are followed; the rules' own Match, run on
// the candidates in checking order, decides. What it cannot stand for is left
// to the index's own walk (Build answers false): code ranges whose first byte
// is no lead byte, empty forms, and forms that end inside a character.
//
// Build once from the index's phrase trie after the index is built; Step any
// number of times. Immutable after Build: one automaton may serve several
// walkers (CAutomatonWalk) at once. It reads the index's trie and arrays in
// place, so the index Resets it before freeing them. Memory comes from the
// allocation seam; failure is a false result.
#ifndef CHATSIEVE_BUILD_CCHECKAUTOMATON_H
#define CHATSIEVE_BUILD_CCHECKAUTOMATON_H

#include <cstddef>
#include <cstdint>

#include "build/CTrie.h"
#include "build/PairTable.h"
#include "matchers/TArray.h"

namespace chatsieve {

class CSyllable;

class CCheckAutomaton {
public:
    // The rule index's phrase trie, as the automaton reads it. Node 0 is the
    // root; every array stays where it is while the automaton lives.
    struct PhraseTrie {
        const CSyllable* const* syllables;  // by syllable id
        std::size_t syllableCount;
        const CTrie* shape;                // labelled by syllable id, all below its root width
        const unsigned char* hasChildren;  // by node
        const unsigned char* hasEnds;      // by node: phrases end there
        // By syllable id: kPart when a combination takes it as a part, with
        // kPartTrigger when a combination waits for it to turn up.
        const unsigned char* isPart;
    };
    static constexpr unsigned char kPart = 1, kPartTrigger = 2;

    // A character's class's flags.
    static constexpr unsigned char kStartsFirst = 1;  // may begin a phrase's first syllable

    CCheckAutomaton() = default;
    CCheckAutomaton(const CCheckAutomaton&) = delete;
    CCheckAutomaton& operator=(const CCheckAutomaton&) = delete;

    // False when the rules hold a shape the automaton leaves to the index's
    // walk, or memory ran out; it is then not Ready. `used`, by syllable id:
    // some phrase or combination holds the syllable (the others never start
    // anything, and are left out); read during Build only.
    bool Build(const PhraseTrie& trie, const unsigned char* used);
    void Reset();
    bool Ready() const { return m_ready; }

    // By the two bytes at a character's place (BytePairIndex): its class
    // << kReadClassShift | its width in bytes (kReadWidth), with
    // kReadSpawns for a one-byte character of a class that may begin a
    // phrase's first syllable and kReadAlnum for an ASCII letter or digit;
    // 0 for a lead byte before the terminator.
    const std::uint32_t* ReadTable() const { return m_read.Data(); }
    static constexpr std::uint32_t kReadWidth = 3, kReadSpawns = 4, kReadAlnum = 8;
    static constexpr unsigned kReadClassShift = 4;
    std::size_t ClassCount() const { return m_classes.Size(); }

    // The classes of the characters an occurrence of syllable `s` (a used
    // one) can begin with: through its code ranges, or its forms' first
    // characters.
    const std::uint32_t* BeginClasses(std::size_t s) const { return m_beginClasses.Data() + m_beginStart[s]; }
    const std::uint32_t* BeginClassesEnd(std::size_t s) const { return m_beginClasses.Data() + m_beginStart[s + 1]; }

    // A position: the phrase-trie node in bits 32 to 62; in the low half 0
    // at a syllable boundary, or 1 + the form-trie node of a form half read;
    // bit 63 set when the match began where a phrase with a start edge may
    // not begin.
    using Position = std::uint64_t;
    static constexpr Position kNoStartEdge = Position{1} << 63;

    // What the character's surroundings say of written-mode edges (see
    // CPhraseRule::SetEdges), for a one-byte letter or digit: a match may
    // not begin with it when it runs on from the one before
    // (kStartBlocked), nor end with it when the next byte runs on from it
    // (kEndBlocked).
    static constexpr unsigned kStartBlocked = 1;
    static constexpr unsigned kEndBlocked = 2;
    // The character is off the stream from the start of the text, where a
    // syllable's own scan never looks: no combination part begins there.
    static constexpr unsigned kOffStart = 4;
    // In `reached`, a node's entry is node << 2 with these bits: the phrases
    // with a start edge (kReachedNoStart) or with an end edge
    // (kReachedNoEnd) that end there are refused.
    static constexpr int kReachedNoStart = 1;
    static constexpr int kReachedNoEnd = 2;

    // Moves the positions `set` (sorted, without the root, which every tried
    // place holds) over one character of class `cls` and flags `edges`
    // (kStartBlocked, kEndBlocked, kOffStart):
    // appends the positions alive after it to `next`, sorted and each once,
    // and to `reached` the phrase-trie nodes it reaches where phrases end
    // (see kReachedNoStart), and -1 - id for each syllable a combination
    // takes as a part that begins at the place. The nodes and the syllables
    // a combination waits for (kPartTrigger) come first, *prompt of them: a
    // check needs the others only once some combination's trigger turned
    // up. False when memory ran out.
    bool Step(const Position* set, std::size_t count, unsigned cls, unsigned edges, TArray<Position>* next,
              TArray<int>* reached, std::size_t* prompt) const;

private:
    struct Class {
        std::uint32_t codeStart;  // into m_classSyllables: syllables whose ranges hold it
        std::uint32_t codeEnd;
        int romanisedChild;  // form-trie node its romanised value leads to from the root, -1
        int splitChild;      // the same for its split value
        unsigned romanised;  // its value as romanised forms compare it
        unsigned split;      // its value as split forms compare it
        unsigned char flags;
    };
    struct FormNode {
        std::uint32_t endStart;  // into m_formEnds: syllables whose form ends here
        std::uint32_t endEnd;
        bool hasChildren;
        bool split;  // a node of the split forms' trie
    };

    bool BuildForms(const PhraseTrie& trie, const unsigned char* used);
    bool InsertForm(const char* form, bool split, int syllable);
    bool BuildClasses(const PhraseTrie& trie, const unsigned char* used);
    bool BuildBeginClasses(const PhraseTrie& trie, const unsigned char* used);
    // One step of the position (node, form) with its start bit `noStart`;
    // `noEnd`: what ends here ends before a letter or digit it runs into;
    // `parts`: a combination's syllable part found from the root counts.
    bool Advance(int node, Position noStart, int noEnd, bool parts, int syllable, TArray<Position>* next,
                 TArray<int>* reached) const;
    bool FormStep(int node, Position noStart, int noEnd, bool parts, int form, TArray<Position>* next,
                  TArray<int>* reached) const;

    bool m_ready = false;
    PhraseTrie m_trie{};
    TArray<std::uint32_t> m_read;  // ReadTable
    TArray<Class> m_classes;       // class 0: no syllable
    TArray<int> m_classSyllables;
    // Both form tries in one: node 0 the romanised forms' root (values case
    // folded), node 1 the split forms' root (values as written), hung from
    // node 0 by a label no character has. m_formNodes is by node.
    CTrie m_forms;
    TArray<FormNode> m_formNodes;
    TArray<int> m_formEnds;
    TArray<std::uint32_t> m_beginStart;  // by syllable, into m_beginClasses
    TArray<std::uint32_t> m_beginClasses;
};

}  // namespace chatsieve

#endif
