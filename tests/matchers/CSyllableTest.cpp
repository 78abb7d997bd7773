#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/RuleFixture.h"
#include "matchers/CSyllable.h"

namespace chatsieve::test {
namespace {

class CSyllableTest : public RuleTest {
protected:
    // "fa", characters B7A0-B7A5, split form as given.
    CSyllable* Fa(const char* split = nullptr) {
        AddSyllable("fa", {0xB7, 0xA0, 0xA5}, split);
        return static_cast<CSyllable*>(g_syllables.Last()->matcher);
    }
    CSyllable* Syl(const char* romanised, std::vector<unsigned char> codes, const char* split = nullptr) {
        AddSyllable(romanised, std::move(codes), split);
        return static_cast<CSyllable*>(g_syllables.Last()->matcher);
    }
    int At(CSyllable* s, const char* text, int* length) { return s->MatchAt(text, length); }
};

TEST_F(CSyllableTest, RomanisedFormMatchesInAnyCase) {
    CSyllable* fa = Fa();
    int length = -1;
    for (const char* text : {"FA", "Fa", "fA", "fang"}) {
        EXPECT_EQ(1, At(fa, text, &length)) << text;
        EXPECT_EQ(2, length);
    }
    EXPECT_EQ(0, At(fa, "f", &length));
    EXPECT_EQ(1, length);
    EXPECT_EQ(0, At(fa, "", &length));
    EXPECT_EQ(0, length);
}

TEST_F(CSyllableTest, CodeRangesMatchTwoByteCharacters) {
    CSyllable* fa = Fa();
    int length = -1;
    for (unsigned trail = 0xA0; trail <= 0xA5; ++trail) {
        const char text[] = {'\xB7', static_cast<char>(trail), 0};
        EXPECT_EQ(1, At(fa, text, &length)) << trail;
        EXPECT_EQ(2, length);
    }
    EXPECT_EQ(0, At(fa, "\xB7\xA6", &length));
    EXPECT_EQ(2, length);
    EXPECT_EQ(0, At(fa, "\xB7", &length));  // lead byte cut by the terminator
    EXPECT_EQ(0, length);
}

TEST_F(CSyllableTest, SplitFormIsExactAndComesAfterRomanised) {
    CSyllable* fa = Fa("\xC8\xFD\xCB\xAE");  // two characters
    int length = -1;
    EXPECT_EQ(1, At(fa, "\xC8\xFD\xCB\xAEx", &length));
    EXPECT_EQ(4, length);
    EXPECT_EQ(0, At(fa, "\xC8\xFD", &length));

    CSyllable* s = Syl("zz", {0xD4, 0xFA, 0xFA}, "xY");
    EXPECT_EQ(1, At(s, "xY", &length));
    EXPECT_EQ(0, At(s, "XY", &length));  // letter case counts in the split form
}

TEST_F(CSyllableTest, RomanisedWinsOverSplitAtTheSamePlace) {
    CSyllable* s = Syl("ab", {0xB0, 0xA1, 0xA1}, "abc");
    int length = -1;
    EXPECT_EQ(1, At(s, "abc", &length));
    EXPECT_EQ(2, length);
}

TEST_F(CSyllableTest, EmptyFormsMatchWithLengthZero) {
    int length = -1;
    EXPECT_EQ(1, At(Syl("", {0xB0, 0xA1, 0xA1}), "xyz", &length));
    EXPECT_EQ(0, length);
    length = -1;
    EXPECT_EQ(1, At(Syl("q", {0xB0, 0xA1, 0xA1}, ""), "xyz", &length));
    EXPECT_EQ(0, length);
}

TEST_F(CSyllableTest, RomanisedFormComparesWholeCharacters) {
    int length = -1;
    // B0 61 is one two-byte character, not a lead byte and the letter a, so
    // its trail byte is not folded.
    CSyllable* s =
        Syl("\xB0"
            "a",
            {0xD4, 0xFA, 0xFA});
    EXPECT_EQ(1, At(s,
                    "\xB0"
                    "a",
                    &length));
    EXPECT_EQ(0, At(s,
                    "\xB0"
                    "A",
                    &length));
    // A character straddling the cut ends the candidate: "x" then half of
    // B0 A1 is not "xa".
    EXPECT_EQ(0, At(Syl("xa", {0xD4, 0xFA, 0xFA}), "x\xB0\xA1", &length));
    // Full-width letters fold like ASCII ones.
    EXPECT_EQ(1, At(Syl("\xA3\xE6\xA3\xE1", {0xD4, 0xFA, 0xFA}), "\xA3\xC6\xA3\xE1", &length));
    EXPECT_EQ(4, length);
}

TEST_F(CSyllableTest, MatchScansCharacterByCharacter) {
    CSyllable* fa = Fa();
    std::string text = "  \xB7\xA2";
    Outputs out;
    EXPECT_EQ(1, RunMatch(fa, text, out));
    EXPECT_EQ(2, out.offset);
    EXPECT_EQ(2, out.length);
    EXPECT_EQ(-77, out.level);

    // Matches start only at character boundaries: "fa" inside the bytes of
    // two-byte characters is not found.
    text = "\xB0\x66\x61x";
    EXPECT_EQ(0, RunMatch(fa, text, out));

    // The lone lead byte ends the scan.
    text = " \xB7";
    out = Outputs();
    EXPECT_EQ(0, RunMatch(fa, text, out));
    EXPECT_EQ(0, out.length);
    EXPECT_EQ(-77, out.offset);

    text = "";
    out = Outputs();
    EXPECT_EQ(0, RunMatch(fa, text, out));
    EXPECT_EQ(-77, out.offset);
    EXPECT_EQ(-77, out.length);
}

TEST_F(CSyllableTest, NoWordBoundaries) {
    CSyllable* fa = Fa();
    std::string text = "sofast";
    Outputs out;
    EXPECT_EQ(1, RunMatch(fa, text, out));
    EXPECT_EQ(2, out.offset);
}

TEST_F(CSyllableTest, CodeByteCountSetsTheRanges) {
    const unsigned char codes[12] = {0xB0, 0xA1, 0xA2, 0xB1, 0xA1, 0xA2, 0xB2, 0xA1, 0xA2, 0xB3, 0xA1, 0xA2};
    for (int count : {2, 12, 0, -3}) {
        CSyllable* s = New<CSyllable>();
        EXPECT_EQ(0, s->Init("x", codes, count, nullptr)) << count;
        s->Destroy();
    }
    struct Case {
        int count;
        const char* text;
        int matches;
    };
    // Bytes after the last whole triple are held but never consulted.
    for (Case c : {Case{3, "\xB0\xA2", 1}, Case{5, "\xB1\xA1", 0}, Case{6, "\xB1\xA1", 1}, Case{11, "\xB3\xA1", 0},
                   Case{11, "\xB2\xA2", 1}}) {
        CSyllable* s = New<CSyllable>();
        ASSERT_EQ(1, s->Init("x", codes, c.count, nullptr));
        int length = 0;
        EXPECT_EQ(c.matches, s->MatchAt(c.text, &length)) << c.count;
        s->Destroy();
    }
}

TEST_F(CSyllableTest, InitRefusesMissingFormsAndCutCharacters) {
    const unsigned char codes[3] = {0xB0, 0xA1, 0xA2};
    CSyllable* s = New<CSyllable>();
    EXPECT_EQ(0, s->Init(nullptr, codes, 3, nullptr));
    EXPECT_EQ(0, s->Init("a", nullptr, 3, nullptr));
    s->Destroy();
    // A form ending in half a character would report bytes it never compared.
    for (const char* form : {"a\xB0", "\xB0"}) {
        CSyllable* cut = New<CSyllable>();
        EXPECT_EQ(0, cut->Init(form, codes, 3, nullptr));
        cut->Destroy();
        cut = New<CSyllable>();
        EXPECT_EQ(0, cut->Init("a", codes, 3, form));
        cut->Destroy();
    }
}

TEST_F(CSyllableTest, CodeRangeNeverCoversTheTerminator) {
    // Ranges reaching down to byte 0 must not match a lead byte at the end.
    CSyllable* s = Syl("zzz", {0xB0, 0x00, 0xFF, 0x00, 0x00, 0xFF});
    int length = -1;
    EXPECT_EQ(0, s->MatchAt("\xB0", &length));
    EXPECT_EQ(0, s->MatchAt("", &length));
    EXPECT_EQ(1, s->MatchAt("\xB0\x01", &length));
}

// The forms and codes are one block: when it cannot be had, Init fails and
// leaves the object for Destroy; with it, the syllable holds all three.
TEST_F(CSyllableTest, AllocationFailureLeavesTheObjectForDestroy) {
    const unsigned char codes[3] = {0xB0, 0xA1, 0xA2};
    const long live = LiveAllocationCount();
    CSyllable* s = New<CSyllable>();
    FailAllocationsAfter(0);
    EXPECT_EQ(0, s->Init("a", codes, 3, "b"));
    ResetAllocationFailures();
    s->Destroy();
    s = New<CSyllable>();
    FailAllocationsAfter(1);
    ASSERT_EQ(1, s->Init("ab", codes, 3, "cd"));
    ResetAllocationFailures();
    int length = 0;
    EXPECT_EQ(1, s->MatchAt("AB", &length));
    EXPECT_EQ(2, length);
    EXPECT_EQ(1, s->MatchAt("cd", &length));
    EXPECT_EQ(1, s->MatchAt("\xB0\xA2", &length));
    EXPECT_EQ(0, s->MatchAt("c", &length));
    s->Destroy();
    EXPECT_EQ(live, LiveAllocationCount());
}

}  // namespace
}  // namespace chatsieve::test
