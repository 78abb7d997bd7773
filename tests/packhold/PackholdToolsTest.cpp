// packhold-pack and packhold-dump as a user runs them: exit codes, messages,
// no output on error, pack -> dump -> pack giving the same bytes; and the
// package that packhold_pack() made during the build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Packhold.h"
#include "PackholdTestUtil.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode;
    std::string output;  // standard output and standard error together
};

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

RunResult Run(const std::string& tool, const std::string& arguments) {
    const std::string log = packhold_test::TestFileName(".log");
    std::string command = Quote(tool) + " " + arguments + " > " + Quote(log) + " 2>&1";
#if defined(_WIN32)
    // cmd.exe drops the first and last quote of a command line that starts
    // with one; an extra pair keeps the tool's own quotes.
    command = Quote(command);
#endif
    const int status = std::system(command.c_str());
    std::ifstream in(log, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    fs::remove(log);
#if defined(_WIN32)
    return RunResult{status, text.str()};
#else
    return RunResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
#endif
}

RunResult Pack(const std::string& arguments) { return Run(PACKHOLD_PACK_EXE, arguments); }
RunResult Dump(const std::string& arguments) { return Run(PACKHOLD_DUMP_EXE, arguments); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class PackholdTools : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string In(const std::string& name) const { return (fs::path(m_dir) / name).string(); }

    std::string m_dir = packhold_test::TestFileName(".dir");
};

TEST_F(PackholdTools, PackDumpPackGivesTheSameBytes) {
    const std::string sample = PACKHOLD_TEST_DATA "/sample/";
    const std::string tables = Quote(sample + "0-skip.tsv") + " " + Quote(sample + "1-syllables.tsv") + " " +
                               Quote(sample + "2-phrases.tsv") + " " + Quote(sample + "3-combos.tsv");
    WriteText(In("odd.tsv"), "s:str\tb:bytes\n\"\"\t\n\\x01\\t\\\\\t\"\"\n");
    for (const std::string& key : {std::string(), std::string(" --key s3cret")}) {
        SCOPED_TRACE(key);
        fs::remove_all(In("dump"));
        RunResult result = Pack("-o " + Quote(In("first.res")) + key + " " + tables + " " + Quote(In("odd.tsv")));
        ASSERT_EQ(result.exitCode, 0) << result.output;
        result = Dump(Quote(In("first.res")) + key + " -o " + Quote(In("dump")));
        ASSERT_EQ(result.exitCode, 0) << result.output;
        ASSERT_TRUE(fs::exists(In("dump/4.tsv")));
        EXPECT_FALSE(fs::exists(In("dump/5.tsv")));
        std::string dumped;
        for (int t = 0; t < 5; ++t) dumped += " " + Quote(In("dump/" + std::to_string(t) + ".tsv"));
        result = Pack("-o " + Quote(In("second.res")) + key + dumped);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(packhold_test::ReadBytes(In("first.res")), packhold_test::ReadBytes(In("second.res")));
    }

    // Without a table set, and with the key given as --key=KEY.
    RunResult result = Pack("--no-table-set --key=abc -o " + Quote(In("none.res")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    result = Dump(Quote(In("none.res")) + " --key abc");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "# no table set\n");
}

TEST_F(PackholdTools, BadInputNamesThePlaceAndWritesNothing) {
    WriteText(In("good.tsv"), "a:int\n1\n");
    WriteText(In("bad.tsv"), "a:int\tb:str\n1\tok\n2\tx\\qy\n");
    WriteText(In("worse.tsv"), "a:nope\n");
    WriteText(In("out.res"), "previous");

    const RunResult result = Pack("-o " + Quote(In("out.res")) + " " + Quote(In("good.tsv")) + " " +
                                  Quote(In("bad.tsv")) + " " + Quote(In("worse.tsv")) + " " + Quote(In("none.tsv")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find(In("bad.tsv") + ":3:4: unknown escape \\q"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(In("worse.tsv") + ":1:3: unknown type 'nope'"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(In("none.tsv") + ": cannot open"), std::string::npos) << result.output;
    EXPECT_EQ(packhold_test::ReadBytes(In("out.res")),
              std::vector<unsigned char>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    EXPECT_FALSE(fs::exists(In("out.res.tmp")));

    const RunResult fresh = Pack("-o " + Quote(In("fresh.res")) + " " + Quote(In("bad.tsv")));
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_FALSE(fs::exists(In("fresh.res")));
}

TEST_F(PackholdTools, DumpRefusesWhatTheLibraryRefuses) {
    WriteText(In("t.tsv"), "a:int\n1\n");
    ASSERT_EQ(Pack("-o " + Quote(In("p.res")) + " " + Quote(In("t.tsv"))).exitCode, 0);
    RunResult result = Dump(Quote(In("p.res")) + " --key other");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("another key"), std::string::npos) << result.output;

    std::vector<unsigned char> bytes = packhold_test::ReadBytes(In("p.res"));
    bytes[bytes.size() - 1] ^= 1;
    packhold_test::WriteBytes(In("p.res"), bytes);
    result = Dump(Quote(In("p.res")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("damaged"), std::string::npos) << result.output;

    EXPECT_EQ(Dump(Quote(In("missing.res"))).exitCode, 1);

    // An output folder that already holds files is not mixed with a new dump.
    WriteText(In("t2.tsv"), "a:int\n1\n");
    ASSERT_EQ(Pack("-o " + Quote(In("q.res")) + " " + Quote(In("t.tsv"))).exitCode, 0);
    EXPECT_EQ(Dump(Quote(In("q.res")) + " -o " + Quote(m_dir)).exitCode, 1);
}

TEST_F(PackholdTools, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Pack("").exitCode, 2);
    EXPECT_EQ(Pack("-o").exitCode, 2);
    EXPECT_EQ(Pack("-o x.res --bogus").exitCode, 2);
    EXPECT_EQ(Pack("-o x.res --no-table-set t.tsv").exitCode, 2);
    EXPECT_EQ(Dump("").exitCode, 2);
    EXPECT_EQ(Dump("a.res b.res").exitCode, 2);
    EXPECT_EQ(Dump("a.res --key").exitCode, 2);
    EXPECT_FALSE(fs::exists("x.res"));

    const RunResult help = Pack("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Exit status"), std::string::npos);
    EXPECT_EQ(Dump("-h").exitCode, 0);
}

TEST(PackholdBuildPacking, PackageMadeDuringTheBuildOpensWithTheFiltersPath) {
    // packhold_pack() in this folder's CMakeLists.txt wrote it, and the
    // working directory is that folder's build folder.
    packhold_test::CRoot root;
    ASSERT_NE(root.Get(), nullptr);
    IPackholdFile* file = root->OpenFile("Data\\Scp\\Chatsieve.res", 0, "wxyz");
    ASSERT_NE(file, nullptr);
    IPackholdTableSet* set = file->GetTableSet();
    ASSERT_NE(set, nullptr);
    ASSERT_NE(set->GetTable(3), nullptr);
    EXPECT_EQ(set->GetTable(4), nullptr);
    EXPECT_EQ(set->GetTable(3)->GetRowCount(), 0);
    IPackholdRow* syllable = set->GetTable(1)->GetRow(1);
    ASSERT_NE(syllable, nullptr);
    EXPECT_STREQ(syllable->GetString("pinyin"), "hao");
    EXPECT_STREQ(syllable->GetString("divide"), "\xC5\xAE\xD7\xD3");
    unsigned char code[packhold::kMaxCellBytes];
    ASSERT_EQ(syllable->GetBytes("code", code, 0), 2);
    EXPECT_EQ(code[0], 0xBA);
    EXPECT_EQ(set->GetTable(1)->GetRow(0)->GetString("divide"), nullptr);
    file->Close();
}

}  // namespace
