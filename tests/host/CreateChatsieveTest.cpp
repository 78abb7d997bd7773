// The library as a host sees it: loaded by name, reached only through
// CreateChatsieve and the two operations of IChatsieve.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>

#include "../support/RulePackage.h"
#include "Chatsieve.h"

namespace chatsieve::test {
namespace {

using CreateFn = int (*)(IChatsieve**);

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_library = dlopen("libchatsieve.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, m_library) << dlerror();
        m_create = reinterpret_cast<CreateFn>(dlsym(m_library, "CreateChatsieve"));
        ASSERT_NE(nullptr, m_create);
    }
    void TearDown() override {
        if (m_library) dlclose(m_library);
    }
    RuleSet Rules() {
        RuleSet rules;
        rules.skipSets = {StandardSkipSet()};
        rules.syllables = StandardSyllables();
        rules.phrases = {{5, {kRefWai, kRefGua}}, {0, {kRefNi, kRefHao}}};
        rules.combos = {{3, {300002, kRefFa}}};
        rules.logEnabled = 1;
        return rules;
    }
    void* m_library = nullptr;
    CreateFn m_create = nullptr;
    ScopedTempDir m_dir;
};

TEST_F(HostTest, WithoutAPackageNothingIsCreated) {
    IChatsieve* filter = reinterpret_cast<IChatsieve*>(0x1234);
    EXPECT_EQ(0, m_create(&filter));
    EXPECT_EQ(reinterpret_cast<IChatsieve*>(0x1234), filter);
    EXPECT_EQ(0, m_create(nullptr));
}

TEST_F(HostTest, ScreensLinesWithAPackagedRuleSet) {
    WriteRulePackage(MakeRulePackage(Rules()));
    for (int round = 0; round < 2; ++round) {  // a fresh filter after Uninit behaves the same
        IChatsieve* filter = nullptr;
        ASSERT_EQ(1, m_create(&filter));
        ASSERT_NE(nullptr, filter);
        char out[64];
        EXPECT_EQ(5, filter->FilterText("sell WAI-gua!", out, sizeof out - 1, 1));
        EXPECT_STREQ("sell ***-***!", out);
        // The level-0 phrase counts only as a part of the combination rule.
        EXPECT_EQ(0, filter->FilterText("\xC4\xE3\xBA\xC3", out, sizeof out - 1, 1));
        EXPECT_EQ(3, filter->FilterText("fa ni hao", out, sizeof out - 1, 1));
        EXPECT_STREQ("** ni hao", out);  // parts of equal level: the last referred to is reported
        filter->Uninit();
        EXPECT_EQ(0, filter->FilterText("waigua", out, sizeof out - 1, 1));
    }
    std::ifstream log("PlayerWords.txt", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(0u, all.find("sell WAI-gua!\n\xC4\xE3\xBA\xC3\nfa ni hao\n"));
}

}  // namespace
}  // namespace chatsieve::test
