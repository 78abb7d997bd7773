// Every allocation the filter makes, made to fail in turn. Creation answers 0
// or makes a working filter; a FilterText call whose check cannot run fails
// closed: never a level below the line's own, never a byte shown that
// masking with memory to spare hides. Nothing allocated stays allocated and
// the next creation works.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "../support/RuleFixture.h"
#include "../support/RulePackage.h"
#include "Chatsieve.h"
#include "compiler/CCodePage936.h"
#include "compiler/CRuleCompiler.h"
#include "host/CChatsieve.h"

namespace chatsieve::test {
namespace {

struct Answer {
    int level = 0;
    std::string out;
};

// With memory to spare, `got` would have been `want`: the level may only be
// higher, and every '*' of `want` must be there.
void ExpectNoWorse(const Answer& want, const Answer& got, const std::string& what) {
    EXPECT_GE(got.level, want.level) << what;
    ASSERT_EQ(want.out.size(), got.out.size()) << what;
    for (std::size_t i = 0; i < want.out.size(); ++i) {
        if (want.out[i] == '*') {
            ASSERT_EQ('*', got.out[i]) << what << ", byte " << i;
        }
    }
}

Answer Filter(IChatsieve* filter, const std::string& line, int minLevel = 1) {
    std::vector<char> out(line.size() + 2, '#');
    Answer answer;
    answer.level = filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size() + 1), minLevel);
    answer.out = out.data();
    return answer;
}

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
    // failed.
    bool Cycle(const std::vector<std::string>& lines, const std::vector<Answer>& want) {
        IChatsieve* filter = reinterpret_cast<IChatsieve*>(0x5);
        if (!CreateChatsieve(&filter)) {
            EXPECT_EQ(reinterpret_cast<IChatsieve*>(0x5), filter);
            return false;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Answer got = Filter(filter, lines[i]);
            ExpectNoWorse(want[i], got, lines[i]);
            // Failing closed, the line is the worst the rules hold, all of it hidden.
            if (got.level != want[i].level) {
                EXPECT_EQ(std::string(lines[i].size(), '*'), got.out) << lines[i];
            }
        }
        filter->Uninit();
        return true;
    }

    ScopedTempDir m_dir;
};

TEST_F(AllocationFailureTest, EveryAllocationOfACycleMayFail) {
    const std::vector<std::string> lines = {"buy wai.gua now", "fa ni hao", "clean line",
                                            // past the buffers taken at creation
                                            std::string(2 * kReservedLineBytes, 'x') + " wai gua"};
    const std::vector<Answer> want = {{5, "buy ***.*** now"},
                                      {3, "** ni hao"},
                                      {0, "clean line"},
                                      {5, lines[3].substr(0, lines[3].size() - 7) + "*** ***"}};
    const unsigned long before = AllocationCount();
    ASSERT_TRUE(Cycle(lines, want));
    const unsigned long perCycle = AllocationCount() - before;
    ASSERT_GT(perCycle, 20u);
    RecordProperty("allocations_per_cycle", static_cast<int>(perCycle));
    int failedCreations = 0;

    for (unsigned long n = 0; n <= perCycle; ++n) {
        const long live = LiveAllocationCount();
        FailAllocationsAfter(static_cast<long>(n));
        const bool created = Cycle(lines, want);
        failedCreations += !created;
        ResetAllocationFailures();
        // Only the filter object itself outlives Uninit.
        EXPECT_EQ(live + (created ? 1 : 0), LiveAllocationCount()) << "failing allocation " << n;
        EXPECT_TRUE(g_syllables.Empty() && g_phrases.Empty() && g_combos.Empty()) << n;
    }
    // Creation needs its first allocations; the later ones hit the checks.
    EXPECT_GT(failedCreations, 10);
    EXPECT_LT(failedCreations, static_cast<int>(perCycle));
    ASSERT_TRUE(Cycle(lines, want));
}

// ---- the packages the rule compiler makes

struct PackageKind {
    const char* name;
    // Files of the rule folder, UTF-8; the shipped tables fill in the rest.
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> lines;  // UTF-8
};

void PrintTo(const PackageKind& kind, std::ostream* out) { *out << kind.name; }

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shipped ignore-sets with the log switched on, so that the log's
// copies fail too.
std::string IgnoreWithLog() {
    std::string text = ReadText(SHIPPED_RULES "/ignore.tsv");
    const std::size_t off = text.find("log\toff");
    EXPECT_NE(std::string::npos, off);
    return text.replace(off, 7, "log\ton");
}

const std::string kLong(2 * kReservedLineBytes, 'a');

