// CMaskPasses: masking passes that follow one phrase rule along a line
// without checking the whole line again for every match.
//
// A pass checks the partly masked line and masks what decides. When a whole
// check was decided by a phrase rule or a combination rule that was the first
// rule able to match at all, and '*' is an ignored character, masking that
// match only cuts its bytes out of the stripped text. What the next check
// sees is then known:
//  - every piece of text that some rule needs (a run of a phrase's
//    syllables, a combination's part, an allowed expression) lies left of
//    the cut, right of it, or across it; those on either side were there
//    before, so only pieces across the cut are new;
//  - the rule's own search tries places from left to right and each try
//    reads fewer than Reach(rule) bytes from where it starts, so every try
//    that began at least that far before the cut reads the same bytes as
//    before and fails the same way; the search can resume at such a place.
// Packages that fold two-byte characters to one byte (and carry written-mode
// edges) are followed too: a folded byte stands for two bytes of the line,
// both masked, and the marks of the stripped text go with it. A cut leaves
// fillers ('*') where the match was, so the byte after it reads as after a
// gap; a try also reads the byte after its match and the character before
// its start, so the decider's resumed search sees the marks as a check would
// and its window starts a character early.
// So a pass looks at the bytes around the cut (no rule before the decider
// may gain a piece there, no allowed expression may appear) and resumes the
// decider's search; anything else is left to a whole check. "Was there
// before" counts every place a search may try, not only those a check's
// searches did try (a cut can move those), each syllable with the form its
// match takes there: every character's start, and the second bytes of a run
// of two-byte characters that follows a one-byte character where a form
// starts (a search failing there steps two bytes on, into the run). A cut
// can put such a character before a run; the run is then searched again.
// So the first pass that follows also asks the index whether a rule before
// the decider has its syllables in a row at any of those places. When the
// match does not cover whole characters the text after it would be read
// differently, so the next pass is a whole check too.
//
// When the decider's matches run out, on a line long enough whose first
// check found several later rules possible, the passes hand over to the
// next decider: the first later rule with its syllables still in a row
// somewhere (CLaterRules), searched for from where that run may begin.
//
// A combination reports the span of its last part, so that part (a phrase, or
// a syllable, whose search walks like a phrase of one syllable) is what is
// followed; its other parts were found by searches that read nothing at or
// after the cut, or the pass is a whole check. Allowed expressions already
// hidden stay hidden; around the cut the text as it was before hiding (read
// back from the line) is searched again, and must hide just what it hid. A
// part of an earlier combination around the cut counts only when, with the
// parts the line was found to hold, it completes that combination.
//
// Following the decider is CMaskPasses.cpp; what is searched again around
// each cut, and handing over to later rules, CMaskPassesAroundCut.cpp.
//
// Prepare once the rules are in checking order; Begin after a whole check,
// then Next (and Mask) per pass while Active. Reset before the rules are
// destroyed. Allocation failure ends the passes here (Active false), never
// the masking. One thread at a time, like the filter.
#ifndef CHATSIEVE_RUN_CMASKPASSES_H
#define CHATSIEVE_RUN_CMASKPASSES_H

#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"
#include "run/CLaterRules.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

class CAllowList;
class CFoldTable;
class CMatcher;
class CPhraseRule;

class CMaskPasses {
public:
    CMaskPasses() = default;
    CMaskPasses(const CMaskPasses&) = delete;
    CMaskPasses& operator=(const CMaskPasses&) = delete;

    // The figures of the rule set the passes rely on.
    void Prepare(const CMatcherList& rules, const CMatcherList& skipSets, const CAllowList& allow,
                 const CRuleIndex& index);
    void Reset();

