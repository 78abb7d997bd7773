#include "host/CChatsieve.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "load/CRuleLoader.h"
#include "load/LevelOrder.h"
#include "matchers/CMatcher.h"
#include "matchers/CPhraseRule.h"
#include "matchers/ProcessLists.h"
#include "platform/Compiler.h"
#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

namespace {

// Destroys the matchers appended to `list` after its first `keep` entries.
void DestroyAfter(CMatcherList& list, std::size_t keep) {
    while (list.Count() > keep) {
        if (CMatcher* matcher = list.Last()->matcher) matcher->Destroy();
        list.PopBack();
    }
}

}  // namespace

CChatsieve::CChatsieve()
    : m_workBuf(nullptr),
      m_matchOffset(0),
      m_matchLength(0),
      m_logEnabled(0),
      m_logLines(),
      m_logCount(0),
      m_logBytes(0),
      m_highestLevel(0) {}

CChatsieve::~CChatsieve() = default;

int CChatsieve::LoadRules() {
    CRuleLoader loader(m_skipSets, m_logEnabled, m_highestLevel);
    loader.ReadAllowListInto(&m_allow);
    loader.ReadFoldTableInto(&m_fold);
    return loader.Run();
}

int CChatsieve::Init() {
    // A failed load must not leave its matchers behind in the process-wide
    // lists, where the next filter would resolve its references against them.
    const std::size_t syllablesBefore = g_syllables.Count();
    const std::size_t phrasesBefore = g_phrases.Count();
    const std::size_t combosBefore = g_combos.Count();
    // Taken first, so that a filter that exists can check ordinary lines
    // without asking for memory.
    if (!ReserveWorkBuffers(kReservedLineBytes)) {
        ReleaseWorkBuffers();
        return 0;
    }
    int loaded = 0;
    try {
        loaded = LoadRules();
    } catch (...) {
        // The package library is a separate module; nothing it throws may
        // reach the host.
        loaded = 0;
    }
    // Allowed expressions change results, so a filter that cannot build them fails.
    if (loaded && !m_allow.Build(m_skipSets, g_syllables)) loaded = 0;
    if (!loaded) {
        m_allow.Reset();
        m_fold.Reset();
        m_stripFold.Reset();
        DestroyMatchers(m_skipSets);
        DestroyAfter(g_combos, combosBefore);
        DestroyAfter(g_phrases, phrasesBefore);
        DestroyAfter(g_syllables, syllablesBefore);
        ReleaseWorkBuffers();
        return 0;
    }
    m_rules.SpliceBack(g_phrases);
    m_rules.SpliceBack(g_combos);
    OrderByLevel(m_rules, m_highestLevel);
    // Without the index (out of memory) checks are slower, never different.
    if (!m_index.Build(m_rules, g_syllables)) m_index.Reset();
    m_passes.Prepare(m_rules, m_skipSets, m_allow, m_index);
    // Without it (out of memory) checks strip set by set, never differently.
    m_stripFold.Build(m_skipSets, m_fold);
    return 1;
}

void CChatsieve::OrderByLevel(CMatcherList& rules, int highestLevel) {
    OrderRulesByLevel(rules, highestLevel, m_dormantRules);
}

bool CChatsieve::ReserveWorkBuffer(std::size_t size) {
    if (m_workBuf && m_workCapacity >= size) return true;
    // The new buffer first: when it cannot be had, the old one still serves
    // the lines that fit it.
    char* grown = static_cast<char*>(Allocate(size));
    if (!grown) return false;
    Free(m_workBuf);
    m_workBuf = grown;
    m_workCapacity = size;
    return true;
}

bool CChatsieve::ReserveWorkBuffers(std::size_t bytes) {
    // Each ignore-set rebuilds the position map; with several, the composed
    // map and the position map trade buffers, so both need the room.
    return ReserveWorkBuffer(bytes + 1) && g_positionMap.Reserve(bytes) && m_composedMap.Reserve(bytes) &&
           g_foldMarks.Reserve(bytes);
}

void CChatsieve::ReleaseWorkBuffers() {
    Free(m_workBuf);
    m_workBuf = nullptr;
    m_workCapacity = 0;
    m_composedMap.Reset();
    m_plainText.Reset();
    g_foldMarks.Reset();
    // The process-wide map outlives a failed creation only while another
    // filter's syllables are still there.
    if (g_syllables.Empty()) g_positionMap.Reset();
}

