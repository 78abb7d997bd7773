// Every allocation the filter makes, made to fail in turn: creation, checks,
// masking, the log and shutdown each answer 0 or their correct answer, leave
// nothing allocated behind and let the next creation work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/RuleFixture.h"
#include "../support/RulePackage.h"
#include "Chatsieve.h"

namespace chatsieve::test {
namespace {

struct Line {
    std::string text;
    int level;
    std::string masked;
};

class AllocationFailureTest : public RuleTest {
protected:
    void SetUp() override {
        RuleSet rules;
        rules.skipSets = {StandardSkipSet(), {0x2E, 0x2E, -1}};
        rules.syllables = StandardSyllables();
        rules.phrases = {{5, {kRefWai, kRefGua}}, {0, {kRefNi, kRefHao}}};
        rules.combos = {{3, {300002, kRefFa}}};
        rules.logEnabled = 1;
        WriteRulePackage(MakeRulePackage(rules));
    }

    // Creates, screens the lines, shuts down. Returns false when creation
    // failed; every answer must be right or 0.
    bool Cycle(const std::vector<Line>& lines) {
        IChatsieve* filter = reinterpret_cast<IChatsieve*>(0x5);
        if (!CreateChatsieve(&filter)) {
            EXPECT_EQ(reinterpret_cast<IChatsieve*>(0x5), filter);
            return false;
        }
        for (const Line& line : lines) {
            char out[64];
            const int level = filter->FilterText(line.text.c_str(), out, sizeof out - 1, 1);
            EXPECT_TRUE(level == line.level || level == 0) << line.text;
            if (level == line.level) {
                // Masking may stop early when memory runs out, never go wrong.
                for (std::size_t i = 0; i < line.text.size(); ++i)
                    EXPECT_TRUE(out[i] == line.text[i] || out[i] == line.masked[i]) << line.text;
            }
        }
        filter->Uninit();
        return true;
    }

    ScopedTempDir m_dir;
};

TEST_F(AllocationFailureTest, EveryAllocationMayFail) {
    const std::vector<Line> lines = {
        {"buy wai.gua now", 5, "buy ***.*** now"},
        {"fa ni hao", 3, "** ni hao"},
        {"clean line", 0, "clean line"},
    };
    const unsigned long before = AllocationCount();
    ASSERT_TRUE(Cycle(lines));
    const unsigned long perCycle = AllocationCount() - before;
    ASSERT_GT(perCycle, 20u);
    RecordProperty("allocations_per_cycle", static_cast<int>(perCycle));
    int failedCreations = 0;

    for (unsigned long n = 0; n <= perCycle; ++n) {
        const long live = LiveAllocationCount();
        FailAllocationsAfter(static_cast<long>(n));
        const bool created = Cycle(lines);
        failedCreations += !created;
        ResetAllocationFailures();
        // Only the filter object itself outlives Uninit.
        EXPECT_EQ(live + (created ? 1 : 0), LiveAllocationCount()) << "failing allocation " << n;
        EXPECT_TRUE(g_syllables.Empty() && g_phrases.Empty() && g_combos.Empty()) << n;
    }
    // Creation needs its first allocations; the later ones hit the checks.
    EXPECT_GT(failedCreations, 10);
    EXPECT_LT(failedCreations, static_cast<int>(perCycle));
    ASSERT_TRUE(Cycle(lines));
}

}  // namespace
}  // namespace chatsieve::test
