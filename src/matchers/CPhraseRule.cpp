#include "matchers/CPhraseRule.h"

#include <cstring>

#include "matchers/CMatcherList.h"
#include "matchers/CSyllable.h"
#include "matchers/ProcessLists.h"
#include "platform/AsciiText.h"
#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

namespace {

// A block of `count` references followed by as many syllable pointers.
std::size_t BlockBytes(int count) { return static_cast<std::size_t>(count) * (sizeof(RefEntry) + sizeof(CMatcher*)); }

static_assert(sizeof(CPhraseRule) % alignof(CMatcher*) == 0 && sizeof(RefEntry) % alignof(CMatcher*) == 0,
              "the block behind a rule keeps its pointers aligned");

}  // namespace

CPhraseRule* CPhraseRule::NewWithRoom(int count) {
    if (count <= 0) return New<CPhraseRule>();
    void* p = AllocateSmall(sizeof(CPhraseRule) + BlockBytes(count));
    if (!p) return nullptr;
    CPhraseRule* rule = new (p) CPhraseRule();
    rule->m_room = count;
    return rule;
}

void CPhraseRule::FreeBlock() {
    // Only a block of its own; the room behind the rule goes with the rule.
    if (m_refs && !(m_room > 0 && m_refs == Room())) Free(m_refs);
    m_refs = nullptr;
}

inline bool CPhraseRule::Place(int count) {
    if (count <= m_room) {
        FreeBlock();
        m_refs = Room();
    } else {
        void* block = Allocate(BlockBytes(count));
        if (!block) return false;
        FreeBlock();
        m_refs = static_cast<RefEntry*>(block);
    }
    // The pointers follow the references of the block, however many it holds.
    m_syllables = reinterpret_cast<CMatcher**>(m_refs + (count <= m_room ? m_room : count));
    return true;
}

void CPhraseRule::Destroy() {
    FreeBlock();
    // Only NewWithRoom leaves room, and it makes its rules as small blocks.
    const bool small = m_room > 0;
    this->~CPhraseRule();
    if (small)
        FreeSmall(this);
    else
        Free(this);
}

int CPhraseRule::Init(const int* refs, int count, int level) {
    if (!refs || count <= 0 || level < 0) return 0;
    if (!Place(count)) return 0;
    // A syllable's reference is kSyllableKind * kRuleRefBase plus its 1-based
    // row: the range stands for DecodeRuleRef's kind test (and its index -1),
    // without a division a reference, and the rest is the index.
    constexpr int kFirst = kSyllableKind * kRuleRefBase + 1;
    // What ResolveRef answers for a syllable, without the call a reference,
    // and with the list's positions looked up once a rule.
    // The block's pointers are held in locals: stores through the members
    // would make the compiler read them again a reference.
    const std::size_t known = g_syllables.Count();
    CMatcherList::Node* const* positions = g_syllables.Positions();
    RefEntry* decoded = m_refs;
    CMatcher** resolved = m_syllables;
    if (positions) {
        // An index names a row only below both the rows a reference can
        // name and the syllables loaded: one unsigned compare a reference.
        const std::size_t rows =
            known < static_cast<std::size_t>(kMaxReferencedRows) ? known : static_cast<std::size_t>(kMaxReferencedRows);
        for (int i = 0; i < count; ++i) {
            const std::size_t at = static_cast<unsigned>(refs[i]) - static_cast<unsigned>(kFirst);
            if (at >= rows) return 0;
            CMatcher* syllable = positions[at]->matcher;
            if (!syllable) return 0;
            decoded[i] = RefEntry{static_cast<int>(at), kSyllableKind};
            resolved[i] = syllable;
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const int value = refs[i];
            if (value < kFirst || value >= kFirst + kMaxReferencedRows) return 0;
            const int index = value - kFirst;
            decoded[i] = RefEntry{index, kSyllableKind};
            CMatcher* syllable = g_syllables.At(static_cast<std::size_t>(index));
            if (!syllable) return 0;
            resolved[i] = syllable;
        }
    }
    m_count = count;
    m_level = level;
    return 1;
}

namespace {

// Fillers stood between this byte and the one before in the line: letters
// and digits separated so are separate runs, as the player wrote them.
bool AfterGap(int at) {
    return static_cast<std::size_t>(at) < g_foldMarks.Size() &&
           (g_foldMarks[static_cast<std::size_t>(at)] & kFoldAfterGap);
}

}  // namespace

bool CPhraseRule::EdgesClear(const char* text, int pos, int length, int* walked, int* previous) const {
    // Only a match that begins with a letter or digit (a Latin word, or
    // pinyin) can run on from a letter or digit before it.
    if ((m_edges & kEdgeStart) && IsAsciiAlnum(static_cast<unsigned char>(text[pos]))) {
        // The character before pos, found by stepping from the start, as
        // trail bytes of two-byte characters can look like letters. Tries
        // only move forward, so the walk is shared by all of them.
        while (*walked < pos && text[*walked]) {
            *previous = *walked;
            *walked += CharStep(text + *walked);
        }
        // A match that starts inside a character is inside a longer run.
        if (*walked != pos) return false;
        if (*previous >= 0 && pos - *previous == 1 && IsAsciiAlnum(static_cast<unsigned char>(text[*previous])) &&
            !AfterGap(pos))
            return false;
    }
    if (!(m_edges & kEdgeEnd)) return true;
    // The same at the end, when the match's last character is a letter or digit.
    int last = pos;
    for (int at = pos; at < pos + length && text[at]; at += CharStep(text + at)) last = at;
    const bool endsInAlnum = pos + length - last == 1 && IsAsciiAlnum(static_cast<unsigned char>(text[last]));
    return !endsInAlnum || !IsAsciiAlnum(static_cast<unsigned char>(text[pos + length])) || AfterGap(pos + length);
}

int CPhraseRule::Match(char* text, int /*reserved*/, int* offset, int* length, int* level) {
    int restart = 0;
    return MatchFrom(text, 0, offset, length, level, &restart);
}

int CPhraseRule::MatchFrom(char* text, int pos, int* offset, int* length, int* level, int* restart, int walked,
                           int previous) {
    if (!text) return 0;
    const int reserved = 0;
    const int n = static_cast<int>(std::strlen(text));
    // For the edges, `walked` and `previous` step on whole characters from
    // the start of the text.
    while (pos < n) {
        *restart = pos;
        // The first syllable's own scan jumps to its next occurrence.
        int firstLength = 0;
        if (!m_syllables[0]->Match(text + pos, reserved, offset, &firstLength, level)) return 0;
        pos += *offset;
        *length = firstLength;
        int i = 1;
        for (; i < m_count; ++i) {
            int next = 0;
            if (!static_cast<CSyllable*>(m_syllables[i])->MatchAt(text + pos + *length, &next)) break;
            *length += next;
        }
        if (i == m_count && (m_edges == 0 || EdgesClear(text, pos, *length, &walked, &previous))) {
            *offset = pos;
            *level = m_level;
            return 1;
        }
        // A fixed step of one two-byte character, whatever the first
        // syllable's width: stored rule sets are tuned to this.
        pos += 2;
    }
    return 0;
}

}  // namespace chatsieve
