// CChatsieve: the filter object behind IChatsieve. Made only by
// CreateChatsieve: construct, Init (LoadRules, then gather and order the
// rules); the host then calls FilterText any number of times and Uninit once
// at the end. The object owns its working buffer and its log lines; the
// matchers it lists are destroyed by Uninit. It is never freed through the
// interface. One thread at a time, one initialised filter per process (see
// matchers/ProcessLists.h).
//
// A check that cannot run for want of memory never reads as a clean line:
// FilterText then fails closed. It reports the highest level the loaded rules
// hold and, when given `out`, writes the copy with every byte '*' (the copy
// as it would have been masked, unmasked only when no rule reaches
// `minLevel`); the line is logged as usual. The work buffers of a check
// (working copy, position maps, fold marks) are taken at Init for lines of up
// to kReservedLineBytes, so checking such a line cannot fail; longer lines
// grow them, and a growth that fails keeps the old buffers. (The rule index
// and the allowed expressions keep scratch of their own that grows on first
// use; when it cannot, they fall back to what never misses a match.)
//
// The slot order of the virtual operations is fixed: Uninit, FilterText,
// destructor, CheckText, LoadRules.
#ifndef CHATSIEVE_HOST_CCHATSIEVE_H
#define CHATSIEVE_HOST_CCHATSIEVE_H

#include <climits>

#include "Chatsieve.h"
#include "build/CFoldTable.h"
#include "build/CStripFold.h"
#include "matchers/CMatcherList.h"
#include "matchers/ProcessLists.h"
#include "matchers/TArray.h"
#include "run/CAllowList.h"
#include "run/CMaskPasses.h"
#include "run/CRuleIndex.h"

namespace chatsieve {

constexpr unsigned kLogSlots = 1024;
// The stored log lines are written out early once their bytes reach this, so
// a few huge lines cannot hold more memory than that until the slots fill.
constexpr std::size_t kLogByteLimit = 4u * 1024u * 1024u;
constexpr int kMaxMaskPasses = 1000;
// Passes follow the decider along lines at least this many times longer than
// the bytes they search again around a cut.
constexpr std::size_t kFollowFactor = 8;
// ... and hand over to later rules when the first check found at least this
// many later rules possible in the line.
constexpr std::size_t kHandOverCandidates = 4;
constexpr const char* kLogFileName = "PlayerWords.txt";
// Lines up to this many bytes are checked in the buffers taken at Init.
constexpr std::size_t kReservedLineBytes = 4096;

class CChatsieve : public IChatsieve {
public:
    CChatsieve();

    void Uninit() override;
    int FilterText(const char* text, char* out, unsigned int outSize, int minLevel) override;
    // Releases list nodes only: reached only when Init failed.
    virtual ~CChatsieve();
    // The level of the first rule, in checking order, that matches the
    // stripped copy of `text` at a level not above `ceiling` (0: no ceiling);
    // 0 when none does. Leaves that match's offset and length behind. 0 with
    // CheckFailed() true when the check could not run for want of memory.
    virtual int CheckText(const char* text, int ceiling);
    // Reads the rule package into the lists; 1 on success, 0 on failure.
    virtual int LoadRules();

    // Takes the work buffers, loads the rules and puts them in checking
    // order; 1 on success. On failure every matcher this load made is
    // destroyed and the buffers are given back.
    int Init();
    // Orders `rules` from `highestLevel` down to level 1; level-0 rules leave
    // the list for m_dormantRules.
    void OrderByLevel(CMatcherList& rules, int highestLevel);

