#ifndef CHATSIEVE_TESTS_TEMPDIR_H
#define CHATSIEVE_TESTS_TEMPDIR_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace chatsieve::test {

// Changes the working directory to a new empty folder for the object's life.
class ScopedTempDir {
public:
    ScopedTempDir() : m_old(std::filesystem::current_path()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // The process id keeps two builds' runs of one test apart.
        m_dir = std::filesystem::temp_directory_path() / ("chatsieve-" + std::string(info->test_suite_name()) + "-" +
                                                          info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        std::filesystem::current_path(m_dir);
    }
    ~ScopedTempDir() {
        std::filesystem::current_path(m_old);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::filesystem::path& Path() const { return m_dir; }

private:
    std::filesystem::path m_old;
    std::filesystem::path m_dir;
};

}  // namespace chatsieve::test

#endif