    // Takes over after a whole check that `rule` (at `ordinal` in checking
    // order, the first rule able to match) decided with [offset, offset +
    // length) of `stripped`, whose bytes `map` leads back to `line`; the
    // caller has masked that match. `hidden`: the byte allowed expressions
    // were hidden under in `stripped`, -1 when none may be. `fold`, with
    // `marks` of the stripped text (ProcessLists.h), when the package folds.
    // False when the passes cannot go on here.
    bool Begin(const char* stripped, const TArray<int>& map, const char* line, int hidden, CMatcher* decider,
               int ordinal, int offset, int length, const CFoldTable* fold = nullptr,
               const TArray<unsigned char>* marks = nullptr);
    // Whether the passes of the next Begin may hand over to later rules
    // when the decider's matches run out; finding where those rules run
    // pays on long lines only.
    void AllowHandOver(bool on) { m_handOver = on; }
    bool Active() const { return m_active; }
    // Whether a masked byte drops out of the next check's stripped text.
    bool StarIgnored() const { return m_starIgnored; }
    // Bytes either side of a cut that a pass searches again for every rule
    // before the decider.
    int Margin() const { return m_margin; }
    void End() { m_active = false; }

    // The next pass: the decider's level, with its match at Offset() and
    // Length() of the stripped text; 0 when only a whole check can tell (the
    // passes then end here). `allow` is null when allowed expressions are off.
    int Next(CRuleIndex& index, CAllowList* allow);
    // After a Next that gave 0: whether it found that no rule matches the
    // text as it stands, so that masking ends without a whole check.
    bool Clean() const { return m_clean; }
    // Overwrites the bytes of the match Next found with '*'.
    void Mask(char* out);
    unsigned long Followed() const { return m_followed; }
    int Offset() const { return m_offset; }
    int Length() const { return m_length; }

    // Bytes a try of `rule`'s search may read, from where it starts.
    static int Reach(const CPhraseRule* rule);

private:
    struct Hole {
        int start;  // in the stripped text Begin was given
        int end;
    };
    int Logical() const { return m_size - m_removed; }
    // The stripped position of byte `at` of the text as it stands; *next
    // gets the first hole after it.
    int ToStripped(int at, std::size_t* next = nullptr) const;
    // The place in the text as it stands of stripped position `stripped`
    // (a cut one: where the cut is).
    int ToLogical(int stripped) const;
    // Recounts m_removedBefore after the holes changed.
    bool CountRemoved();
    bool StartsCharacter(int at) const;
    // Copies bytes [from, to) of the text as it stands into m_window; of
    // `source` (as m_text, cut as m_text is) into `into`.
    bool CopyOut(int from, int to);
    bool CopyOut(int from, int to, const TArray<char>& source, TArray<char>& into);
    // The marks a check of the text as it stands would give bytes [from, to)
    // into m_windowMarks: a byte right after a cut follows a gap.
    bool CopyMarks(int from, int to);
    // Cuts the current match out; false when it splits a character.
    bool Remove();
    // The bytes around the last cut, searched again: false when something
    // there may change what decides (only a whole check can tell).
    bool CheckAroundCut(CRuleIndex& index, CAllowList* allow, int cut, int n);
    // Whether a rule before the decider has its syllables in a row anywhere
    // in m_text; asks the index once per Begin, recording what follows it.
    int EarlierRules(CRuleIndex& index);
    // The decider's search from m_resume in growing windows of the text as
    // it stands: 1 with its match (offset from m_resume), 0 when it finds
    // none to the end, -1 when memory ran out. `lead`: bytes the window
    // starts before m_resume.
    int SearchDecider(int n, int* offset, int* length, int* restart, int* lead);
    // The later rules' runs, once the decider's matches have run out.
    bool NoteLaterRules();
    bool NoteWindowEndings(int from, int length);
    // Where a search may try in m_text: every character's start (m_starts)
    // and m_shifted's second bytes. *shifted is set when a second byte is.
    bool MarkShifted(const CRuleIndex& index, bool* shifted);
    // The roots of bytes [from, to) of the text as it stands (to = the
    // stripped size: of m_text), into m_windowRoots with a root after them.
    // *shifted is set when one of them is a second byte.
    bool CopyRoots(int from, int to, bool* shifted);
    // Calls take(done, at, count, afterCut) for each piece of bytes [from,
    // to) of the text as it stands that lies between two holes: `count`
    // bytes, from byte `done` of the span, at `at` in the stripped text,
    // right after a hole or not.
    template <class Take>
    void Pieces(int from, int to, Take take) const {
        std::size_t h = 0;
        int at = ToStripped(from, &h);
        for (int done = 0; done < to - from;) {
            const int pieceEnd = h < m_holes.Size() ? m_holes[h].start : m_size;
            const int count = pieceEnd - at < to - from - done ? pieceEnd - at : to - from - done;
            take(static_cast<std::size_t>(done), static_cast<std::size_t>(at), static_cast<std::size_t>(count),
                 h > 0 && m_holes[h - 1].end == at);
            done += count;
            at += count;
            if (at == pieceEnd && h < m_holes.Size()) at = m_holes[h++].end;
        }
    }
    // After a cut at `cut`: the run of two-byte characters after it, when
    // a search may now step onto their second bytes; the runs found from
    // there are noted. False when only a whole check can tell.
    bool ReachAfterCut(CRuleIndex& index, int cut, int n);
    // Asks the index whether `piece` of the text as it stands, from `from`,
    // at the roots in m_windowRoots, holds what may change the decider, and
    // notes the later rules' runs it holds; false when it may.
    // `inStep`: the roots are the piece's character starts, which the
    // automaton can read.
    bool Search(CRuleIndex& index, TArray<char>& piece, int from, bool inStep);
    bool InsertLater(int ordinal);
    // Hands the passes to the first later rule the text may still hold;
    // m_clean when none may. False when only a whole check can tell.
    bool NextDecider(const CRuleIndex& index);
    // A place of the text as it stands where a search from the start would
    // stand in step, at least `reach` bytes before stripped position `end`;
    // 0 when none is known.
    int SafeStart(int end, int reach) const;
    // Moves the decider's search on to where its first whole run may begin.
    void SkipToRuns();

