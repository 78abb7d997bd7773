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
    char one[2] = {0, 0};
    char two[3] = {0, 0, 0};
    bool droppedByte[256] = {};
    for (unsigned value = 1; value < 65536; ++value) {
        const unsigned char high = static_cast<unsigned char>(value >> 8), low = static_cast<unsigned char>(value);
        std::uint16_t& entry = table[BytePairIndex(high, low)];
        entry = high != 0 && low == 0 && IsLeadByte(high) ? kCutOff : 0;
        if (high == 0 ? IsLeadByte(low) : !IsLeadByte(high) || low == 0) continue;
        bool dropped = false;
        for (const CMatcherList::Node* node = skipSets.First(); node && !dropped; node = node->next) {
            int width = 0;
            const auto* set = static_cast<const CSkipSet*>(node->matcher);
            if (high == 0) {
                one[0] = static_cast<char>(low);
                dropped = set->IsSkipped(one, &width) != 0;
            } else {
                two[0] = static_cast<char>(high);
                two[1] = static_cast<char>(low);
                dropped = set->IsSkipped(two, &width) != 0;
            }
        }
        if (high == 0) {
            droppedByte[low] = dropped;
            continue;
        }
        entry = dropped ? kDrop : fold.Folded(high, low);
    }
    // A one-byte character reads the same whatever byte follows it.
    for (unsigned first = 0; first < 256; ++first) {
        if (IsLeadByte(static_cast<unsigned char>(first))) continue;
        for (unsigned second = 0; second < 256; ++second)
            table[BytePairIndex(static_cast<unsigned char>(first), static_cast<unsigned char>(second))] =
                droppedByte[first] ? kDropOne : kKeepOne;
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