void CChatsieve::Uninit() {
    Free(m_workBuf);
    m_workBuf = nullptr;
    m_workCapacity = 0;
    // No rule is left, so a check that cannot run has no level to fear.
    m_highestLevel = 0;
    if (m_logEnabled) WriteLog(m_logCount);
    m_passes.Reset();
    m_index.Reset();
    m_allow.Reset();
    m_fold.Reset();
    m_stripFold.Reset();
    g_foldMarks.Reset();
    DestroyMatchers(m_skipSets);
    DestroyMatchers(g_syllables);
    DestroyMatchers(m_rules);
    // After every combination rule that may hold them as parts.
    DestroyMatchers(m_dormantRules);
    g_positionMap.Reset();
    m_composedMap.Reset();
    m_plainText.Reset();
}

void CChatsieve::ReleaseForUnload() {
    Free(m_workBuf);
    m_workBuf = nullptr;
    m_workCapacity = 0;
    for (char*& line : m_logLines) {
        Free(line);
        line = nullptr;
    }
    m_passes.Reset();
    m_index.Reset();
    m_allow.Reset();
    m_fold.Reset();
    m_stripFold.Reset();
    m_plainText.Reset();
    g_foldMarks.Reset();
    DestroyMatchers(m_skipSets);
    DestroyMatchers(m_rules);
    DestroyMatchers(m_dormantRules);
}

bool CChatsieve::WriteLog(unsigned count) {
    std::FILE* file = std::fopen(kLogFileName, "a+");
    if (!file) return false;
    for (unsigned i = 0; i < count; ++i) {
        if (!m_logLines[i]) continue;
        std::fprintf(file, "%s\n", m_logLines[i]);
        Free(m_logLines[i]);
        m_logLines[i] = nullptr;
    }
    std::fclose(file);
    m_logBytes = 0;
    return true;
}

void CChatsieve::LogLine(const char* text) {
    std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(Allocate(size));
    if (copy) std::memcpy(copy, text, size);
    m_logLines[m_logCount++] = copy;
    if (copy) m_logBytes += size;
    // Flushing early keeps the file's lines and their order; only the moment
    // of writing moves.
    if (m_logCount < kLogSlots && m_logBytes < kLogByteLimit) return;
    if (!WriteLog(m_logCount)) {
        // The file cannot be opened: the full log is dropped.
        for (char*& line : m_logLines) {
            Free(line);
            line = nullptr;
        }
        m_logBytes = 0;
    }
    m_logCount = 0;
}

bool CChatsieve::StripWorkBuffer() {
    if (m_skipSets.Empty()) {
        // Nothing is stripped, so every byte maps to itself; a map left over
        // from another text would send masking to the wrong bytes.
        const std::size_t n = std::strlen(m_workBuf);
        g_positionMap.Clear();
        if (!g_positionMap.Reserve(n)) return CheckCouldNotRun(), false;
        for (std::size_t i = 0; i < n; ++i) g_positionMap.PushBack(static_cast<int>(i));
        return true;
    }
    int level = 0;
    bool first = true;
    for (CMatcherList::Node* node = m_skipSets.First(); node; node = node->next) {
        // An ignore-set fails only when its position map cannot grow.
        if (node->matcher->Match(m_workBuf, 0, &m_matchOffset, &m_matchLength, &level) != 1)
            return CheckCouldNotRun(), false;
        if (m_matchOffset == 1) return false;
        // Each ignore-set maps its output back to its own input. With several,
        // compose the maps so the result leads back to the text of the check:
        // entry i of a map is never below i, so composing in place is safe.
        if (first) {
            if (node->next) m_composedMap.Swap(g_positionMap);
            first = false;
            continue;
        }
        for (std::size_t i = 0; i < g_positionMap.Size(); ++i) m_composedMap[i] = m_composedMap[g_positionMap[i]];
        m_composedMap.Truncate(g_positionMap.Size());
        if (!node->next) m_composedMap.Swap(g_positionMap);
    }
    return true;
}

int CChatsieve::CheckCouldNotRun() {
    m_checkFailed = true;
    m_matchLength = 0;
    return 0;
}

int CChatsieve::CheckText(const char* text, int ceiling) { return CheckLine(text, ceiling, true); }

