#include "core/CFoldTable.h"

#include <cstring>

#include "matchers/ProcessLists.h"
#include "platform/MbText.h"

namespace chatsieve {

bool CFoldTable::Add(unsigned char lead, unsigned char low, unsigned char high, int to) {
    if (m_count >= kMaxFoldRanges || !IsLeadByte(lead) || low > high) return false;
    // Each result is one whole single-byte character: never the terminator
    // or a byte that would start a two-byte character.
    const int last = to + (high - low);
    if (to < 1 || last > 0xFF) return false;
    for (int b = to; b <= last; ++b)
        if (IsLeadByte(static_cast<unsigned char>(b))) return false;
    m_ranges[m_count++] = Range{lead, low, high, static_cast<unsigned char>(to)};
    m_leads[lead] = true;
    return true;
}

void CFoldTable::Reset() {
    m_count = 0;
    for (bool& lead : m_leads) lead = false;
}

unsigned char CFoldTable::Folded(unsigned char lead, unsigned char trail) const {
    if (!m_leads[lead]) return 0;
    for (int i = 0; i < m_count; ++i) {
        const Range& r = m_ranges[i];
        if (r.lead == lead && trail >= r.low && trail <= r.high)
            return static_cast<unsigned char>(r.to + (trail - r.low));
    }
    return 0;
}

bool CFoldTable::Fold(char* text, TArray<int>& map, TArray<unsigned char>& marks) const {
    const std::size_t n = std::strlen(text);
    marks.Clear();
    if (map.Size() < n || !marks.Reserve(n)) return false;
    unsigned char* mark = marks.Data();
    std::size_t write = 0;
    // Where the character before ends in the checked text: a byte that does
    // not start there had fillers stripped before it.
    int hostEnd = 0;
    for (std::size_t read = 0; read < n;) {
        const unsigned char gap = write > 0 && map[read] != hostEnd ? kFoldAfterGap : 0;
        const int width = CharByteCount(text + read);
        const unsigned char folded =
            width == 2 ? Folded(static_cast<unsigned char>(text[read]), static_cast<unsigned char>(text[read + 1])) : 0;
        if (folded) {
            text[write] = static_cast<char>(folded);
            hostEnd = map[read] + 2;
            map[write] = map[read];
            mark[write] = static_cast<unsigned char>(kFoldWide | gap);
            ++write;
            read += 2;
            continue;
        }
        // A lead byte cut off by the terminator cannot occur here (the copy
        // dropped it), but a width of 0 must still move on.
        const std::size_t step = width == 0 ? 1 : static_cast<std::size_t>(width);
        for (std::size_t k = 0; k < step && read < n; ++k) {
            text[write] = text[read];
            hostEnd = map[read] + 1;
            map[write] = map[read];
            mark[write] = k == 0 ? gap : 0;
            ++write;
            ++read;
        }
    }
    text[write] = 0;
    map.Truncate(write);
    marks.SetFilled(write);
    return true;
}

}  // namespace chatsieve
