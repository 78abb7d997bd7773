// Lines no player should type, but some will: each gets its documented answer
// and nothing is read or written outside the buffers.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "../support/TestFilter.h"

namespace chatsieve::test {
namespace {

class HostileInputTest : public FilterTestBase {
protected:
    void SetUp() override {
        RuleSet rules;
        rules.skipSets = {StandardSkipSet()};
        rules.syllables = StandardSyllables();
        rules.phrases = {{5, {kRefWai, kRefGua}}, {63, {kRefFa}}};
        Create(rules);
    }
    int Filter(const std::string& line, std::string* out, unsigned outSize, int minLevel = 1) {
        const std::size_t n = std::min<std::size_t>(outSize, line.size() + 1);
        out->assign(n + 2, '#');
        const int level = m_filter->FilterText(line.c_str(), out->data(), outSize, minLevel);
        EXPECT_EQ('#', (*out)[n + 1]) << "written past the output buffer";
        out->resize(std::string(out->c_str()).size());
        return level;
    }
};

TEST_F(HostileInputTest, OneMebibyteLine) {
    std::string line(1 << 20, 'x');
    line.replace(line.size() - 6, 6, "waigua");
    std::string out;
    EXPECT_EQ(5, Filter(line, &out, UINT_MAX));
    EXPECT_EQ(std::string(line.size() - 6, 'x') + "******", out);
}

TEST_F(HostileInputTest, NothingButLeadBytes) {
    for (std::size_t length : {1u, 2u, 3u, 1001u}) {
        const std::string line(length, '\xB7');
        std::string out;
        EXPECT_EQ(0, Filter(line, &out, UINT_MAX)) << length;
        // Pairs of lead bytes are two-byte characters; a last odd one is dropped.
        EXPECT_EQ(std::string(length & ~std::size_t{1}, '\xB7'), out) << length;
    }
}

TEST_F(HostileInputTest, LoneLeadByteBeforeTheTerminator) {
    std::string out;
    EXPECT_EQ(5, Filter("waigua\xB7", &out, UINT_MAX));
    EXPECT_EQ("******", out);
}

TEST_F(HostileInputTest, MoreThanAThousandMatchesKeepTheRestUnmasked) {
    std::string line;
    for (int i = 0; i < 1200; ++i) line += "waigua ";
    std::string out;
    EXPECT_EQ(5, Filter(line, &out, UINT_MAX));
    std::string expected;
    for (int i = 0; i < 1200; ++i) expected += i < 1000 ? "****** " : "waigua ";
    EXPECT_EQ(expected, out);
}

TEST_F(HostileInputTest, ExtremeLevelsAndSizes) {
    std::string out;
    EXPECT_EQ(63, Filter("fa waigua", &out, UINT_MAX, INT_MAX));
    EXPECT_EQ("fa waigua", out);  // nothing reaches that level
    EXPECT_EQ(0, Filter("fa waigua", &out, UINT_MAX, INT_MIN));
    EXPECT_EQ(63, Filter("fa waigua", &out, 0));
    EXPECT_EQ("", out);
    EXPECT_EQ(63, Filter("fa waigua", &out, UINT_MAX - 1));
    EXPECT_EQ("** ******", out);
}

TEST_F(HostileInputTest, NegativeMinLevelStillCopiesTheLine) {
    std::string out;
    EXPECT_EQ(0, Filter("fa waigua", &out, UINT_MAX, -1));
    EXPECT_EQ("fa waigua", out);  // terminated, unmasked
    EXPECT_EQ(0, Filter("fa waigua", &out, 4, INT_MIN));
    EXPECT_EQ("fa w", out);
}

}  // namespace
}  // namespace chatsieve::test
