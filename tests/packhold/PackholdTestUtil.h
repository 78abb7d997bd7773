// Helpers shared by the package tests: files with names unique to the running
// test (CTest runs tests in parallel), a root object that is released on every
// way out, and resealing a hand-edited package so that only the edit, not the
// checksum or the size, is what the reader sees.
#ifndef CHATSIEVE_TESTS_PACKHOLD_PACKHOLDTESTUTIL_H
#define CHATSIEVE_TESTS_PACKHOLD_PACKHOLDTESTUTIL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Packhold.h"
#include "PackholdWriter.h"
#include "format/PackFormat.h"

namespace packhold_test {

// "<suite>.<test><suffix>", unique to the running test.
inline std::string TestFileName(const std::string& suffix) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + suffix;
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return name;
}

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    ASSERT_EQ(std::fclose(file), 0);
}

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_TRUE(packhold::ReadWholeFile(path, &bytes, &error)) << error;
    return bytes;
}

inline std::vector<unsigned char> Encode(const packhold::Package& package, const std::string& key = "wxyz") {
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_TRUE(packhold::EncodePackage(package, key, &bytes, &error)) << error;
    return bytes;
}

// After an edit: records the new file size, stretches the last table to the
// end of the file and recomputes the checksum.
inline void Reseal(std::vector<unsigned char>* bytes) {
    using namespace packhold::format;
    unsigned char* p = bytes->data();
    StoreU32(p + kOffFileBytes, static_cast<std::uint32_t>(bytes->size()));
    const std::uint32_t tables = LoadU32(p + kOffTableCount);
    if (tables > 0 && kHeaderBytes + tables * kDirectoryEntryBytes <= bytes->size()) {
        unsigned char* last = p + kHeaderBytes + (tables - 1) * kDirectoryEntryBytes;
        StoreU32(last + 4, static_cast<std::uint32_t>(bytes->size() - LoadU32(last)));
    }
    StoreU32(p + kOffChecksum, Crc32(p + kChecksumStart, bytes->size() - kChecksumStart));
}

// A root object from the library, released when the holder goes.
class CRoot {
public:
    CRoot() {
        if (!CreatePackhold(packhold::kInterfaceVersion, 0, &m_root)) m_root = nullptr;
    }
    ~CRoot() {
        if (m_root) m_root->Release();
    }
    CRoot(const CRoot&) = delete;
    CRoot& operator=(const CRoot&) = delete;
    IPackhold* operator->() const { return m_root; }
    IPackhold* Get() const { return m_root; }

private:
    IPackhold* m_root = nullptr;
};

}  // namespace packhold_test

#endif
