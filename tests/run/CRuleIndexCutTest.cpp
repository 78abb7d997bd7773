// Checks of a text with bytes cut out, answered from the trace of the walk of
// the text before: against a whole walk of the cut text, and against trying
// every rule, over chains of cuts on random rule sets and lines. Cut checks
// must find every rule that matches the cut text among their candidates, and
// decide as a whole check does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/RandomRules.h"
#include "../support/TestEffort.h"
#include "../support/TestFilter.h"
#include "matchers/ProcessLists.h"
#include "platform/MbText.h"
#include "run/CRuleIndex.h"

namespace chatsieve::test {
namespace {

// A cut of whole characters out of `text`, and, now and then, a character
// near it written over, as hiding allowed expressions again around a cut
// changes what is hidden.
struct Cut {
    std::string text;
    int at = 0;
    int removed = 0;
};

Cut RandomCut(Differential& random, const std::string& text) {
    std::vector<int> starts;
    for (std::size_t i = 0; i < text.size(); i += static_cast<std::size_t>(CharStep(text.c_str() + i)))
        starts.push_back(static_cast<int>(i));
    starts.push_back(static_cast<int>(text.size()));
    Cut cut;
    if (starts.size() < 2) return cut;
    const int first = random.Pick(static_cast<int>(starts.size()) - 1);
    const int last = first + 1 + random.Pick(std::min(3, static_cast<int>(starts.size()) - 1 - first));
    cut.at = starts[static_cast<std::size_t>(first)];
    cut.removed = starts[static_cast<std::size_t>(last)] - cut.at;
    cut.text =
        text.substr(0, static_cast<std::size_t>(cut.at)) + text.substr(static_cast<std::size_t>(cut.at + cut.removed));
    if (random.Pick(3) == 0 && !cut.text.empty()) {
        // A character within a few bytes of the cut becomes another of the
        // text's characters, or breaks.
        const std::size_t near = static_cast<std::size_t>(std::max(0, cut.at - 8 + random.Pick(16)));
        std::size_t i = 0;
        while (i < cut.text.size() && i + static_cast<std::size_t>(CharStep(cut.text.c_str() + i)) <= near)
            i += static_cast<std::size_t>(CharStep(cut.text.c_str() + i));
        if (i < cut.text.size()) {
            // (A lead byte at the end stands alone.)
            const std::size_t width =
                std::min(static_cast<std::size_t>(CharStep(cut.text.c_str() + i)), cut.text.size() - i);
            std::string with(width, '\x01');
            for (int tries = 0; tries < 8 && random.Pick(3) != 0; ++tries) {
                const std::size_t j = static_cast<std::size_t>(
                    starts[static_cast<std::size_t>(random.Pick(static_cast<int>(starts.size()) - 1))]);
                if (j + width <= text.size() && static_cast<std::size_t>(CharStep(text.c_str() + j)) == width) {
                    with = text.substr(j, width);
                    break;
                }
            }
            cut.text.replace(i, width, with);
        }
    }
    return cut;
}

class RuleIndexCutTest : public RuleTest {
protected:
    void SetUp() override {
        RuleTest::SetUp();
        // No fillers were stripped: the walks read no gaps.
        g_foldMarks.Clear();
    }

