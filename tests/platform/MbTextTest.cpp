#include <gtest/gtest.h>

#include <string>

#include "platform/MbText.h"

namespace chatsieve {
namespace {

std::string Copy(const std::string& src, std::size_t k) {
    std::string dst(k + 1, '#');
    BoundedCopy(dst.data(), src.c_str(), k);
    return dst;
}

TEST(CharByteCount, CountsWholeCharactersOnly) {
    EXPECT_EQ(0, CharByteCount(""));
    EXPECT_EQ(1, CharByteCount("a"));
    EXPECT_EQ(1, CharByteCount("\x80"));  // single-byte in code page 936
    EXPECT_EQ(2, CharByteCount("\xB0\xA1"));
    EXPECT_EQ(2, CharByteCount("\x81\x30"));  // any trail byte counts
    EXPECT_EQ(0, CharByteCount("\xB0"));      // lead byte cut by the terminator
    EXPECT_EQ(2, CharStep("\xB0"));           // stepping ignores what follows
}

TEST(BoundedCopy, CopiesWholeTextAndZeroFills) {
    EXPECT_EQ(std::string("ab\0\0\0#", 6), Copy("ab", 5));
    EXPECT_EQ(std::string("\xB0\xA1x\0#", 5), Copy("\xB0\xA1x", 4));
}

TEST(BoundedCopy, NeverEndsInsideATwoByteCharacter) {
    // The lead byte would take the k-th byte.
    EXPECT_EQ(std::string("a\0#", 3), Copy("a\xB0\xA1", 2));
    EXPECT_EQ(std::string("a\xB0\xA1#", 4), Copy("a\xB0\xA1", 3));
    // A lead byte directly before the terminator becomes a zero byte.
    EXPECT_EQ(std::string("a\0\0#", 4), Copy("a\xB0", 3));
    EXPECT_EQ(std::string("#", 1), Copy("abc", 0));
}

// Every string of up to six bytes over lead bytes, second bytes on both sides
// of 0x80 and single bytes, read back from its end, against reading it from
// its start (what the copy did one character at a time).
TEST(BoundedCopy, ReadingBackAgreesWithReadingForward) {
    const char alphabet[] = {'a', '\xB0', '\xA1', 'A', '\x80'};
    for (std::size_t length = 0; length <= 6; ++length) {
        std::size_t count = 1;
        for (std::size_t i = 0; i < length; ++i) count *= sizeof alphabet;
        for (std::size_t code = 0; code < count; ++code) {
            std::string text;
            for (std::size_t c = code, i = 0; i < length; ++i, c /= sizeof alphabet)
                text += alphabet[c % sizeof alphabet];
            std::size_t at = 0;
            for (std::size_t n = 0; n <= length; ++n) {
                while (at < n) at += static_cast<std::size_t>(CharStep(text.c_str() + at));
                ASSERT_EQ(at > n, EndsInsideCharacter(text.c_str(), n)) << text << " at " << n;
            }
            for (std::size_t k = 0; k <= length + 2; ++k) {
                std::string expected(k + 1, '#');
                std::size_t i = 0;
                for (int w; i < k && (w = CharByteCount(text.c_str() + i)) != 0 && i + w <= k; i += w)
                    for (int b = 0; b < w; ++b) expected[i + b] = text[i + b];
                for (; i < k; ++i) expected[i] = 0;
                ASSERT_EQ(expected, Copy(text, k)) << text << " within " << k;
            }
        }
    }
}

TEST(PrefixEquals, ComparesTheCutCandidate) {
    EXPECT_TRUE(PrefixEquals("fang", 2, "fa"));
    EXPECT_FALSE(PrefixEquals("f", 2, "fa"));
    EXPECT_FALSE(PrefixEquals("Fa", 2, "fa"));
    EXPECT_TRUE(PrefixEquals("anything", 0, ""));
    // A two-byte character straddling the limit ends the candidate.
    EXPECT_TRUE(PrefixEquals("a\xB0\xA1", 2, "a"));
    EXPECT_TRUE(PrefixEquals("a\xB0\xA1", 2, "a\xB0"));  // both read as "a"
    // A lead byte before the terminator counts as the terminator on both sides.
    EXPECT_TRUE(PrefixEquals("a\xB0", 5, "a"));
    EXPECT_TRUE(TextEquals("a\xB0", "a"));
    EXPECT_TRUE(TextEquals("\xB0\xA1", "\xB0\xA1"));
    EXPECT_FALSE(TextEquals("\xB0\xA1", "\xB0\xA2"));
}

TEST(PrefixEqualsNoCase, FoldsAsciiAndTwoByteLetters) {
    EXPECT_TRUE(PrefixEqualsNoCase("FA", 2, "fa"));
    EXPECT_TRUE(PrefixEqualsNoCase("fA", 2, "Fa"));
    EXPECT_FALSE(PrefixEqualsNoCase("f@", 2, "f`"));  // only letters fold
    // Full-width a and A; Greek alpha and Alpha; Cyrillic yo and Yo.
    EXPECT_TRUE(TextEqualsNoCase("\xA3\xE1", "\xA3\xC1"));
    EXPECT_TRUE(TextEqualsNoCase("\xA6\xC1", "\xA6\xA1"));
    EXPECT_TRUE(TextEqualsNoCase("\xA7\xD7", "\xA7\xA7"));
    EXPECT_FALSE(TextEquals("\xA3\xE1", "\xA3\xC1"));
    // A two-byte letter never equals its single-byte twin.
    EXPECT_FALSE(TextEqualsNoCase("\xA3\xC1", "A"));
    EXPECT_FALSE(TextEqualsNoCase("ab", "abc"));
}

}  // namespace
}  // namespace chatsieve
