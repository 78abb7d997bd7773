// Multibyte text operations in the ANSI code page (see CodePage.h). Matching
// results depend on their exact behaviour at cut characters: a lead byte
// directly before the terminator, or before a length limit, is never half of a
// character that gets copied or compared.
#ifndef CHATSIEVE_PLATFORM_MBTEXT_H
#define CHATSIEVE_PLATFORM_MBTEXT_H

#include <cstddef>
#include <cstdint>

#include "platform/AsciiText.h"
#include "platform/CodePage.h"

namespace chatsieve {

// Width of the character at p: 2 when *p is a lead byte, whatever follows.
inline int CharStep(const char* p) { return IsLeadByte(static_cast<unsigned char>(*p)) ? 2 : 1; }

// Bytes of the one character at p: 0 at the terminator and for a lead byte
// directly followed by the terminator, 2 for a whole two-byte character, else 1.
inline int CharByteCount(const char* p) {
    if (*p == 0) return 0;
    if (!IsLeadByte(static_cast<unsigned char>(*p))) return 1;
    return p[1] != 0 ? 2 : 0;
}

constexpr std::size_t kNoLimit = SIZE_MAX;

// Reads the character at text[pos] as a value (lead << 8 | trail for two
// bytes) under a byte limit. Returns its width, or 0 for the end of the text:
// the terminator, the limit, or a lead byte whose partner is the terminator or
// lies beyond the limit.
inline std::size_t ReadChar(const unsigned char* text, std::size_t pos, std::size_t limit, unsigned* value) {
    if (pos >= limit || text[pos] == 0) return 0;
    const unsigned char first = text[pos];
    if (!IsLeadByte(first)) {
        *value = first;
        return 1;
    }
    if (pos + 1 >= limit || text[pos + 1] == 0) return 0;
    *value = (static_cast<unsigned>(first) << 8) | text[pos + 1];
    return 2;
}

// A character value as the case-insensitive comparison sees it.
inline unsigned FoldCase(unsigned ch) {
    if (IsAsciiLower(ch)) return ToAsciiUpper(ch);
    return ch > 0xFF ? ToUpperDoubleByte(ch) : ch;
}

// Whether the `n` bytes at `text`, read as characters from `text`, end with a
// lead byte whose second byte lies past them. Reads back from the end only:
// the byte after one that is no lead byte starts a character, and the lead
// bytes that follow it pair up.
inline bool EndsInsideCharacter(const char* text, std::size_t n) {
    const bool* lead = LeadBytes();
    std::size_t leads = 0;
    while (leads < n && lead[static_cast<unsigned char>(text[n - 1 - leads])]) ++leads;
    return leads % 2 == 1;
}

// Copies whole characters from src until k bytes are written or the terminator
// is copied, then zero-fills the rest of the k bytes. A lead byte that would
// take the k-th byte, or whose second byte is the terminator, becomes a zero.
void BoundedCopy(char* dst, const char* src, std::size_t k);

// Whether the first `limit` bytes of `text` (fewer when it ends first; a lead
// byte whose partner lies beyond the limit or is the terminator ends it) equal
// the whole of `form`, character by character. Equal to copying the candidate
// with BoundedCopy(limit + 1), cutting it to `limit` bytes and comparing.
bool PrefixEquals(const char* text, std::size_t limit, const char* form);
// The same, with single-byte letters compared without regard to case and
// two-byte characters compared after ToUpperDoubleByte.
bool PrefixEqualsNoCase(const char* text, std::size_t limit, const char* form);

// Whole-text comparisons with the same character rules.
bool TextEquals(const char* a, const char* b);
bool TextEqualsNoCase(const char* a, const char* b);

}  // namespace chatsieve

#endif