int CChatsieve::CheckLine(const char* text, int ceiling, bool mapped) {
    m_matchLength = 0;
    m_indexDecided = false;
    m_checkFailed = false;
    m_plainKept = false;
    m_indexChecked = false;
    if (!text) return 0;
    if (ceiling == 0) ceiling = AnyLevel();
    const std::size_t len = std::strlen(text);
    if (!ReserveWorkBuffer(len + 1)) return CheckCouldNotRun();
    if (m_stripFold.Ready()) {
        g_positionMap.Clear();
        const long kept = m_stripFold.Run(text, len, m_workBuf, mapped ? &g_positionMap : nullptr, g_foldMarks);
        if (kept < 0) return CheckCouldNotRun();
        if (kept == 0) return 0;
        return KeepPlainAndCheck(ceiling);
    }
    // A lead byte cut off by the terminator is dropped, as a copy of whole
    // characters drops it; an ignore-set drops it on its own, so a plain
    // copy does there.
    if (m_skipSets.Empty()) {
        BoundedCopy(m_workBuf, text, len + 1);
        m_workBuf[len] = 0;
    } else {
        std::memcpy(m_workBuf, text, len + 1);
    }

    if (!StripWorkBuffer()) return 0;
    if (!m_fold.Empty() && !m_fold.Fold(m_workBuf, g_positionMap, g_foldMarks)) return CheckCouldNotRun();
    return KeepPlainAndCheck(ceiling);
}

CHATSIEVE_ALWAYS_INLINE inline int CChatsieve::KeepPlainAndCheck(int ceiling) {
    if (m_keepPlain) {
        // Only a shortcut for masking: without the room, passes check the
        // whole line.
        const std::size_t n = std::strlen(m_workBuf) + 1;
        m_plainText.Clear();
        m_plainKept = m_plainText.Reserve(n);
        if (m_plainKept) {
            std::memcpy(m_plainText.Data(), m_workBuf, n);
            m_plainText.SetFilled(n);
        }
    }
    return CheckStripped(ceiling);
}

bool CChatsieve::CanCheckCut() const {
    if (!m_plainKept || m_matchLength <= 0 || !m_passes.StarIgnored()) return false;
    // Cutting half a character would read what follows differently.
    const char* text = m_plainText.Data();
    const std::size_t n = m_plainText.Size() - 1;
    const std::size_t from = static_cast<std::size_t>(m_matchOffset),
                      to = from + static_cast<std::size_t>(m_matchLength);
    if (to > n) return false;
    // The fold marks say where second bytes stand: reading back through a
    // run of Chinese characters would go to its start each pass.
    if (g_foldMarks.Size() == n) {
        const unsigned char* marks = g_foldMarks.Data();
        // Past the last byte: inside only after a lone lead byte, one that
        // is neither a second byte nor a folded character's.
        const auto inside = [&](std::size_t at) {
            if (at < n) return (marks[at] & kFoldSecond) != 0;
            return at > 0 && !(marks[at - 1] & (kFoldSecond | kFoldWide)) &&
                   IsLeadByte(static_cast<unsigned char>(text[at - 1]));
        };
        return !inside(from) && !inside(to);
    }
    return !EndsInsideCharacter(text, from) && !EndsInsideCharacter(text, to);
}

int CChatsieve::CheckCut() {
    // The masked line strips to the last text less the match: its bytes are
    // '*' now, ignored like the fillers around them, and each folded
    // character's two. The byte after the cut follows a gap (the '*'), unless
    // nothing is left before it.
    const std::size_t n = m_plainText.Size() - 1;
    const std::size_t from = static_cast<std::size_t>(m_matchOffset), cut = static_cast<std::size_t>(m_matchLength);
    const std::size_t rest = n - from - cut;
    char* text = m_plainText.Data();
    std::memmove(text + from, text + from + cut, rest + 1);
    m_plainText.Truncate(n - cut + 1);
    std::memmove(g_positionMap.Data() + from, g_positionMap.Data() + from + cut, rest * sizeof(int));
    g_positionMap.Truncate(n - cut);
    if (!m_fold.Empty()) {
        unsigned char* marks = g_foldMarks.Data();
        std::memmove(marks + from, marks + from + cut, rest);
        g_foldMarks.Truncate(n - cut);
        if (rest > 0) marks[from] = from > 0 ? marks[from] | kFoldAfterGap : marks[from] & ~kFoldAfterGap;
    }
    std::memcpy(m_workBuf, text, n - cut + 1);
    ++m_cutChecks;
    m_matchLength = 0;
    m_indexDecided = false;
    m_checkFailed = false;
    if (n == cut) return 0;
    return CheckStripped(AnyLevel(), static_cast<int>(from), static_cast<int>(cut));
}

