#include "platform/MbText.h"

#include <cstdint>
#include <cstring>

namespace chatsieve {

namespace {

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
    const void* end = std::memchr(src, 0, k);
    std::size_t n = end ? static_cast<std::size_t>(static_cast<const char*>(end) - src) : k;
    if (EndsInsideCharacter(src, n)) --n;
    std::memcpy(dst, src, n);
    std::memset(dst + n, 0, k - n);
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
