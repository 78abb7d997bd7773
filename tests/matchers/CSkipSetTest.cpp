#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/RuleFixture.h"
#include "matchers/CSkipSet.h"

namespace chatsieve::test {
namespace {

// ASCII 0x20-0x2F, and two-byte characters A1A1-A1FE (full-width symbols).
const std::vector<int> kSpacesAndSymbols = {0x20, 0x2F, -1, 0xA1, 0xA1, 0xFE};

std::vector<int> MapEntries() {
    return std::vector<int>(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
}

class CSkipSetTest : public RuleTest {
protected:
    std::string Strip(std::vector<int> values, std::string text, Outputs* outputs = nullptr) {
        CSkipSet* set = MakeSkipSet(std::move(values));
        Outputs out;
        EXPECT_EQ(1, RunMatch(set, text, out));
        EXPECT_EQ(0, out.length);
        EXPECT_EQ(-77, out.level);
        if (outputs) *outputs = out;
        set->Destroy();
        return text.c_str();
    }
};

TEST_F(CSkipSetTest, StripsRangesAndMapsBytesBack) {
    Outputs out;
    EXPECT_EQ("abc", Strip(kSpacesAndSymbols, "a b,c", &out));
    EXPECT_EQ(0, out.offset);
    EXPECT_EQ((std::vector<int>{0, 2, 4}), MapEntries());

    EXPECT_EQ(
        "X"
        "Y\xB0\xA1",
        Strip(kSpacesAndSymbols, "X\xA1\xA2Y\xB0\xA1"));
    EXPECT_EQ((std::vector<int>{0, 3, 4, 5}), MapEntries());
}

TEST_F(CSkipSetTest, NothingLeftKeepsTheTextAndReportsOffsetOne) {
    for (std::string text : {std::string(""), std::string(" ,\xA1\xA1 ")}) {
        Outputs out;
        EXPECT_EQ(text, Strip(kSpacesAndSymbols, text, &out));
        EXPECT_EQ(1, out.offset);
        EXPECT_TRUE(g_positionMap.Empty());
    }
}

TEST_F(CSkipSetTest, NothingToIgnoreMapsEveryByteToItself) {
    EXPECT_EQ("ab\xC4\xE3", Strip(kSpacesAndSymbols, "ab\xC4\xE3"));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), MapEntries());
}

TEST_F(CSkipSetTest, EmptyGroupsIgnoreNothingOfTheirWidth) {
    EXPECT_EQ("a b", Strip({-1, 0xA1, 0xA1, 0xFE}, "a b\xA1\xA1"));
    EXPECT_EQ("ab\xA1\xA1", Strip({0x20, 0x20, -1}, "a b\xA1\xA1"));
}

TEST_F(CSkipSetTest, ValuesAreTheirLowBytes) {
    // A second -1 is the byte 0xFF; 256 is the byte 0 (which no text holds).
    EXPECT_EQ("a", Strip({0x41 + 256, 0x41 + 256, -1, 0xB0, 0xA1, -1}, "Aa\xB0\xFF"));
}

TEST_F(CSkipSetTest, InvertedRangeIgnoresNothing) { EXPECT_EQ("a/b", Strip({0x2F, 0x20, -1}, "a/b")); }

TEST_F(CSkipSetTest, LoneLeadByteBeforeTheTerminatorIsDropped) {
    // Seen only from callers other than the check, which drops such a byte
    // itself; nothing may be read or copied past the text.
    EXPECT_EQ("ab", Strip(kSpacesAndSymbols, "a b\xB0"));
    EXPECT_EQ((std::vector<int>{0, 2}), MapEntries());
}

TEST_F(CSkipSetTest, InitRefusesMalformedLists) {
    const std::vector<std::vector<int>> bad = {
        {0x20, 0x2F},                  // no separator
        {0x20, 0x2F, 0x30, -1},        // odd count before it
        {-1, 0xA1, 0xA1, 0xFE, 0xA2},  // four values after it
    };
    for (const auto& values : bad) {
        CSkipSet* set = New<CSkipSet>();
        EXPECT_EQ(0, set->Init(values.data(), static_cast<int>(values.size())));
        set->Destroy();  // a failed Init leaves the object whole
    }
    CSkipSet* set = New<CSkipSet>();
    int one = -1;
    EXPECT_EQ(0, set->Init(nullptr, 1));
    EXPECT_EQ(0, set->Init(&one, 0));
    set->Destroy();
}

TEST_F(CSkipSetTest, NullTextFailsAndClearsLength) {
    CSkipSet* set = MakeSkipSet(kSpacesAndSymbols);
    int offset = 5, length = 5, level = 5;
    EXPECT_EQ(0, set->Match(nullptr, 0, &offset, &length, &level));
    EXPECT_EQ(0, length);
    EXPECT_EQ(5, offset);
    set->Destroy();
}

TEST_F(CSkipSetTest, MapThatCannotGrowIsAFailedMatch) {
    CSkipSet* set = MakeSkipSet(kSpacesAndSymbols);
    std::string text = "a b";
    Outputs out;
    FailAllocationsAfter(0);
    EXPECT_EQ(0, RunMatch(set, text, out));
    ResetAllocationFailures();
    EXPECT_EQ("a b", text);
    set->Destroy();
}

TEST_F(CSkipSetTest, BytesAfterTheNewTerminatorKeepTheirValues) {
    std::string text = "a b,c";
    CSkipSet* set = MakeSkipSet(kSpacesAndSymbols);
    Outputs out;
    EXPECT_EQ(1, RunMatch(set, text, out));
    EXPECT_EQ(std::string("abc\0c", 5), text);
    set->Destroy();
}

}  // namespace
}  // namespace chatsieve::test