int CChatsieve::CheckStripped(int ceiling, int cut, int removed) {
    const bool cutFromIndex = cut >= 0 && m_indexChecked;
    m_indexChecked = false;
    // Allowed expressions become breaks in the stripped text; entries limited
    // to some rules need a view per rule, on the rare lines they occur in.
    // When they cannot be found (out of memory), the rules see the line as
    // if nothing were allowed: a line is never let through for want of memory.
    if (m_useAllow && !m_allow.Empty()) {
        const int views = m_allow.Hide(m_workBuf);
        if (views > 0) {
            CRuleIndex* index = m_useIndex && m_index.Ready() ? &m_index : nullptr;
            const int decided = m_allow.CheckViews(m_rules, index, m_workBuf, ceiling, &m_matchOffset, &m_matchLength,
                                                   cutFromIndex ? cut : -1, removed);
            m_indexChecked = index != nullptr;
            if (decided == 0) m_matchLength = 0;
            return decided;
        }
    }

    int level = 0;
    if (m_useIndex && m_index.Ready() &&
        (cutFromIndex ? m_index.CheckCut(m_workBuf, cut, removed, ceiling, &m_matchOffset, &m_matchLength, &level)
                      : m_index.Check(m_workBuf, ceiling, &m_matchOffset, &m_matchLength, &level))) {
        m_indexChecked = true;
        if (level == 0) m_matchLength = 0;
        m_indexDecided = level != 0;
        return level;
    }
    for (CMatcherList::Node* node = m_rules.First(); node; node = node->next) {
        if (node->matcher->Match(m_workBuf, 0, &m_matchOffset, &m_matchLength, &level) == 1 && level <= ceiling)
            return level;
    }
    m_matchLength = 0;
    return 0;
}

bool CChatsieve::CopyOut(const char* text, char* out, unsigned int outSize, const PositionMap* map) {
    const std::size_t length = std::strlen(text);
    if (length < outSize) {
        // The whole line, less a lead byte cut off by its terminator. A
        // check that kept the last byte knows it ends a character: reading
        // back through a run of Chinese characters would go to its start.
        std::memcpy(out, text, length + 1);
        const bool lastKept = map && !map->Empty() && (*map)[map->Size() - 1] == static_cast<int>(length) - 1;
        if (!lastKept && EndsInsideCharacter(text, length)) out[length - 1] = 0;
        out[length + 1] = 0;
        return true;
    }
    BoundedCopy(out, text, outSize);
    out[outSize] = 0;
    return false;
}

int CChatsieve::FilterText(const char* text, char* out, unsigned int outSize, int minLevel) {
    if (!text) return 0;
    if (minLevel < 0) {
        // Refused, but a host that shows `out` must not show stale bytes:
        // it gets the line unmasked, as for a level nothing reaches.
        if (out) CopyOut(text, out, outSize);
        return 0;
    }
    if (m_logEnabled) LogLine(text);
    m_keepPlain = out && m_useMaskPasses;
    m_index.KeepForCuts(m_keepPlain);
    const int result = CheckLine(text, 0, out != nullptr);
    if (m_checkFailed || !out) {
        m_keepPlain = false;
        m_index.KeepForCuts(false);
        return m_checkFailed ? FailClosed(text, out, outSize, minLevel) : result;
    }
    const bool wholeLine = CopyOut(text, out, outSize, &g_positionMap);
    const int reported = MaskPasses(out, wholeLine, result, minLevel);
    m_keepPlain = false;
    m_index.KeepForCuts(false);
    // A masking pass whose check could not run ends the passes there.
    return m_checkFailed ? FailClosed(text, out, outSize, minLevel) : reported;
}

int CChatsieve::FailClosed(const char* text, char* out, unsigned int outSize, int minLevel) {
    // "Could not look" must never read as "nothing there": the line may hold
    // anything the rules know, so it gets the worst of it, and the host is
    // shown none of its bytes, unless no rule could have masked any.
    if (out) {
        CopyOut(text, out, outSize);
        if (m_highestLevel > 0 && m_highestLevel >= minLevel) std::memset(out, '*', std::strlen(out));
    }
    return m_highestLevel;
}

