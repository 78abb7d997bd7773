// A rule folder in the authoring format, written into a fresh temporary
// folder: the small base set of data/base with any of its files replaced.
#ifndef CHATSIEVE_TESTS_TOOLS_RULEFOLDER_H
#define CHATSIEVE_TESTS_TOOLS_RULEFOLDER_H

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>

namespace chatsieve::test {

inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFileText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class RuleFolder {
public:
    using Files = std::map<std::string, std::string>;

    RuleFolder() { Create(Files()); }
    // `files`: file name -> contents, replacing the base set's file.
    RuleFolder(std::initializer_list<Files::value_type> files) { Create(Files(files)); }
    explicit RuleFolder(const Files& files) { Create(files); }
    ~RuleFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    RuleFolder(const RuleFolder&) = delete;
    RuleFolder& operator=(const RuleFolder&) = delete;

    std::string Path() const { return m_path.string(); }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    void Create(const Files& files) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        static int s_made = 0;
        std::string name = std::string("chatsieve-rules-") + info->test_suite_name() + "-" + info->name() + "-" +
                           std::to_string(++s_made) + "-" +
                           // Two checkouts may run the same test at once.
                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        for (char& c : name)
            if (c == '/') c = '_';
        m_path = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
        for (const char* file : {"ignore.tsv", "syllables.tsv", "phrases.tsv", "combos.tsv"})
            std::filesystem::copy_file(std::filesystem::path(TOOLS_TEST_DATA) / "base" / file, m_path / file);
        for (const auto& file : files) WriteFileText(m_path / file.first, file.second);
    }

    std::filesystem::path m_path;
};

}  // namespace chatsieve::test

#endif
