#include <gtest/gtest.h>

#include <string>

#include "platform/AsciiText.h"

namespace chatsieve {
namespace {

// Bytes held in a plain char are negative from 0x80 up on most compilers:
// they and two-byte character values must never pass for letters, or a
// trail byte such as 0xC1 would change case.
TEST(AsciiText, OnlyAsciiBytesAreLettersOrChangeCase) {
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const char c = static_cast<char>(b);
        EXPECT_FALSE(IsAsciiLetter(static_cast<unsigned char>(c))) << b;
        EXPECT_FALSE(IsAsciiLetter(static_cast<unsigned>(c))) << b;
        EXPECT_EQ(ToAsciiLower(b), b);
        EXPECT_EQ(ToAsciiUpper(b), b);
    }
    EXPECT_FALSE(IsAsciiLetter(0xA3C1));  // full-width A
    EXPECT_EQ(ToAsciiUpper(0xA3E1), 0xA3E1u);
    EXPECT_EQ(ToAsciiLower('Q'), static_cast<unsigned>('q'));
    EXPECT_EQ(ToAsciiUpper('q'), static_cast<unsigned>('Q'));
    EXPECT_EQ(ToAsciiLower('@'), static_cast<unsigned>('@'));  // just before 'A'
    EXPECT_EQ(ToAsciiUpper('`'), static_cast<unsigned>('`'));  // just before 'a'
    EXPECT_FALSE(IsAsciiAlnum('_'));
    EXPECT_TRUE(IsAsciiAlnum('0') && IsAsciiAlnum('z') && IsAsciiAlnum('Z'));
}

TEST(AsciiText, StepsOverCodePage936Characters) {
    EXPECT_EQ(GbkStep(0x80), 1u);  // the euro sign's byte, single in code page 936
    EXPECT_EQ(GbkStep(0x81), 2u);
    EXPECT_EQ(GbkStep(0xFE), 2u);
    EXPECT_EQ(GbkStep(0xFF), 1u);
    const std::string text = "a\xCD\xE2\xB0";  // a, 外, then a lead byte cut off
    EXPECT_EQ(GbkStepWithin(text.data(), 0, text.size()), 1u);
    EXPECT_EQ(GbkStepWithin(text.data(), 1, text.size()), 2u);
    EXPECT_EQ(GbkStepWithin(text.data(), 3, text.size()), 1u);
    EXPECT_EQ(GbkStep(static_cast<unsigned char>(text[3])), 2u);
}

}  // namespace
}  // namespace chatsieve
