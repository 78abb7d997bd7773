// Small blocks share slabs: what a test sees of them must be what it sees of
// Allocate (every block counted, every block able to fail), and blocks must
// never overlap or outlive the slab that holds them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Memory.h"

namespace chatsieve {
namespace {

class SmallBlockTest : public testing::Test {
protected:
    void TearDown() override { ResetAllocationFailures(); }
};

TEST_F(SmallBlockTest, BlocksAreCountedAndFailLikeAllocations) {
    const unsigned long asked = AllocationCount();
    const long live = LiveAllocationCount();
    void* first = AllocateSmall(24);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(asked + 1, AllocationCount());
    EXPECT_EQ(live + 1, LiveAllocationCount());
    // The slab has room, yet the block fails when a test says so.
    FailAllocationsAfter(0);
    EXPECT_EQ(nullptr, AllocateSmall(24));
    EXPECT_EQ(nullptr, AllocateSmall(100000));
    EXPECT_EQ(asked + 3, AllocationCount());
    ResetAllocationFailures();
    FreeSmall(first);
    FreeSmall(nullptr);
    EXPECT_EQ(live, LiveAllocationCount());
}

// Blocks of many sizes, across several slabs and some larger than a slab
// shares, each filled with its own byte and checked after the others were
// made and some freed: none overlaps another, and each is aligned for a
// pointer.
TEST_F(SmallBlockTest, BlocksNeverOverlapAcrossSlabs) {
    const long live = LiveAllocationCount();
    struct Block {
        unsigned char* bytes;
        std::size_t size;
        unsigned char fill;
    };
    std::vector<Block> blocks;
    for (int i = 0; i < 6000; ++i) {
        const std::size_t size = i % 97 == 0 ? 5000 + static_cast<std::size_t>(i) : static_cast<std::size_t>(i % 61);
        auto* bytes = static_cast<unsigned char*>(AllocateSmall(size));
        ASSERT_NE(nullptr, bytes);
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(bytes) % alignof(void*));
        const auto fill = static_cast<unsigned char>(i);
        std::memset(bytes, fill, size);
        blocks.push_back({bytes, size, fill});
        // Every third block goes back at once, the next made may take its place.
        if (i % 3 == 2) {
            FreeSmall(blocks.back().bytes);
            blocks.pop_back();
        }
    }
    EXPECT_EQ(live + static_cast<long>(blocks.size()), LiveAllocationCount());
    for (const Block& block : blocks)
        for (std::size_t k = 0; k < block.size; ++k) ASSERT_EQ(block.fill, block.bytes[k]);
    // Freed in the order made, then in reverse: slabs emptied early and late.
    for (std::size_t i = 0; i < blocks.size(); i += 2) FreeSmall(blocks[i].bytes);
    for (std::size_t i = blocks.size(); i-- > 0;)
        if (i % 2 == 1) FreeSmall(blocks[i].bytes);
    EXPECT_EQ(live, LiveAllocationCount());
    // A slab emptied of its blocks is given back, and new ones still come.
    void* again = AllocateSmall(8);
    ASSERT_NE(nullptr, again);
    FreeSmall(again);
    EXPECT_EQ(live, LiveAllocationCount());
}

struct Counted {
    explicit Counted(int* count) : m_count(count) { ++*m_count; }
    ~Counted() { --*m_count; }
    int* m_count;
};

TEST_F(SmallBlockTest, NewSmallConstructsAndDeleteSmallDestroys) {
    int count = 0;
    Counted* object = NewSmall<Counted>(&count);
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(1, count);
    DeleteSmall(object);
    EXPECT_EQ(0, count);
    FailAllocationsAfter(0);
    EXPECT_EQ(nullptr, NewSmall<Counted>(&count));
    EXPECT_EQ(0, count);  // nothing constructed in memory not had
}

}  // namespace
}  // namespace chatsieve
