#include "build/CStripFold.h"

#include <cstring>

#include "build/CFoldTable.h"
#include "matchers/CSkipSet.h"
#include "matchers/ProcessLists.h"
#include "platform/BytePair.h"
#include "platform/Compiler.h"
#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

void CStripFold::Reset() {
    Free(m_pairs);
    m_pairs = nullptr;
    m_folds = false;
}

bool CStripFold::Build(const CMatcherList& skipSets, const CFoldTable& fold) {
    Reset();
    if (skipSets.Empty()) return false;
    for (const CMatcherList::Node* node = skipSets.First(); node; node = node->next)
        if (!As<CSkipSet>(node->matcher)) return false;
    auto* table = static_cast<std::uint16_t*>(Allocate(sizeof(std::uint16_t) * 65536));
    if (!table) return false;
    const auto dropped = [&](const char* character) {
        int width = 0;
        for (const CMatcherList::Node* node = skipSets.First(); node; node = node->next)
            if (static_cast<const CSkipSet*>(node->matcher)->IsSkipped(character, &width)) return true;
        return false;
    };
    for (unsigned first = 0; first < 256; ++first) {
        const unsigned char byte = static_cast<unsigned char>(first);
        if (!IsLeadByte(byte)) {
            // A one-byte character reads the same whatever byte follows it.
            const char one[2] = {static_cast<char>(byte), 0};
            const std::uint16_t action = first != 0 && dropped(one) ? kDropOne : kKeepOne;
            for (unsigned second = 0; second < 256; ++second)
                table[BytePairIndex(byte, static_cast<unsigned char>(second))] = action;
            continue;
        }
        table[BytePairIndex(byte, 0)] = kCutOff;
        for (unsigned second = 1; second < 256; ++second) {
            const unsigned char trail = static_cast<unsigned char>(second);
            const char two[3] = {static_cast<char>(byte), static_cast<char>(trail), 0};
            table[BytePairIndex(byte, trail)] = dropped(two) ? kDrop : fold.Folded(byte, trail);
        }
    }
    m_pairs = table;
    m_folds = !fold.Empty();
    return true;
}

long CStripFold::Run(const char* text, std::size_t n, char* out, TArray<int>* map, TArray<unsigned char>& marks) const {
    if (map) map->Clear();
    marks.Clear();
    if ((map && !map->Reserve(n)) || (m_folds && !marks.Reserve(n))) return -1;
    int* to = map ? map->Data() : nullptr;
    long kept;
    if (m_folds)
        kept = map ? Strip<true, true>(text, n, out, to, marks.Data())
                   : Strip<true, false>(text, n, out, to, marks.Data());
    else
        kept = map ? Strip<false, true>(text, n, out, to, nullptr) : Strip<false, false>(text, n, out, to, nullptr);
    if (map) map->SetFilled(static_cast<std::size_t>(kept));
    if (m_folds) marks.SetFilled(static_cast<std::size_t>(kept));
    if (kept > 0) out[kept] = 0;
    return kept;
}

template <bool kMarks, bool kMap>
CHATSIEVE_NOINLINE long CStripFold::Strip(const char* text, std::size_t n, char* out, int* map,
                                          unsigned char* marks) const {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    unsigned char* to = reinterpret_cast<unsigned char*>(out);
    // In a local: the stores through `to` and `marks` could be taken to
    // change the member, which the loop would then read again.
    const std::uint16_t* pairs = m_pairs;
    std::size_t kept = 0;
    // kFoldAfterGap from a character dropped after a kept one until the
    // next kept one.
    unsigned char gap = 0;
    // The terminator stands at n: the pair at the last byte is there to
    // read, and a lead byte before it reads kCutOff.
    for (std::size_t pos = 0; pos < n;) {
        const std::uint16_t action = pairs[LoadBytePair(in + pos)];
        if (action == kKeepTwo) {
            if (kMarks) {
                marks[kept] = gap;
                marks[kept + 1] = kFoldSecond;
            }
            std::memcpy(to + kept, in + pos, 2);
            if (kMap) {
                map[kept] = static_cast<int>(pos);
                map[kept + 1] = static_cast<int>(pos + 1);
            }
            kept += 2;
            gap = 0;
            pos += 2;
        } else if (action == kKeepOne) {
            if (kMarks) marks[kept] = gap;
            gap = 0;
            to[kept] = in[pos];
            if (kMap) map[kept] = static_cast<int>(pos);
            ++kept;
            ++pos;
        } else if (action == kDropOne || action == kDrop) {
            if (kept) gap = kFoldAfterGap;
            pos += action == kDropOne ? 1 : 2;
        } else if (action == kCutOff) {
            break;
        } else {
            if (kMarks) marks[kept] = static_cast<unsigned char>(kFoldWide | gap);
            to[kept] = static_cast<unsigned char>(action);
            if (kMap) map[kept] = static_cast<int>(pos);
            ++kept;
            gap = 0;
            pos += 2;
        }
    }
    return static_cast<long>(kept);
}

}  // namespace chatsieve
