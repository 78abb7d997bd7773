#include "matchers/CSyllable.h"

#include <cstring>

#include "platform/MbText.h"
#include "platform/Memory.h"

namespace chatsieve {

namespace {

// A form whose last byte is a lone lead byte compares as if that byte were not
// there, yet would report its full length: a match could then end inside a
// character or run past the end of the text.
bool EndsInCutCharacter(const char* form) {
    std::size_t length = std::strlen(form), i = 0;
    while (i < length) i += static_cast<std::size_t>(CharStep(form + i));
    return i > length;
}

}  // namespace

void CSyllable::Destroy() {
    // The one block that holds the forms and the codes.
    FreeSmall(m_romanised);
    this->~CSyllable();
    Free(this);
}

int CSyllable::Init(const char* romanised, const unsigned char* codes, int codeByteCount, const char* splitForm) {
    if (!romanised || !codes) return 0;
    int ranges = codeByteCount / 3;
    if (ranges < 1 || ranges > kMaxSyllableRanges) return 0;
    if (EndsInCutCharacter(romanised) || (splitForm && EndsInCutCharacter(splitForm))) return 0;

    const std::size_t romanisedLength = std::strlen(romanised);
    const std::size_t splitLength = splitForm ? std::strlen(splitForm) : 0;
    const std::size_t codeBytes = static_cast<std::size_t>(codeByteCount);
    // One block: the romanised form, the split form, then the codes.
    char* block =
        static_cast<char*>(AllocateSmall(romanisedLength + 1 + (splitForm ? splitLength + 1 : 0) + codeBytes));
    if (!block) return 0;
    m_romanised = block;
    m_romanisedLength = romanisedLength;
    std::memcpy(m_romanised, romanised, romanisedLength + 1);
    if (m_romanisedLength && !IsLeadByte(static_cast<unsigned char>(romanised[0])))
        m_romanisedFirst = FoldCase(static_cast<unsigned char>(romanised[0]));
    block += romanisedLength + 1;
    if (splitForm) {
        m_splitForm = block;
        m_splitLength = splitLength;
        std::memcpy(m_splitForm, splitForm, splitLength + 1);
        block += splitLength + 1;
    }
    m_codes = reinterpret_cast<unsigned char*>(block);
    m_codeByteCount = codeByteCount;
    std::memcpy(m_codes, codes, codeBytes);
    for (int k = 0; k < ranges; ++k) m_rangeLeads[codes[3 * k] >> 5] |= std::uint32_t{1} << (codes[3 * k] & 31);
    return 1;
}

int CSyllable::MatchAt(const char* p, int* length) const {
    if (!p) {
        *length = 0;
        return 0;
    }
    const unsigned char first = static_cast<unsigned char>(*p);
    const bool romanisedMayMatch = m_romanisedFirst == 0 || (!IsLeadByte(first) && FoldCase(first) == m_romanisedFirst);
    if (romanisedMayMatch && PrefixEqualsNoCase(p, m_romanisedLength, m_romanised)) {
        *length = static_cast<int>(m_romanisedLength);
        return 1;
    }
    // A non-empty split form starts with the text's very first byte.
    if (m_splitForm && (m_splitLength == 0 || m_splitForm[0] == *p) && PrefixEquals(p, m_splitLength, m_splitForm)) {
        *length = static_cast<int>(m_splitLength);
        return 1;
    }
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    // The terminator never belongs to a code range, so a range never reads or
    // reports a character past the end of the text.
    if (u[0] != 0 && (m_rangeLeads[u[0] >> 5] >> (u[0] & 31) & 1)) {
        for (int k = 0; k < m_codeByteCount / 3; ++k) {
            const unsigned char* range = m_codes + 3 * k;
            if (u[0] == range[0] && u[1] != 0 && range[1] <= u[1] && u[1] <= range[2]) {
                *length = 2;
                return 1;
            }
        }
    }
    *length = CharByteCount(p);
    return 0;
}

int CSyllable::Match(char* text, int /*reserved*/, int* offset, int* length, int* /*level*/) {
    if (!text) return 0;
    for (char* p = text; *p != 0; p += *length) {
        if (MatchAt(p, length)) {
            *offset = static_cast<int>(p - text);
            return 1;
        }
        if (*length == 0) break;
    }
    return 0;
}

}  // namespace chatsieve
