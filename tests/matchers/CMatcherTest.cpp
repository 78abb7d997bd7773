#include <gtest/gtest.h>

#include "../support/RuleFixture.h"
#include "matchers/CMatcher.h"

namespace chatsieve::test {
namespace {

TEST(DecodeRuleRef, TruncatesTowardZero) {
    struct Case {
        int value, index, kind;
    };
    for (Case c : {Case{200001, 0, 2}, Case{300012, 11, 3}, Case{200000, -1, 2}, Case{199999, 99998, 1},
                   Case{-200001, -2, -2}, Case{0, -1, 0}}) {
        RefEntry e = DecodeRuleRef(c.value);
        EXPECT_EQ(c.index, e.index) << c.value;
        EXPECT_EQ(c.kind, e.kind) << c.value;
    }
}

class ResolveRefTest : public RuleTest {};

TEST_F(ResolveRefTest, FindsByPositionInTheListOfItsKind) {
    CSkipSet* probe = MakeSkipSet({-1});
    EXPECT_EQ(nullptr, probe->ResolveRef(0, 2));
    AddSyllable("a", {0xB0, 0xA1, 0xA2});
    AddSyllable("b", {0xB0, 0xA1, 0xA2});
    AddSyllable("c", {0xB0, 0xA1, 0xA2});
    EXPECT_EQ(g_syllables.First()->matcher, probe->ResolveRef(0, 2));
    EXPECT_EQ(g_syllables.Last()->matcher, probe->ResolveRef(2, 2));
    EXPECT_EQ(g_syllables.First()->next->matcher, probe->ResolveRef(1, 2));
    EXPECT_EQ(nullptr, probe->ResolveRef(3, 2));
    EXPECT_EQ(nullptr, probe->ResolveRef(-1, 2));
    EXPECT_EQ(nullptr, probe->ResolveRef(0, 3));
    AddPhrase({200001}, 1);
    EXPECT_EQ(g_phrases.First()->matcher, probe->ResolveRef(0, 3));
    for (int kind : {0, 1, 4, -2}) EXPECT_EQ(nullptr, probe->ResolveRef(0, kind));
    probe->Destroy();
}

TEST(CMatcherList, MovesKeepOrderAndNeverAllocate) {
    CMatcherList a, b;
    CMatcher* m[4] = {reinterpret_cast<CMatcher*>(0x10), reinterpret_cast<CMatcher*>(0x20),
                      reinterpret_cast<CMatcher*>(0x30), reinterpret_cast<CMatcher*>(0x40)};
    ASSERT_TRUE(a.PushBack(m[0]) && a.PushBack(m[1]) && b.PushBack(m[2]) && b.PushBack(m[3]));
    FailAllocationsAfter(0);
    a.SpliceBack(b);
    b.PushBack(m[0]);  // fails: no node
    EXPECT_EQ(0u, b.Count());
    a.MoveFirstBefore(b, nullptr);
    ResetAllocationFailures();
    EXPECT_EQ(3u, a.Count());
    EXPECT_EQ(m[1], a.At(0));
    EXPECT_EQ(m[3], a.At(2));
    EXPECT_EQ(m[2], a.At(1));
    EXPECT_EQ(m[0], b.First()->matcher);
    EXPECT_TRUE(a.InsertBefore(a.First()->next, m[0]));
    EXPECT_EQ(m[0], a.At(1));
    a.PopBack();
    EXPECT_EQ(m[2], a.Last()->matcher);
}

}  // namespace
}  // namespace chatsieve::test
