// Allowed expressions end to end: the shipped rules with the three rules that
// catch innocent lines, built with and without an allow table and screened
// by the built program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

namespace fs = std::filesystem;

int RunCli(const std::string& args, const std::string& input, std::string* out) {
    const Result run = Chatsieve(args, input);
    *out = run.out;
    return run.status;
}

// The shipped rules without their allow.tsv, in `folder`, with `allow` as
// allow.tsv when it is not empty.
void WriteRules(const std::string& folder, const std::string& allow) {
    fs::create_directories(folder);
    for (const char* name : {"ignore.tsv", "syllables.tsv", "phrases.tsv", "combos.tsv"})
        fs::copy_file(fs::path(SHIPPED_RULES) / name, fs::path(folder) / name);
    if (!allow.empty()) WriteFileText(fs::path(folder) / "allow.tsv", allow);
}

std::string Build(const std::string& name, const std::string& allow) {
    WriteRules(name, allow);
    fs::create_directories(name + "-root/Data/Scp");
    std::string out;
    EXPECT_EQ(0, RunCli("build " + name + " -o " + name + "-root/Data/Scp/Chatsieve.res", "", &out));
    return ReadFileText(name + "-root/Data/Scp/Chatsieve.res");
}

const char kLines[] = "我刚买好装备了\n我家里有条裙子\n垃圾分类从我做起\n卖号\n有人要外挂吗\n加我进群\n";

// The shipped allow.tsv lets the innocent lines through; without it they are
// caught through homophones.
TEST(ChatsieveAllow, LetsTheInnocentLinesThroughAndStillCatchesTheRest) {
    ScopedTempDir dir;
    Build("plain", "");
    std::string out;
    ASSERT_EQ(0, RunCli("filter --root plain-root", kLines, &out));
    EXPECT_EQ(
        out,
        "40\t我刚****装备了\n20\t我家里有条**子\n10\t****分类从我做起\n40\t****\n60\t有人要****吗\n20\t加我进**\n");
    ASSERT_EQ(0, RunCli("filter", kLines, &out));
    EXPECT_EQ(out,
              "0\t我刚买好装备了\n0\t我家里有条裙子\n0\t垃圾分类从我做起\n40\t****\n60\t有人要****吗\n20\t加我进**\n");
    ASSERT_EQ(0, RunCli("filter --explain", "我刚买好装备了\n", &out));
    EXPECT_EQ(out,
              "0\t我刚买好装备了\n"
              "  allowed: columns 3-6 \"买好装备\" is \"买好装备\" (allow.tsv:5)\n"
              "  without them: level 40, phrase sell-account-short (phrases.tsv:14): 卖号, columns 3-4\n");
}

TEST(ChatsieveAllow, AnEmptyTableBuildsTheSameBytesAndTheSameResults) {
    ScopedTempDir dir;
    const std::string plain = Build("plain", "");
    EXPECT_EQ(plain, Build("empty", "allow\trules\tnote\n# nothing yet\n"));
    // Expressions that never occur in the lines change no level and no mask.
    Build("unused", "allow\trules\tnote\n龘龘\t\t\n");
    const std::string lines = ReadFileText(SAMPLE_LINES) + kLines;
    std::string a, b;
    ASSERT_EQ(0, RunCli("filter --root plain-root", lines, &a));
    ASSERT_EQ(0, RunCli("filter --root unused-root", lines, &b));
    EXPECT_EQ(a, b);
}

TEST(ChatsieveAllow, DecompileGivesTheTableBack) {
    ScopedTempDir dir;
    const std::string table = "allow\trules\tnote\n买好装备\tsell-account-short\tbought gear\n家里\t\t\n";
    const std::string package = Build("allowed", table);
    std::string out;
    ASSERT_EQ(0, RunCli("decompile allowed-root/Data/Scp/Chatsieve.res -o back", "", &out));
    EXPECT_NE(std::string::npos,
              ReadFileText("back/allow.tsv").find("买好装备\tsell-account-short\tbought gear\n家里\t\t\n"));
    ASSERT_EQ(0, RunCli("build back -o again.res", "", &out));
    EXPECT_EQ(package, ReadFileText("again.res"));
}

}  // namespace
}  // namespace chatsieve::test
