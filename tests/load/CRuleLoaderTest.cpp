#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "../support/RuleFixture.h"
#include "../support/RulePackage.h"
#include "fakes/FakePackhold.h"
#include "load/CRuleLoader.h"
#include "run/CAllowList.h"

namespace chatsieve::test {
namespace {

std::string BinFolder() {
    Dl_info info;
    dladdr(reinterpret_cast<void*>(&BinFolder), &info);
    std::string path = info.dli_fname;
    return path.substr(0, path.rfind('/') + 1);
}

class LoaderTest : public RuleTest {
protected:
    void TearDown() override {
        DestroyList(m_skipSets);
        RuleTest::TearDown();
    }
    int Run(const char* library = kPackholdLibrary) {
        m_allow.Reset();
        CRuleLoader loader(m_skipSets, m_logEnabled, m_highestLevel, library);
        loader.ReadAllowListInto(&m_allow);
        return loader.Run();
    }
    CAllowList m_allow;
    CMatcherList m_skipSets;
    int m_logEnabled = -5;
    int m_highestLevel = 0;
};

// What the loader does with the package library on every way out.
class LoaderLifecycleTest : public LoaderTest {
protected:
    void SetUp() override {
        m_fake = dlopen((BinFolder() + "libFakeCounting.so").c_str(), RTLD_NOW);
        ASSERT_NE(nullptr, m_fake);
        m_state = reinterpret_cast<FakePackholdStateFn>(dlsym(m_fake, "FakePackholdState"))();
    }
    void TearDown() override {
        dlclose(m_fake);
        LoaderTest::TearDown();
    }
    int RunScenario(FakeScenario scenario) {
        m_state->scenario = scenario;
        m_state->opens = m_state->closes = m_state->releases = 0;
        return Run("FakeCounting.dll");
    }
    void* m_fake = nullptr;
    FakeState* m_state = nullptr;
};

TEST_F(LoaderLifecycleTest, EveryExitClosesOnceAndReleasesOnce) {
    struct Case {
        FakeScenario scenario;
        int result, closes;
    };
    for (Case c : {Case{kComplete, 1, 1}, Case{kNoFile, 0, 0}, Case{kNoTableSet, 1, 1}, Case{kThreeTables, 0, 1},
                   Case{kMissingPinyin, 0, 1}, Case{kMissingRow, 0, 1}}) {
        EXPECT_EQ(c.result, RunScenario(c.scenario)) << c.scenario;
        EXPECT_EQ(1, m_state->opens) << c.scenario;
        EXPECT_EQ(c.closes, m_state->closes) << c.scenario;
        EXPECT_EQ(1, m_state->releases) << c.scenario;
        DestroyList(m_skipSets);
        DestroyList(g_syllables);
        DestroyList(g_phrases);
    }
    EXPECT_EQ("Data\\Scp\\Chatsieve.res", m_state->lastPath);
    EXPECT_EQ("wxyz", m_state->lastKey);
}

TEST_F(LoaderLifecycleTest, ThreeTablesKeepWhatWasRead) {
    EXPECT_EQ(0, RunScenario(kThreeTables));
    EXPECT_EQ(1u, m_skipSets.Count());
    EXPECT_EQ(2u, g_syllables.Count());
    EXPECT_EQ(1u, g_phrases.Count());
    EXPECT_EQ(4, m_highestLevel);
    EXPECT_EQ(1, m_logEnabled);
}

TEST_F(LoaderLifecycleTest, NoTableSetChangesNothing) {
    EXPECT_EQ(1, RunScenario(kNoTableSet));
    EXPECT_TRUE(m_skipSets.Empty() && g_syllables.Empty());
    EXPECT_EQ(-5, m_logEnabled);
    EXPECT_EQ(0, m_highestLevel);
}

TEST_F(LoaderLifecycleTest, PackageLibraryExceptionPassesWithTheLibraryReleased) {
    EXPECT_ANY_THROW(RunScenario(kThrowsInRowCount));
    EXPECT_EQ(1, m_state->releases);
}

TEST_F(LoaderTest, LibraryIsUnloadedAfterTheRun) {
    Run("FakeCounting.dll");
    void* handle = dlopen((BinFolder() + "libFakeCounting.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(nullptr, handle);
    if (handle) dlclose(handle);
}

// The loader with the real package library, on packages written for the case.
class PackageTest : public LoaderTest {
protected:
    RuleSet Rules() {
        RuleSet rules;
        rules.skipSets = {StandardSkipSet()};
        rules.syllables = StandardSyllables();
        rules.phrases = {{3, {kRefWai, kRefGua}}, {7, {kRefNi}}, {5, {kRefHao}}};
        rules.combos = {{2, {kRefFa, 300001}}, {9, {kRefLun}}};
        return rules;
    }
    int Load(const packhold::Package& package) {
        WriteRulePackage(package);
        return Run();
    }
    ScopedTempDir m_dir;
};

TEST_F(PackageTest, ReadsEveryTableInRowOrder) {
    ASSERT_EQ(1, Load(MakeRulePackage(Rules())));
    EXPECT_EQ(1u, m_skipSets.Count());
    EXPECT_EQ(8u, g_syllables.Count());
    EXPECT_EQ(3u, g_phrases.Count());
    EXPECT_EQ(2u, g_combos.Count());
    EXPECT_EQ(9, m_highestLevel);
    EXPECT_EQ(0, m_logEnabled);
    EXPECT_EQ(7, g_phrases.At(1)->GetLevel());
    // The split form of "gong" came through.
    EXPECT_EQ(1, static_cast<CSyllable*>(g_syllables.At(6))->MatchAt("\xB9\xA4\xC1\xA6", &m_highestLevel));
}

TEST_F(PackageTest, LogSwitchTakesTheLastRowsValue) {
    for (int last : {0, 1}) {
        packhold::Package package = MakeRulePackage(Rules());
        auto& rows = package.tables[kIgnoreTable].rows;
        rows.push_back(rows[0]);
        rows[0][1] = packhold::Cell::Int(1 - last);
        rows[1][1] = packhold::Cell::Int(last);
        ASSERT_EQ(1, Load(package));
        EXPECT_EQ(last, m_logEnabled);
        TearDown();
    }
}

TEST_F(PackageTest, RefusedPackages) {
    struct Case {
        const char* what;
        void (*damage)(packhold::Package&);
    };
    const Case cases[] = {
        {"three tables", [](packhold::Package& p) { p.tables.pop_back(); }},
        {"empty ignore-set table", [](packhold::Package& p) { p.tables[kIgnoreTable].rows.clear(); }},
        {"empty syllable table", [](packhold::Package& p) { p.tables[kSyllableTable].rows.clear(); }},
        {"empty phrase table", [](packhold::Package& p) { p.tables[kPhraseTable].rows.clear(); }},
        {"no pinyin", [](packhold::Package& p) { p.tables[kSyllableTable].rows[2][0] = packhold::Cell(); }},
        {"no code bytes",
         [](packhold::Package& p) { p.tables[kSyllableTable].rows[2][1] = packhold::Cell::Bytes({}); }},
        {"no iscopy", [](packhold::Package& p) { p.tables[kIgnoreTable].rows[0][1] = packhold::Cell(); }},
        {"no level", [](packhold::Package& p) { p.tables[kComboTable].rows[0][0] = packhold::Cell(); }},
        {"no hzlist", [](packhold::Package& p) { p.tables[kPhraseTable].rows[0][1] = packhold::Cell::IntArray({}); }},
        {"combo past the phrases",
         [](packhold::Package& p) { p.tables[kComboTable].rows[0][1] = packhold::Cell::IntArray({300004}); }},
        {"phrase in a phrase",
         [](packhold::Package& p) { p.tables[kPhraseTable].rows[1][1] = packhold::Cell::IntArray({300001}); }},
        {"bad ignore-set",
         [](packhold::Package& p) {
             p.tables[kIgnoreTable].rows[0][0] = packhold::Cell::IntArray({1, 2});
         }},
        {"33 phrase references",
         [](packhold::Package& p) {
             p.tables[kPhraseTable].rows[0][1] = packhold::Cell::IntArray(std::vector<int>(33, kRefWai));
         }},
        {"17 combination references",
         [](packhold::Package& p) {
             p.tables[kComboTable].rows[0][1] = packhold::Cell::IntArray(std::vector<int>(17, kRefWai));
         }},
        {"10 code bytes",
         [](packhold::Package& p) {
             p.tables[kSyllableTable].rows[0][1] = packhold::Cell::Bytes(std::vector<unsigned char>(10, 0xB0));
         }},
    };
    for (const Case& c : cases) {
        packhold::Package package = MakeRulePackage(Rules());
        c.damage(package);
        EXPECT_EQ(0, Load(package)) << c.what;
        TearDown();
    }
}

TEST_F(PackageTest, FormatLimitsAreAccepted) {
    packhold::Package package = MakeRulePackage(Rules());
    package.tables[kPhraseTable].rows[0][1] = packhold::Cell::IntArray(std::vector<int>(32, kRefWai));
    package.tables[kComboTable].rows[0][1] = packhold::Cell::IntArray(std::vector<int>(16, kRefWai));
    package.tables[kSyllableTable].rows[0][1] =
        packhold::Cell::Bytes({0xCD, 0xE2, 0xE2, 0xCD, 0xE1, 0xE1, 0xCD, 0xE0, 0xE0});
    std::vector<int> skip(252, 0x20);  // 126 single-byte ranges, -1, one two-byte range: 256 values
    skip.insert(skip.end(), {-1, 0xA1, 0xA1, 0xFE});
    package.tables[kIgnoreTable].rows[0][0] = packhold::Cell::IntArray(skip);
    EXPECT_EQ(1, Load(package));
}

TEST_F(PackageTest, TableOfCombinationsMayBeEmptyAndLevelZeroKeepsTheHighest) {
    RuleSet rules = Rules();
    rules.combos.clear();
    rules.phrases = {{0, {kRefWai}}};
    ASSERT_EQ(1, Load(MakeRulePackage(rules)));
    EXPECT_EQ(0, m_highestLevel);
}

TEST_F(PackageTest, WrongKeyIsNotOpened) {
    WriteRulePackage(MakeRulePackage(Rules()), "abcd");
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(g_syllables.Empty());
}

RuleSet AllowRules() {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{3, {kRefWai, kRefGua}}};
    rules.combos = {{2, {kRefFa, 300001}}};
    rules.allow = {{"\xCD\xE2\xB9\xD2x", {}}, {"ab", {300001, 400001}}};
    return rules;
}

TEST_F(PackageTest, ReadsAllowedExpressionsWithTheRulesTheyCover) {
    ASSERT_EQ(1, Load(MakeRulePackage(AllowRules())));
    ASSERT_EQ(2u, m_allow.Count());
    EXPECT_STREQ("\xCD\xE2\xB9\xD2x", m_allow.Text(0));
    EXPECT_TRUE(m_allow.CoversAll(0));
    EXPECT_TRUE(m_allow.Covers(1, g_phrases.At(0)));
    EXPECT_TRUE(m_allow.Covers(1, g_combos.At(0)));
    EXPECT_FALSE(m_allow.CoversAll(1));
    m_allow.Reset();
}

TEST_F(PackageTest, AFifthTableOfOtherColumnsIsNotRead) {
    packhold::Package package = MakeRulePackage(AllowRules());
    package.tables[4].columns[0].name = "word";
    EXPECT_EQ(1, Load(package));
    EXPECT_TRUE(m_allow.Empty());
    package.tables[4].rows.clear();
    EXPECT_EQ(1, (TearDown(), Load(package)));
    EXPECT_TRUE(m_allow.Empty());
}

TEST_F(PackageTest, DamagedAllowTablesFailTheLoad) {
    struct Case {
        const char* what;
        void (*damage)(packhold::Package&);
    };
    const Case cases[] = {
        {"row without its text", [](packhold::Package& p) { p.tables[4].rows[1][0] = packhold::Cell(); }},
        {"empty text", [](packhold::Package& p) { p.tables[4].rows[1][0] = packhold::Cell::Text(""); }},
        {"half a character", [](packhold::Package& p) { p.tables[4].rows[1][0] = packhold::Cell::Text("a\xB0"); }},
        {"text over 1024 bytes",
         [](packhold::Package& p) { p.tables[4].rows[1][0] = packhold::Cell::Text(std::string(1025, 'a')); }},
        {"phrase past the table",
         [](packhold::Package& p) { p.tables[4].rows[1][1] = packhold::Cell::IntArray({300002}); }},
        {"combination past the table",
         [](packhold::Package& p) { p.tables[4].rows[1][1] = packhold::Cell::IntArray({400002}); }},
        {"a syllable", [](packhold::Package& p) { p.tables[4].rows[1][1] = packhold::Cell::IntArray({200001}); }},
        {"row 0", [](packhold::Package& p) { p.tables[4].rows[1][1] = packhold::Cell::IntArray({300000}); }},
    };
    for (const Case& c : cases) {
        packhold::Package package = MakeRulePackage(AllowRules());
        c.damage(package);
        EXPECT_EQ(0, Load(package)) << c.what;
        m_allow.Reset();
        TearDown();
    }
}

}  // namespace
}  // namespace chatsieve::test