    // Of the rule set.
    bool m_prepared = false;
    bool m_starIgnored = false;
    int m_margin = 0;

    bool m_active = false;
    TArray<char> m_text;  // the stripped text Begin was given
    TArray<int> m_map;
    TArray<char> m_starts;        // per byte of m_text: starts a character
    TArray<Hole> m_holes;         // masked bytes cut out, in order, never touching
    TArray<int> m_removedBefore;  // per hole: the bytes the holes before it took
    TArray<Hole> m_merged;
    TArray<char> m_window;
    TArray<char> m_plain;  // m_text before allowed expressions were hidden
    TArray<char> m_plainWindow;
    TArray<unsigned char> m_marks;  // per byte of m_text, when the package folds
    TArray<unsigned char> m_windowMarks;
    bool m_folds = false;
    int m_hidden = -1;
    int m_size = 0;
    int m_removed = 0;
    // What is followed: the deciding phrase, or the deciding combination's
    // last part, a phrase or a syllable.
    CPhraseRule* m_rule = nullptr;
    CMatcher* m_syllable = nullptr;
    bool m_phraseDecides = false;  // m_rule is the decider itself, not a combination's part
    // A deciding combination's other parts, and how far their searches read.
    struct Fixed {
        CMatcher* part;
        int reads;
    };
    TArray<Fixed> m_fixed;
    int m_ordinal = 0;
    int m_level = 0;
    int m_reach = 0;
    int m_offset = 0;  // the current match, in the text as it stands
    int m_length = 0;
    // A place the decider's search can resume from, and the furthest byte
    // the tries before it read.
    int m_resume = 0;
    int m_resumeReads = 0;
    // Whether a rule before the decider has its syllables in a row anywhere
    // in m_text: -1 not asked yet.
    int m_earlierRules = -1;
    unsigned long m_followed = 0;

    // When the decider's matches run out, the next decider is the first
    // later rule that matches: the runs that tell where one may.
    CLaterRules m_laterRules;
    bool m_handOver = true;
    TArray<CRuleIndex::Ending> m_endings;  // the line's, as the index records them
    TArray<CRuleIndex::Ending> m_found;    // a window's, in its own positions
    TArray<CLaterRules::Span> m_spans;
    TArray<int> m_windowMap;  // a window's bytes' stripped positions
    bool m_clean = false;
    // A search steps onto the second byte of a two-byte character only
    // after a failed try at a one-byte character right before its run of
    // two-byte characters, and may stay off step to the run's end: per byte
    // of m_text, 1 where that may happen. A line of two-byte characters
    // alone is read in step throughout.
    TArray<unsigned char> m_shifted;
    TArray<unsigned char> m_windowRoots;
    TArray<char> m_stretch;
};

}  // namespace chatsieve

#endif