    // For tests and tools: what the last deciding check matched.
    int MatchOffset() const { return m_matchOffset; }
    int MatchLength() const { return m_matchLength; }
    int HighestLevel() const { return m_highestLevel; }
    int LogEnabled() const { return m_logEnabled; }
    // Whether the last check could not run for want of memory.
    bool CheckFailed() const { return m_checkFailed; }
    const CMatcherList& SkipSets() const { return m_skipSets; }
    const CMatcherList& Rules() const { return m_rules; }
    // Off: every check tries each rule in turn, as the index must agree with.
    void UseRuleIndex(bool on) { m_useIndex = on; }
    // The allowed expressions; off: checks see them as any other text.
    CAllowList& AllowList() { return m_allow; }
    void UseAllowList(bool on) { m_useAllow = on; }
    // Characters folded to one byte before the rules see a line; empty
    // unless the package carries the table.
    const CFoldTable& FoldTable() const { return m_fold; }
    // How many bytes of the checked text byte `at` of the last stripped
    // text stands for: 2 for a folded character, else 1.
    int HostWidth(int at) const {
        return !m_fold.Empty() && at >= 0 && static_cast<std::size_t>(at) < g_foldMarks.Size() &&
                       (g_foldMarks[static_cast<std::size_t>(at)] & kFoldWide)
                   ? 2
                   : 1;
    }
    // Off: every masking pass checks the whole line, as the passes must
    // agree with. Followed: passes answered without a whole check, so far.
    void UseMaskPasses(bool on) { m_useMaskPasses = on; }
    unsigned long FollowedPasses() const { return m_passes.Followed(); }
    // On: passes follow the decider on short lines too, where checking the
    // cut text would cost less. Cut: passes answered by checking the cut text.
    void FollowOnShortLines(bool on) { m_followFactor = on ? 0 : kFollowFactor; }
    unsigned long CutChecks() const { return m_cutChecks; }
    // For tests: `watch` is called after each masking pass with the copy as
    // masked so far; null stops it.
    using PassWatch = void (*)(void* context, const char* out);
    void WatchPasses(PassWatch watch, void* context) {
        m_passWatch = watch;
        m_passWatchContext = context;
    }

protected:
    char* m_workBuf;
    std::size_t m_workCapacity = 0;  // bytes m_workBuf holds
    int m_matchOffset;
    int m_matchLength;
    int m_logEnabled;
    char* m_logLines[kLogSlots];
    unsigned m_logCount;
    std::size_t m_logBytes;  // bytes held by the stored log lines
    int m_highestLevel;
    bool m_checkFailed = false;  // the last check ran out of memory
    CMatcherList m_skipSets;
    CMatcherList m_rules;
    // Rules of level 0: never checked on their own, but combination rules may
    // hold them as parts, so they live until Uninit.
    CMatcherList m_dormantRules;
    // With several ignore-sets: the composed map from the latest stripped text
    // back to the text the check received.
    TArray<int> m_composedMap;
    // Finds the rules a text can match; built at Init, dropped at Uninit.
    CRuleIndex m_index;
    bool m_useIndex = true;
    bool m_useMaskPasses = true;
    bool m_indexDecided = false;  // the last check was decided through the index
    // Masking passes that need not check the whole line again.
    CMaskPasses m_passes;
    // Allowed expressions, read with the rules; built at Init.
    CAllowList m_allow;
    bool m_useAllow = true;
    // Read with the rules; with it, every check leaves g_foldMarks.
    CFoldTable m_fold;
    // The ignore-sets and m_fold as one pass; built at Init.
    CStripFold m_stripFold;
    // While FilterText masks: the last check's stripped (and folded) text
    // before allowed expressions were hidden in it, so that a pass can cut
    // the masked match out of it instead of stripping the line again.
    TArray<char> m_plainText;
    bool m_keepPlain = false;     // checks keep m_plainText
    bool m_plainKept = false;     // m_plainText, g_positionMap and g_foldMarks are the last check's
    bool m_indexChecked = false;  // the index checked the last text itself, views aside
    std::size_t m_followFactor = kFollowFactor;
    unsigned long m_cutChecks = 0;
    PassWatch m_passWatch = nullptr;
    void* m_passWatchContext = nullptr;

public:
    // Every filter object ever created, linked through this field; see
    // CreateChatsieve.cpp.
    CChatsieve* m_nextCreated = nullptr;
    // Frees everything the object owns and the matchers it lists, writing no
    // log: for the library's unload, when no host can call it any more.
    void ReleaseForUnload();

private:
    void LogLine(const char* text);
    // Appends the lines of slots [0, count) to the log file and empties them;
    // false when the file cannot be opened.
    bool WriteLog(unsigned count);
    // The work buffers of a check, room for lines of `bytes` bytes; false
    // (keeping those already held) when memory runs out.
    bool ReserveWorkBuffers(std::size_t bytes);
    bool ReserveWorkBuffer(std::size_t size);
    void ReleaseWorkBuffers();
    // Ends a check that could not run: no match, CheckFailed() true.
    int CheckCouldNotRun();
    // CheckText; without `mapped` the stripped text's bytes are not led back
    // to the line (g_positionMap is left empty), which only masking and the
    // tools that explain a check read.
    int CheckLine(const char* text, int ceiling, bool mapped);
    // FilterText's answer when a check could not run; see the top.
    int FailClosed(const char* text, char* out, unsigned int outSize, int minLevel);
    // The rest of a check once m_workBuf holds the stripped, folded text:
    // allowed expressions, then the rules, at or below `ceiling`; the first
    // keeps that text for masking first.
    int KeepPlainAndCheck(int ceiling);
    // A ceiling no loaded rule is above.
    int AnyLevel() const { return m_highestLevel < INT_MAX ? m_highestLevel + 1 : INT_MAX; }
    // With `cut` and `removed`: m_workBuf is the last check's text with
    // those bytes cut out, which the index may check from that check.
    int CheckStripped(int ceiling, int cut = -1, int removed = 0);
    // The check of the masked line, from the last check's text with its
    // match cut out: what stripping the masked line would give, when masked
    // bytes are ignored and the match covers whole characters.
    bool CanCheckCut() const;
    int CheckCut();
    // Runs the ignore-sets over m_workBuf; false when nothing is left to test
    // or memory ran out (m_checkFailed).
    bool StripWorkBuffer();
    // Copies the line into `out` (room for outSize + 1 bytes) as far as it
    // fits; true when all of it did. `map`: the map of a check of this very
    // line, if one ran.
    static bool CopyOut(const char* text, char* out, unsigned int outSize, const PositionMap* map = nullptr);
    // The masking passes over `out`, a copy of the line (all of it when
    // `wholeLine`) whose first check gave `result`; returns the level to report.
    int MaskPasses(char* out, bool wholeLine, int result, int minLevel);
    // Overwrites the bytes of the last deciding match with '*'.
    void MaskMatch(char* out);
    // After a whole check of `out` that masking just used: lets m_passes
    // take over, unless checking the cut text (`cutReady`) is cheaper.
    void BeginPasses(const char* out, bool cutReady);
};

}  // namespace chatsieve

#endif
