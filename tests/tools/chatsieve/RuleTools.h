// What the rule tools' tests share: the shipped package the command uses by
// default, the shipped rules built with phrases added, and a chat log that
// holds each written form scan tells apart.
#ifndef CHATSIEVE_TESTS_TOOLS_CHATSIEVE_RULETOOLS_H
#define CHATSIEVE_TESTS_TOOLS_CHATSIEVE_RULETOOLS_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RunChatsieve.h"

namespace chatsieve::test {

// The package the command uses without --root or --package.
inline std::string Shipped() {
    return (std::filesystem::path(CHATSIEVE_EXE).parent_path() / "Data" / "Scp" / "Chatsieve.res").string();
}

// The shipped rules with `extra` appended to phrases.tsv, built into `out`.
inline void BuildShipped(const std::string& out, const std::string& extra = "") {
    namespace fs = std::filesystem;
    fs::create_directories("src-" + out);
    for (const char* table : {"ignore.tsv", "syllables.tsv", "phrases.tsv", "combos.tsv"})
        fs::copy_file(fs::path(SHIPPED_RULES) / table, fs::path("src-" + out) / table,
                      fs::copy_options::overwrite_existing);
    WriteFileText("src-" + out + "/phrases.tsv", ReadFileText("src-" + out + "/phrases.tsv") + extra);
    const Result built = Chatsieve("build src-" + out + " -o " + out);
    ASSERT_EQ(built.status, 0) << built.err;
}

inline const char kLog[] =
    "大家好\n"
    "有人要外挂吗\n"
    "有人要外褂吗\n"    // a homophone of 挂
    "swaiguar\n"        // inside a longer word
    "有人要 wai gua\n"  // pinyin across a filler
    "十买金币 便宜\n"   // a split form
    "ok 😀 私服\n"       // a character code page 936 lacks
    "\xFF\xFE 代练\n";  // not UTF-8

}  // namespace chatsieve::test

#endif
