#include "build/CFoldTable.h"

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
    unsigned char* t = reinterpret_cast<unsigned char*>(text);
    int* m = map.Data();
    unsigned char* mark = marks.Data();
    const bool* lead = LeadBytes();
    std::size_t write = 0;
    // Where the character before ends in the checked text: a byte that does
    // not start there had fillers stripped before it.
    int hostEnd = 0;
    for (std::size_t read = 0; read < n;) {
        const int at = m[read];
        const unsigned char gap = write > 0 && at != hostEnd ? kFoldAfterGap : 0;
        const unsigned char first = t[read];
        // A lead byte cut off by the terminator cannot occur here (the copy
        // dropped it), but one would be kept as a byte of its own.
        if (!lead[first] || read + 1 == n) {
            t[write] = first;
            m[write] = at;
            mark[write] = gap;
            hostEnd = at + 1;
            ++write;
            ++read;
            continue;
        }
        const unsigned char second = t[read + 1];
        if (const unsigned char folded = Folded(first, second)) {
            t[write] = folded;
            m[write] = at;
            mark[write] = static_cast<unsigned char>(kFoldWide | gap);
            hostEnd = at + 2;
            ++write;
        } else {
            t[write] = first;
            t[write + 1] = second;
            m[write] = at;
            m[write + 1] = m[read + 1];
            mark[write] = gap;
            mark[write + 1] = kFoldSecond;
            hostEnd = m[read + 1] + 1;
            write += 2;
        }
        read += 2;
    }
    t[write] = 0;
    map.Truncate(write);
    marks.SetFilled(write);
    return true;
}

}  // namespace chatsieve
