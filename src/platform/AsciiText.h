// ASCII letters, digits and letter case, and the width of a code page 936
// character, for the filter and the tools alike. Header only, and it asks
// the system nothing: letter case here is ASCII's alone (FoldCase in
// MbText.h adds the code page's two-byte upper case), and the lead bytes are
// code page 936's, fixed, as the tools and the rule package read text. The
// filter itself steps by the active code page's lead bytes (CharStep in
// MbText.h).
//
// The tests take `unsigned`, so a byte held in a plain char that is negative
// is no letter, and a two-byte character value (lead << 8 | trail) is none
// either.
#ifndef CHATSIEVE_PLATFORM_ASCIITEXT_H
#define CHATSIEVE_PLATFORM_ASCIITEXT_H

#include <cstddef>

namespace chatsieve {

constexpr bool IsAsciiUpper(unsigned c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsAsciiLower(unsigned c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAsciiLetter(unsigned c) { return IsAsciiUpper(c) || IsAsciiLower(c); }
constexpr bool IsAsciiDigit(unsigned c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiAlnum(unsigned c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// A letter in lower or upper case; anything else as it is.
constexpr unsigned ToAsciiLower(unsigned c) { return IsAsciiUpper(c) ? c - 'A' + 'a' : c; }
constexpr unsigned ToAsciiUpper(unsigned c) { return IsAsciiLower(c) ? c - 'a' + 'A' : c; }

// True when `b` starts a two-byte character of code page 936.
constexpr bool IsGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Bytes of the code page 936 character that starts with `first`: 2 after a
// lead byte, whatever follows it, else 1.
constexpr std::size_t GbkStep(unsigned char first) { return IsGbkLeadByte(first) ? 2 : 1; }

// Bytes of the character at text[at] in a text of `size` bytes: as GbkStep,
// but a lead byte with nothing after it is a character of its own.
constexpr std::size_t GbkStepWithin(const char* text, std::size_t at, std::size_t size) {
    return at + 1 < size ? GbkStep(static_cast<unsigned char>(text[at])) : 1;
}

}  // namespace chatsieve

#endif
