#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "../support/RuleFixture.h"
#include "load/LevelOrder.h"
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

// At answers from its position array; every kind of change must leave it
// answering as a walk would, also when the array cannot be allocated.
TEST(CMatcherList, PositionsFollowEveryChange) {
    CMatcherList list, other;
    std::vector<CMatcher*> model;
    std::mt19937 random(7);
    auto fake = [](std::uintptr_t v) { return reinterpret_cast<CMatcher*>(v * 16); };
    for (int step = 0; step < 2000; ++step) {
        switch (random() % 6) {
            case 0:
            case 1: {
                CMatcher* m = fake(step + 1);
                ASSERT_TRUE(list.PushBack(m));
                model.push_back(m);
                break;
            }
            case 2:
                if (!model.empty()) {
                    list.PopBack();
                    model.pop_back();
                }
                break;
            case 3:
                if (!model.empty()) {
                    list.MoveFirstBefore(other, nullptr);
                    model.erase(model.begin());
                }
                break;
            case 4:
                if (list.First()) {
                    ASSERT_TRUE(list.InsertBefore(list.First()->next, fake(step + 1)));
                    model.insert(model.begin() + 1, fake(step + 1));
                }
                break;
            default:
                FailAllocationsAfter(0);
                break;
        }
        ASSERT_EQ(model.size(), list.Count());
        if (!model.empty()) {
            const std::size_t i = random() % model.size();
            ASSERT_EQ(model[i], list.At(i)) << "step " << step;
        }
        ASSERT_EQ(nullptr, list.At(model.size()));
        ResetAllocationFailures();
    }
}

// A rule of a fixed level, for the ordering alone.
class LevelOnly final : public CMatcher {
public:
    explicit LevelOnly(int level) : m_level(level) {}
    void Destroy() override { delete this; }
    int Match(char*, int, int*, int*, int*) override { return 0; }
    int GetLevel() override { return m_level; }

protected:
    ~LevelOnly() = default;

private:
    int m_level;
};

// Levels above the buckets go first, highest first, ties in their order;
// then the buckets from 63 down; level 0 leaves. Pitted against a stable sort,
// and against the tools' SortInCheckingOrder, which the screener relies on to
// pair the filter's rules with the package's rows, dormant ones included.
TEST(OrderRulesByLevel, MatchesAStableSortForEveryLevel) {
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        std::vector<CMatcher*> rules;
        const int count = 1 + static_cast<int>(random() % 300);
        int highest = 0;
        for (int i = 0; i < count; ++i) {
            const int level = random() % 2 ? static_cast<int>(random() % 64) : 64 + static_cast<int>(random() % 5);
            rules.push_back(new LevelOnly(level));
            if (level > highest) highest = level;
        }
        CMatcherList list, dormant;
        std::vector<CMatcher*> expected;
        for (CMatcher* rule : rules) ASSERT_TRUE(list.PushBack(rule));
        for (int level = highest; level >= 1; --level)
            for (CMatcher* rule : rules)
                if (rule->GetLevel() == level) expected.push_back(rule);
        OrderRulesByLevel(list, highest, dormant);
        std::vector<CMatcher*> got;
        for (CMatcherList::Node* node = list.First(); node; node = node->next) got.push_back(node->matcher);
        EXPECT_EQ(expected, got) << "round " << round;
        std::size_t zeros = 0;
        for (CMatcher* rule : rules) zeros += rule->GetLevel() == 0 ? 1 : 0;
        EXPECT_EQ(zeros, dormant.Count());

        std::vector<CMatcher*> sorted = rules;
        const auto untried =
            SortInCheckingOrder(sorted.begin(), sorted.end(), [](CMatcher* rule) { return rule->GetLevel(); });
        EXPECT_EQ(got, std::vector<CMatcher*>(sorted.begin(), untried)) << "round " << round;
        for (CMatcherList::Node* node = dormant.First(); node; node = node->next) got.push_back(node->matcher);
        EXPECT_EQ(got, sorted) << "round " << round;
        for (CMatcher* rule : rules) rule->Destroy();
    }
}

}  // namespace
}  // namespace chatsieve::test