std::vector<PackageKind> Kinds() {
    std::vector<PackageKind> kinds;
    // The shipped rules, with their allowed expressions; no fold table.
    std::vector<std::pair<std::string, std::string>> shipped;
    for (const char* name : {"syllables.tsv", "phrases.tsv", "combos.tsv", "allow.tsv"})
        shipped.emplace_back(name, ReadText(std::string(SHIPPED_RULES "/") + name));
    shipped.emplace_back("ignore.tsv", IgnoreWithLog());
    kinds.push_back({"shipped",
                     shipped,
                     {"外挂", "买好装备 外 挂 私服", "wai gua 加我微信", "今天天气不错",
                      kLong + "外挂" + kLong + "私服", "加 群 " + kLong}});
    // A word list in the written mode: the package folds full-width letters.
    kinds.push_back(
        {"written",
         {{"ignore.tsv", IgnoreWithLog()},
          {"lists.tsv", ReadText(SHIPPED_RULES "/lists-sample/written/lists.tsv")},
          {"sample.txt", ReadText(SHIPPED_RULES "/lists-sample/written/sample.txt")}},
         {"严重违纪", "严 重 违 纪 和 ｓｈｉ ｐｉｎ 视频表演", "今天天气不错", kLong + "北京夜生活" + kLong}});
    // Written phrases with allowed expressions, one limited to a rule.
    kinds.push_back(
        {"written-allowed",
         {{"ignore.tsv", IgnoreWithLog()},
          {"phrases.tsv",
           "id\tlevel\tphrase\ttags\tmatch\n"
           "cheat\t6\t外挂\t\twritten\n"
           "sell\t4\t卖号\t\twritten\n"
           "group\t3\tQQ群\t\twritten\n"},
          {"allow.tsv",
           "allow\trules\tnote\n"
           "外挂钩\t\t\n"
           "卖号码\tsell\t\n"}},
         {"外挂 卖号", "外挂钩 卖号码 外挂", "ＱＱ群 外 挂", "今天天气不错", kLong + "卖号码卖号" + kLong}});
    return kinds;
}

class PackageAllocationFailure : public testing::TestWithParam<PackageKind> {
protected:
    void SetUp() override {
        const PackageKind& kind = GetParam();
        const std::string folder = (m_dir.Path() / "rules").string();
        std::filesystem::create_directories(folder);
        for (const auto& file : kind.files) std::ofstream(folder + "/" + file.first, std::ios::binary) << file.second;
        std::vector<tools::Diagnostic> diagnostics;
        std::filesystem::create_directories("Data/Scp");
        const bool built = tools::CRuleCompiler().Build(folder, "Data/Scp/Chatsieve.res", &diagnostics);
        for (const tools::Diagnostic& d : diagnostics)
            if (d.severity == tools::Diagnostic::Severity::kError) ADD_FAILURE() << d.Format();
        ASSERT_TRUE(built);
        for (const std::string& utf8 : kind.lines) {
            std::string line;
            tools::TextError error;
            ASSERT_TRUE(tools::CCodePage936::Instance().FromUtf8(utf8, &line, &error)) << utf8;
            m_lines.push_back(line);
        }
    }
    void TearDown() override { ResetAllocationFailures(); }

    IChatsieve* Create() {
        IChatsieve* filter = nullptr;
        EXPECT_EQ(1, CreateChatsieve(&filter));
        return filter;
    }

    ScopedTempDir m_dir;
    std::vector<std::string> m_lines;
};

TEST_P(PackageAllocationFailure, EveryFailurePointOfFilterTextFailsClosed) {
    // With memory to spare, from a fresh filter.
    IChatsieve* filter = Create();
    ASSERT_NE(nullptr, filter);
    std::vector<Answer> want;
    const unsigned long before = AllocationCount();
    for (const std::string& line : m_lines) want.push_back(Filter(filter, line));
    const unsigned long points = AllocationCount() - before;
    filter->Uninit();
    int found = 0;
    for (const Answer& answer : want) found += answer.level > 0;
    ASSERT_GE(found, 3) << "the lines must hold expressions to be of use";

    int failedClosed = 0;
    for (unsigned long n = 0; n < points; ++n) {
        filter = Create();
        ASSERT_NE(nullptr, filter);
        FailAllocationsAfter(static_cast<long>(n));
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            const Answer got = Filter(filter, m_lines[i]);
            ExpectNoWorse(want[i], got, GetParam().lines[i] + ", failing allocation " + std::to_string(n));
            failedClosed += got.level > want[i].level || got.out != want[i].out;
        }
        ResetAllocationFailures();
        filter->Uninit();
    }
    RecordProperty("failure_points", static_cast<int>(points));
    // The long lines need more than the buffers taken at creation.
    EXPECT_GT(failedClosed, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PackageAllocationFailure, testing::ValuesIn(Kinds()),
                         [](const testing::TestParamInfo<PackageKind>& param) {
                             std::string name = param.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
}  // namespace chatsieve::test
