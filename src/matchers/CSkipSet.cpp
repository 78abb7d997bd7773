#include "matchers/CSkipSet.h"

#include <cstring>

#include "matchers/ProcessLists.h"
#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

namespace {
constexpr std::size_t kSingleTable = 256;
constexpr std::size_t kLookupBytes = kSingleTable + 65536 / 8;
}  // namespace

void CSkipSet::Destroy() {
    Free(m_lookup);
    Free(m_values);
    Free(m_singleRanges);
    Free(m_doubleRanges);
    this->~CSkipSet();
    Free(this);
}

int CSkipSet::Init(const int* values, int count) {
    if (!values || count <= 0) return 0;
    m_values = static_cast<int*>(Allocate(sizeof(int) * static_cast<unsigned>(count)));
    if (!m_values) return 0;
    std::memcpy(m_values, values, sizeof(int) * static_cast<unsigned>(count));
    m_valueCount = count;

    int separator = 0;
    while (separator < count && values[separator] != -1) ++separator;
    if (separator == count || separator % 2 != 0) return 0;
    int after = count - separator - 1;
    if (after % 3 != 0) return 0;
    m_singleCount = separator / 2;
    m_doubleCount = after / 3;

    m_singleRanges = static_cast<unsigned char*>(Allocate(2 * static_cast<unsigned>(m_singleCount)));
    m_doubleRanges = static_cast<unsigned char*>(Allocate(3 * static_cast<unsigned>(m_doubleCount)));
    if (!m_singleRanges || !m_doubleRanges) return 0;
    for (int i = 0; i < 2 * m_singleCount; ++i) m_singleRanges[i] = static_cast<unsigned char>(values[i]);
    for (int i = 0; i < 3 * m_doubleCount; ++i)
        m_doubleRanges[i] = static_cast<unsigned char>(values[separator + 1 + i]);

    m_lookup = static_cast<unsigned char*>(Allocate(kLookupBytes));
    if (!m_lookup) return 0;
    std::memset(m_lookup, 0, kLookupBytes);
    for (int i = 0; i < m_singleCount; ++i)
        for (unsigned b = m_singleRanges[2 * i]; b <= m_singleRanges[2 * i + 1]; ++b) m_lookup[b] = 1;
    unsigned char* bits = m_lookup + kSingleTable;
    for (int i = 0; i < m_doubleCount; ++i) {
        const unsigned char* range = m_doubleRanges + 3 * i;
        for (unsigned second = range[1]; second <= range[2]; ++second) {
            const unsigned code = static_cast<unsigned>(range[0]) << 8 | second;
            bits[code >> 3] = static_cast<unsigned char>(bits[code >> 3] | 1u << (code & 7));
        }
    }
    return 1;
}

int CSkipSet::IsSkipped(const char* p, int* charLength) const {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    *charLength = CharStep(p);
    if (*charLength == 1) return m_lookup[u[0]];
    const unsigned code = static_cast<unsigned>(u[0]) << 8 | u[1];
    return (m_lookup[kSingleTable + (code >> 3)] >> (code & 7)) & 1;
}

int CSkipSet::Match(char* text, int /*reserved*/, int* offset, int* length, int* /*level*/) {
    *length = 0;
    if (!text) return 0;
    const std::size_t n = std::strlen(text);
    g_positionMap.Clear();
    if (!g_positionMap.Reserve(n)) return 0;
    // One entry per byte kept, so entry `kept` is the next to write.
    int* map = g_positionMap.Data();

    // Compacted in place: a kept character moves only towards the start, so
    // it never overwrites a byte not yet read. When nothing is kept nothing is
    // written, and the bytes after the new terminator keep their old values.
    // The lookups of IsSkipped, written out: this runs over every line.
    const unsigned char* bits = m_lookup + kSingleTable;
    std::size_t pos = 0, kept = 0;
    while (pos < n) {
        const char first = text[pos];
        const unsigned char lead = static_cast<unsigned char>(first);
        if (!IsLeadByte(lead)) {
            if (!m_lookup[lead]) {
                text[kept] = first;
                map[kept++] = static_cast<int>(pos);
            }
            ++pos;
            continue;
        }
        // A lead byte cut off by the terminator is no character: the text ends
        // before it, so nothing is read or copied past the text.
        if (pos + 2 > n) break;
        const char second = text[pos + 1];
        const unsigned code = static_cast<unsigned>(lead) << 8 | static_cast<unsigned char>(second);
        if (!((bits[code >> 3] >> (code & 7)) & 1)) {
            text[kept] = first;
            text[kept + 1] = second;
            map[kept] = static_cast<int>(pos);
            map[kept + 1] = static_cast<int>(pos + 1);
            kept += 2;
        }
        pos += 2;
    }
    g_positionMap.SetFilled(kept);
    if (kept == 0) {
        *offset = 1;
        return 1;
    }
    text[kept] = 0;
    *offset = 0;
    return 1;
}

}  // namespace chatsieve
