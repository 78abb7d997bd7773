// The ignore-sets and the fold table as one pass, against running each
// ignore-set in turn, composing their maps, and folding afterwards: the same
// bytes, map and marks, and the same "nothing left", on random sets, fold
// tables and lines, every short line over a small alphabet included.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../support/RandomRules.h"
#include "../support/RuleFixture.h"
#include "../support/ShortLines.h"
#include "build/CFoldTable.h"
#include "build/CStripFold.h"
#include "matchers/ProcessLists.h"

namespace chatsieve::test {
namespace {

struct Stripped {
    long kept = 0;
    std::string text;
    std::vector<int> map;
    std::vector<unsigned char> marks;
};

// What a check did before the one pass: set by set, then the fold.
Stripped SetBySet(CMatcherList& sets, const CFoldTable& fold, const std::string& line) {
    std::string text = line + '\0';
    std::vector<int> composed;
    bool first = true;
    for (CMatcherList::Node* node = sets.First(); node; node = node->next) {
        int offset = 0, length = 0, level = 0;
        EXPECT_EQ(1, node->matcher->Match(text.data(), 0, &offset, &length, &level));
        if (offset == 1) return {};
        std::vector<int> map(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
        if (!first)
            for (int& at : map) at = composed[static_cast<std::size_t>(at)];
        composed = map;
        first = false;
    }
    Stripped s;
    g_positionMap.Clear();
    for (int at : composed) g_positionMap.PushBack(at);
    if (!fold.Empty()) {
        EXPECT_TRUE(fold.Fold(text.data(), g_positionMap, g_foldMarks));
        s.marks.assign(g_foldMarks.Data(), g_foldMarks.Data() + g_foldMarks.Size());
    }
    s.text = text.c_str();
    s.map.assign(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
    s.kept = static_cast<long>(s.text.size());
    return s;
}

Stripped OnePass(const CStripFold& pass, bool folds, const std::string& line) {
    std::string out(line.size() + 1, '#');
    Stripped s;
    s.kept = pass.Run(line.c_str(), std::strlen(line.c_str()), out.data(), &g_positionMap, g_foldMarks);
    if (s.kept <= 0) return Stripped{s.kept, {}, {}, {}};
    s.text = out.c_str();
    s.map.assign(g_positionMap.Data(), g_positionMap.Data() + g_positionMap.Size());
    if (folds) s.marks.assign(g_foldMarks.Data(), g_foldMarks.Data() + g_foldMarks.Size());
    return s;
}

class StripFoldTest : public RuleTest {
protected:
    void Compare(const std::string& line) {
        const Stripped want = SetBySet(m_sets, m_fold, line);
        const Stripped got = OnePass(m_pass, !m_fold.Empty(), line);
        ASSERT_EQ(want.kept, got.kept) << Hex(line);
        ASSERT_EQ(want.text, got.text) << Hex(line);
        ASSERT_EQ(want.map, got.map) << Hex(line);
        ASSERT_EQ(want.marks, got.marks) << Hex(line);
        m_emptied += got.kept == 0;
        m_folded += got.text.size() < line.size();
    }
    void TearDown() override {
        m_pass.Reset();
        DestroyList(m_sets);
        g_foldMarks.Reset();
        RuleTest::TearDown();
    }
    CMatcherList m_sets;
    CFoldTable m_fold;
    CStripFold m_pass;
    int m_emptied = 0, m_folded = 0;
};

TEST_F(StripFoldTest, AgreesWithTheSetsOneByOneOnRandomSetsAndLines) {
    const std::string alphabet = "a1 .*\xA1\xA3\xB0\xC1\xE1\xFE\x80";
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        for (int sets = 1 + pick(3); sets > 0; --sets) {
            std::vector<int> values;
            for (int r = pick(3); r > 0; --r) {
                const int low = " .*1a"[pick(5)];
                values.insert(values.end(), {low, low + pick(3)});
            }
            values.push_back(-1);
            for (int r = pick(3); r > 0; --r) {
                const int lead = "\xA1\xA3\xB0"[pick(3)] & 0xFF;
                const int low = 0xA1 + pick(0x40);
                values.insert(values.end(), {lead, low, low + pick(0x30)});
            }
            m_sets.PushBack(MakeSkipSet(values));
        }
        m_fold.Reset();
        for (const int lowest : {0xC1, 0xE1})
            if (pick(3)) {
                ASSERT_TRUE(m_fold.Add(0xA3, static_cast<unsigned char>(lowest),
                                       static_cast<unsigned char>(lowest + 25), lowest == 0xC1 ? 'A' : 'a'));
            }
        ASSERT_TRUE(m_pass.Build(m_sets, m_fold));
        for (int i = 0; i < 50; ++i) {
            std::string line;
            for (int n = pick(24); n > 0; --n)
                line += alphabet[static_cast<std::size_t>(pick(static_cast<int>(alphabet.size())))];
            Compare(line);
            if (HasFatalFailure()) return;
        }
        TearDown();
    }
    // Lines the sets empty, and lines the fold shortens, both came up.
    EXPECT_GT(m_emptied, 100);
    EXPECT_GT(m_folded, 1000);
}

TEST_F(StripFoldTest, AgreesWithTheSetsOneByOneOnEveryShortLine) {
    m_sets.PushBack(MakeSkipSet({0x20, 0x20, 0x2A, 0x2A, -1, 0xA1, 0xA1, 0xA1}));
    m_sets.PushBack(MakeSkipSet({0x2E, 0x2E, -1, 0xA3, 0xA1, 0xAF}));
    ASSERT_TRUE(m_fold.Add(0xA3, 0xC1, 0xDA, 'A'));
    ASSERT_TRUE(m_pass.Build(m_sets, m_fold));
    ForEachShortLine({"a", " ", ".", "*", "\xA1\xA1", "\xA3\xC1", "\xA3\xA1", "\xB0\xA1", "\xB0"}, 6,
                     [&](const std::string& line) {
                         Compare(line);
                         return !HasFatalFailure();
                     });
    EXPECT_GT(m_emptied, 0);
}

TEST_F(StripFoldTest, IsNotReadyWithoutMemory) {
    m_sets.PushBack(MakeSkipSet({0x20, 0x20, -1}));
    FailAllocationsAfter(0);
    EXPECT_FALSE(m_pass.Build(m_sets, m_fold));
    FailAllocationsAfter(-1);
    EXPECT_FALSE(m_pass.Ready());
}

}  // namespace
}  // namespace chatsieve::test
