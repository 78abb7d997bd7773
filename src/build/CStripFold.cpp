#include "build/CStripFold.h"

#include <cstring>

#include "build/CFoldTable.h"
#include "matchers/CSkipSet.h"
#include "matchers/ProcessLists.h"
#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

void CStripFold::Reset() {
    Free(m_double);
    m_double = nullptr;
    std::memset(m_single, 0, sizeof m_single);
    m_folds = false;
}

bool CStripFold::Build(const CMatcherList& skipSets, const CFoldTable& fold) {
    Reset();
    if (skipSets.Empty()) return false;
    for (const CMatcherList::Node* node = skipSets.First(); node; node = node->next)
        if (!dynamic_cast<const CSkipSet*>(node->matcher)) return false;
    auto* table = static_cast<std::uint16_t*>(Allocate(sizeof(std::uint16_t) * 65536));
    if (!table) return false;
    char one[2] = {0, 0};
    char two[3] = {0, 0, 0};
    for (unsigned value = 1; value < 65536; ++value) {
        const unsigned char high = static_cast<unsigned char>(value >> 8), low = static_cast<unsigned char>(value);
        table[value] = 0;
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
            m_single[low] = dropped;
            continue;
        }
        table[value] = dropped ? kDrop : fold.Folded(high, low);
    }
    table[0] = 0;
    m_double = table;
    m_folds = !fold.Empty();
    return true;
}

long CStripFold::Run(const char* text, char* out, TArray<int>& map, TArray<unsigned char>& marks) const {
    const std::size_t n = std::strlen(text);
    map.Clear();
    marks.Clear();
    if (!map.Reserve(n) || (m_folds && !marks.Reserve(n))) return -1;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    unsigned char* to = reinterpret_cast<unsigned char*>(out);
    int* m = map.Data();
    unsigned char* mark = m_folds ? marks.Data() : nullptr;
    const bool* lead = ActiveLeadBytes().isLead;
    std::size_t kept = 0;
    // Where the last kept character ends in the text: a kept byte that does
    // not start there had fillers dropped before it.
    std::size_t keptEnd = 0;
    for (std::size_t pos = 0; pos < n;) {
        const unsigned char first = in[pos];
        if (!lead[first]) {
            if (!m_single[first]) {
                if (mark) mark[kept] = kept > 0 && pos != keptEnd ? kFoldAfterGap : 0;
                to[kept] = first;
                m[kept++] = static_cast<int>(pos);
                keptEnd = pos + 1;
            }
            ++pos;
            continue;
        }
        if (pos + 2 > n) break;
        const std::uint16_t action = m_double[first << 8 | in[pos + 1]];
        if (action != kDrop) {
            const unsigned char gap = mark && kept > 0 && pos != keptEnd ? kFoldAfterGap : 0;
            if (action != 0) {
                if (mark) mark[kept] = static_cast<unsigned char>(kFoldWide | gap);
                to[kept] = static_cast<unsigned char>(action);
                m[kept++] = static_cast<int>(pos);
            } else {
                if (mark) {
                    mark[kept] = gap;
                    mark[kept + 1] = 0;
                }
                to[kept] = first;
                to[kept + 1] = in[pos + 1];
                m[kept] = static_cast<int>(pos);
                m[kept + 1] = static_cast<int>(pos + 1);
                kept += 2;
            }
            keptEnd = pos + 2;
        }
        pos += 2;
    }
    map.SetFilled(kept);
    if (mark) marks.SetFilled(kept);
    if (kept > 0) to[kept] = 0;
    return static_cast<long>(kept);
}

}  // namespace chatsieve