int CChatsieve::MaskPasses(char* out, bool wholeLine, int result, int minLevel) {
    // A line the first check found clean, or found nothing in worth masking,
    // stays as copied: the copy is that very line, so checking it again would
    // find the same. Partial copies are checked: a cut can make the copy
    // differ from the line (an allowed expression cut short, say).
    if (!m_useMaskPasses) wholeLine = false;
    if (wholeLine && (result == 0 || result < minLevel)) return result;
    int reported = result;
    int ceiling = minLevel > result ? minLevel : result;
    m_passes.End();
    // Whether the last pass's text stands ready to have its match cut out.
    bool cutReady = false;
    for (int pass = 0; pass < kMaxMaskPasses; ++pass) {
        // The first pass on a whole copy is the first check itself: its
        // match, offset, length and map still stand.
        bool whole = true;
        int level = 0;
        if (pass == 0 && wholeLine) {
            level = result;
        } else if (m_passes.Active() &&
                   ((level = m_passes.Next(m_index, m_useAllow ? &m_allow : nullptr)) != 0 || m_passes.Clean())) {
            // No rule left that matches: the loop ends below.
            whole = false;
            m_matchOffset = m_passes.Offset();
            m_matchLength = m_passes.Length();
        } else if (cutReady) {
            level = CheckCut();
        } else {
            level = CheckText(out, 0);
        }
        if (level > ceiling) {
            // Masking (or cutting) brought this expression about: the line as
            // shown holds it, so it is masked (and reported, below) in its turn.
            ceiling = level;
        } else if (level == 0 || level < minLevel) {
            break;
        } else {
            ceiling = level;
        }
        // Whatever is masked is reported: a copy cut short can show an
        // expression the whole line hid (an allowed expression cut in half),
        // at a level the first check never saw.
        if (level > reported) reported = level;
        if (!whole) {
            m_passes.Mask(out);
            cutReady = false;
            if (m_passWatch) m_passWatch(m_passWatchContext, out);
            continue;
        }
        MaskMatch(out);
        if (m_passWatch) m_passWatch(m_passWatchContext, out);
        cutReady = wholeLine && CanCheckCut();
        BeginPasses(out, cutReady);
    }
    return reported;
}

void CChatsieve::BeginPasses(const char* out, bool cutReady) {
    if (!m_useMaskPasses || !m_indexDecided || !m_index.DecidedFirst()) return;
    // A pass that follows searches the bytes around each cut for every rule
    // before the decider: on a line not many times longer than that window,
    // checking the cut text costs less.
    const bool longLine = std::strlen(m_workBuf) >= m_followFactor * static_cast<std::size_t>(m_passes.Margin());
    if (cutReady && !longLine) return;
    // Handing the passes over to later rules needs a walk of the line that
    // finds where they run; it pays where the line may hold several.
    std::size_t later = 0;
    const TArray<int>& candidates = m_index.Candidates();
    for (std::size_t i = 0; i < candidates.Size(); ++i) later += candidates[i] > m_index.DecidedOrdinal();
    m_passes.AllowHandOver(longLine && later >= (m_followFactor ? kHandOverCandidates : 1));
    const int ordinal = m_index.DecidedOrdinal();
    CMatcher* rule = m_index.Rule(ordinal);
    const int hidden = m_useAllow && !m_allow.Empty() ? m_allow.BreakByte() : -1;
    m_index.ForgetParts();
    const bool folds = !m_fold.Empty();
    m_passes.Begin(m_workBuf, g_positionMap, out, hidden, rule, ordinal, m_matchOffset, m_matchLength,
                   folds ? &m_fold : nullptr, folds ? &g_foldMarks : nullptr);
}

void CChatsieve::MaskMatch(char* out) {
    for (int j = 0; j < m_matchLength; ++j) {
        const std::size_t at = static_cast<std::size_t>(m_matchOffset) + static_cast<std::size_t>(j);
        if (at >= g_positionMap.Size()) continue;
        out[g_positionMap[at]] = '*';
        // A folded character: both of its bytes in the line.
        if (HostWidth(static_cast<int>(at)) == 2) out[g_positionMap[at] + 1] = '*';
    }
}

}  // namespace chatsieve
