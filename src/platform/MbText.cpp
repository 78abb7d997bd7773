#include "platform/MbText.h"

#include <cstdint>

namespace chatsieve {

namespace {

constexpr std::size_t kNoLimit = SIZE_MAX;

// Reads the character at text[pos] under a byte limit. Returns its width, or 0
// for the end of the text: the terminator, the limit, or a lead byte whose
// partner is the terminator or lies beyond the limit.
inline std::size_t ReadChar(const unsigned char* text, std::size_t pos, std::size_t limit, unsigned* value) {
    if (pos >= limit || text[pos] == 0) return 0;
    unsigned char first = text[pos];
    if (!IsLeadByte(first)) {
        *value = first;
        return 1;
    }
    if (pos + 1 >= limit || text[pos + 1] == 0) return 0;
    *value = (static_cast<unsigned>(first) << 8) | text[pos + 1];
    return 2;
}

inline unsigned FoldCase(unsigned ch) {
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
    return ch > 0xFF ? ToUpperDoubleByte(ch) : ch;
}

template <bool kFold>
bool CharsEqual(const char* a, std::size_t aLimit, const char* b, std::size_t bLimit) {
    const unsigned char* ua = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* ub = reinterpret_cast<const unsigned char*>(b);
    std::size_t ia = 0, ib = 0;
    for (;;) {
        unsigned va = 0, vb = 0;
        std::size_t wa = ReadChar(ua, ia, aLimit, &va);
        std::size_t wb = ReadChar(ub, ib, bLimit, &vb);
        if (wa == 0 || wb == 0) return wa == wb;
        if (va != vb && (!kFold || FoldCase(va) != FoldCase(vb))) return false;
        ia += wa;
        ib += wb;
    }
}

}  // namespace

void BoundedCopy(char* dst, const char* src, std::size_t k) {
    std::size_t i = 0;
    while (i < k) {
        char c = src[i];
        if (c == 0) break;
        if (IsLeadByte(static_cast<unsigned char>(c))) {
            if (i + 1 >= k || src[i + 1] == 0) break;
            dst[i] = c;
            dst[i + 1] = src[i + 1];
            i += 2;
        } else {
            dst[i++] = c;
        }
    }
    for (; i < k; ++i) dst[i] = 0;
}

bool PrefixEquals(const char* text, std::size_t limit, const char* form) {
    return CharsEqual<false>(text, limit, form, kNoLimit);
}

bool PrefixEqualsNoCase(const char* text, std::size_t limit, const char* form) {
    return CharsEqual<true>(text, limit, form, kNoLimit);
}

bool TextEquals(const char* a, const char* b) { return CharsEqual<false>(a, kNoLimit, b, kNoLimit); }

bool TextEqualsNoCase(const char* a, const char* b) { return CharsEqual<true>(a, kNoLimit, b, kNoLimit); }

}  // namespace chatsieve