    // The first rule, in checking order, that matches `text` under
    // `ceiling`, and every rule that matches it at all.
    static int EveryRule(TestFilter* filter, const std::string& text, int ceiling, int* offset, int* length,
                         std::vector<int>* matching) {
        int decided = 0, ordinal = 0;
        for (const CMatcherList::Node* node = filter->Rules().First(); node; node = node->next, ++ordinal) {
            std::string copy = text;
            int o = 0, l = 0, level = 0;
            if (node->matcher->Match(copy.data(), 0, &o, &l, &level) != 1) continue;
            matching->push_back(ordinal);
            if (decided == 0 && level <= ceiling) {
                decided = level;
                *offset = o;
                *length = l;
            }
        }
        return decided;
    }
};

TEST_F(RuleIndexCutTest, ChainsOfCutsAgreeWithTryingEveryRule) {
    unsigned long cutWalks = 0, checks = 0, matched = 0;
    for (unsigned seed = 1; seed <= Effort(200, 25); ++seed) {
        Differential random(seed, true);
        TestFilter* filter = New<TestFilter>(random.Rules());
        const bool ready = filter->Init() != 0;
        if (!ready || !filter->Index().Automaton().Ready()) {
            if (ready) filter->Uninit();
            Delete(filter);
            TearDown();
            continue;
        }
        CRuleIndex& index = filter->Index();
        index.KeepForCuts(true);
        const unsigned long before = index.CutWalks();
        for (int line = 0; line < 30 && !HasFailure(); ++line) {
            std::string text;
            while (text.empty()) text = random.Line();
            const int ceiling = 1 + random.Pick(8);
            int offset = 0, length = 0, level = 0;
            std::string copy = text;
            ASSERT_TRUE(index.Check(copy.data(), ceiling, &offset, &length, &level));
            for (int step = 0; step < 6; ++step) {
                const Cut cut = RandomCut(random, text);
                if (cut.removed == 0 || cut.text.empty()) break;
                copy = cut.text;
                ASSERT_TRUE(index.CheckCut(copy.data(), cut.at, cut.removed, ceiling, &offset, &length, &level));
                std::vector<int> matching;
                int wantOffset = 0, wantLength = 0;
                const int want = EveryRule(filter, cut.text, ceiling, &wantOffset, &wantLength, &matching);
                const std::string where = Hex(text) + "cut at " + std::to_string(cut.at) + " of " +
                                          std::to_string(cut.removed) + " to " + Hex(cut.text);
                ASSERT_EQ(want, level) << where;
                if (want != 0) {
                    ASSERT_EQ(wantOffset, offset) << where;
                    ASSERT_EQ(wantLength, length) << where;
                }
                // Every rule that matches is a candidate, not only the one
                // that decided.
                const TArray<int>& candidates = index.Candidates();
                for (int rule : matching)
                    ASSERT_NE(candidates.Data() + candidates.Size(),
                              std::find(candidates.Data(), candidates.Data() + candidates.Size(), rule))
                        << "rule " << rule << " " << where;
                ++checks;
                matched += want != 0;
                text = cut.text;
            }
        }
        cutWalks += index.CutWalks() - before;
        index.KeepForCuts(false);
        filter->Uninit();
        Delete(filter);
        TearDown();
        if (HasFailure()) return;
    }
    // The rule sets matched things, and cuts after a check that decided
    // (only those keep their text) were answered from traces.
    EXPECT_GT(matched, checks / 20);
    EXPECT_GT(cutWalks, matched / 2);
}

TEST_F(RuleIndexCutTest, ACutWalkTakesTheStepsOfAWholeWalk) {
    unsigned long compared = 0;
    for (unsigned seed = 1; seed <= Effort(200, 25); ++seed) {
        Differential random(seed, true);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init() && filter->Index().Automaton().Ready()) {
            const CCheckAutomaton& automaton = filter->Index().Automaton();
            CAutomatonWalk& walker = filter->Index().Walker();
            walker.KeepTrace(true);
            for (int line = 0; line < 30 && !HasFailure(); ++line) {
                const bool edges = random.Pick(2) == 0;
                std::string text = random.Line();
                TArray<CAutomatonWalk::ReachingStep> reached;
                const auto bytes = [](const std::string& s) {
                    return reinterpret_cast<const unsigned char*>(s.c_str());
                };
                ASSERT_TRUE(walker.Walk(automaton, bytes(text), text.size(), edges, nullptr, 0, &reached));
                // Several cuts, each walked from the trace the last left.
                for (int step = 1 + random.Pick(4); step > 0; --step) {
                    const Cut cut = RandomCut(random, text);
                    if (cut.removed == 0) break;
                    const std::size_t at = static_cast<std::size_t>(cut.at);
                    std::size_t changedFrom = 0, changedTo = cut.text.size();
                    while (changedFrom < at && cut.text[changedFrom] == text[changedFrom]) ++changedFrom;
                    while (changedTo > at &&
                           cut.text[changedTo - 1] == text[changedTo - 1 + static_cast<std::size_t>(cut.removed)])
                        --changedTo;
                    int from = 0, before = 0;
                    ASSERT_TRUE(walker.WalkCut(automaton, bytes(cut.text), cut.text.size(), edges, nullptr, 0, at,
                                               static_cast<std::size_t>(cut.removed), changedFrom, changedTo, &from,
                                               &before));
                    text = cut.text;
                }
                std::vector<CAutomatonWalk::ReachingStep> replayed(
                    walker.TracedSteps().Data(), walker.TracedSteps().Data() + walker.TracedSteps().Size());
                ASSERT_TRUE(walker.Walk(automaton, bytes(text), text.size(), edges, nullptr, 0, &reached));
                const TArray<CAutomatonWalk::ReachingStep>& whole = walker.TracedSteps();
                ASSERT_EQ(whole.Size(), replayed.size()) << Hex(text);
                for (std::size_t i = 0; i < replayed.size(); ++i) {
                    ASSERT_EQ(whole[i].at, replayed[i].at) << Hex(text) << "step " << i;
                    ASSERT_EQ(std::vector<int>(walker.ReachedBy(whole[i]), walker.ReachedBy(whole[i]) + whole[i].count),
                              std::vector<int>(walker.ReachedBy(replayed[i]),
                                               walker.ReachedBy(replayed[i]) + replayed[i].count))
                        << Hex(text) << "step " << i;
                }
                ++compared;
            }
            walker.KeepTrace(false);
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFailure()) return;
    }
    EXPECT_GT(compared, 100u);
}

}  // namespace
}  // namespace chatsieve::test
