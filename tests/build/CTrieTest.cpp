// The trie under the rule index, the check automaton and the allowed
// expressions: every path added is found again by Child, through the root's
// table and the edge table alike, while building, across the edge table's
// growth and after Freeze; the child lists reach every node once, breadth
// first; a trie kept within the nodes it was started for allocates no more;
// and a failed allocation leaves the trie as it was.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "build/CTrie.h"
#include "platform/Memory.h"

namespace chatsieve::test {
namespace {

using Edges = std::map<std::pair<int, unsigned>, int>;  // (parent, label) -> child

// Adds `path` from the root, recording each edge in `edges`; the node it ends
// at, or -1 when an Add failed.
int AddPath(CTrie& trie, const std::vector<unsigned>& path, Edges* edges) {
    int node = 0;
    for (unsigned label : path) {
        const int child = trie.Add(node, label);
        if (child < 0) return -1;
        if (edges) edges->emplace(std::make_pair(node, label), child);
        node = child;
    }
    return node;
}

void ExpectFound(const CTrie& trie, const Edges& edges) {
    for (const auto& edge : edges)
        EXPECT_EQ(edge.second, trie.Child(edge.first.first, edge.first.second))
            << "node " << edge.first.first << " label " << edge.first.second;
}

TEST(CTrie, SharedPrefixesShareNodesAndNumbersFollowInOrder) {
    CTrie trie;
    ASSERT_TRUE(trie.Start(256));
    EXPECT_EQ(1u, trie.Size());
    const int abc = AddPath(trie, {'a', 'b', 'c'}, nullptr);
    EXPECT_EQ(3, abc);
    // `ab` is there already; `abd` takes one node more, `abc` none.
    EXPECT_EQ(4, AddPath(trie, {'a', 'b', 'd'}, nullptr));
    EXPECT_EQ(abc, AddPath(trie, {'a', 'b', 'c'}, nullptr));
    EXPECT_EQ(2, AddPath(trie, {'a', 'b'}, nullptr));
    EXPECT_EQ(5u, trie.Size());
    // One label under two parents names two edges.
    const int ba = AddPath(trie, {'b', 'a'}, nullptr);
    EXPECT_EQ(5, trie.Child(0, 'b'));
    EXPECT_EQ(6, ba);
    EXPECT_EQ(ba, trie.Child(5, 'a'));
    EXPECT_EQ(1, trie.Child(0, 'a'));
    EXPECT_EQ(-1, trie.Child(1, 'a'));
    EXPECT_EQ(-1, trie.Child(abc, 'c'));
}

TEST(CTrie, TheRootsLabelsOnBothSidesOfItsWidth) {
    // Below the width the root finds a child by label; at and above it, and
    // under every other node, through the edge table. Each must miss what
    // the other holds.
    CTrie trie;
    ASSERT_TRUE(trie.Start(4));
    Edges edges;
    for (unsigned label : {0u, 3u, 4u, 5u, 255u, 65535u, 65536u, 0xFFFFFFFFu})
        ASSERT_GE(AddPath(trie, {label, label}, &edges), 0) << label;
    ExpectFound(trie, edges);
    EXPECT_EQ(edges.at({0, 3u}), trie.RootChild(3));
    EXPECT_EQ(-1, trie.RootChild(1));
    for (unsigned label : {1u, 2u, 6u, 256u, 65537u}) EXPECT_EQ(-1, trie.Child(0, label)) << label;
    // A first node's edges are keyed by node 1, not by the root.
    EXPECT_EQ(-1, trie.Child(1, 3));

    // With no table by label every root edge goes through the edge table.
    CTrie bare;
    ASSERT_TRUE(bare.Start(0));
    Edges bareEdges;
    ASSERT_GE(AddPath(bare, {0, 1, 2}, &bareEdges), 0);
    ASSERT_GE(AddPath(bare, {1, 0}, &bareEdges), 0);
    ExpectFound(bare, bareEdges);
    EXPECT_EQ(-1, bare.Child(0, 2));
}

TEST(CTrie, EveryPathIsFoundAcrossGrowthAndAfterFreeze) {
    // Random paths over a few labels (long shared prefixes) and over many
    // (wide nodes), from a table sized for none: it grows many times. A trie
    // keeping no child lists finds the same.
    std::mt19937 random(7);
    for (CTrie::Lists lists : {CTrie::Lists::kKept, CTrie::Lists::kNone}) {
        for (unsigned alphabet : {3u, 300u, 70000u}) {
            CTrie trie;
            ASSERT_TRUE(trie.Start(256, 0, lists));
            Edges edges;
            for (int p = 0; p < 2000; ++p) {
                std::vector<unsigned> path(1 + random() % 6);
                for (unsigned& label : path) label = static_cast<unsigned>(random() % alphabet);
                ASSERT_GE(AddPath(trie, path, &edges), 0);
            }
            ASSERT_EQ(edges.size() + 1, trie.Size());
            ExpectFound(trie, edges);
            trie.Freeze();
            EXPECT_EQ(edges.size() + 1, trie.Size());
            ExpectFound(trie, edges);
            // Pairs never added are missing, whatever slot they hash to.
            for (int i = 0; i < 2000; ++i) {
                const int node = static_cast<int>(random() % trie.Size());
                const unsigned label = static_cast<unsigned>(random() % (alphabet + 5));
                if (edges.count({node, label}) == 0) {
                    EXPECT_EQ(-1, trie.Child(node, label)) << node << " " << label;
                }
            }
        }
    }
}

TEST(CTrie, ChildListsWalkEveryNodeOnceBreadthFirst) {
    CTrie trie;
    ASSERT_TRUE(trie.Start(256));
    Edges edges;
    for (const std::vector<unsigned>& path : std::vector<std::vector<unsigned>>{
             {'s', 'h', 'i'}, {'s', 'h', 'a'}, {'s', 'i'}, {0x1234, 's'}, {'x'}, {'s', 'h', 'i', 'a'}})
        ASSERT_GE(AddPath(trie, path, &edges), 0);

    // The newest child first.
    const int s = trie.Child(0, 's'), sh = trie.Child(s, 'h');
    EXPECT_EQ(trie.Child(sh, 'a'), trie.FirstChild(sh));
    EXPECT_EQ(trie.Child(sh, 'i'), trie.NextSibling(trie.FirstChild(sh)));
    EXPECT_EQ(-1, trie.NextSibling(trie.Child(sh, 'i')));
    EXPECT_EQ(-1, trie.FirstChild(trie.Child(0, 'x')));

    std::vector<int> depth(trie.Size(), -1), order{0};
    depth[0] = 0;
    for (std::size_t head = 0; head < order.size(); ++head) {
        const int parent = order[head];
        for (int c = trie.FirstChild(parent); c >= 0; c = trie.NextSibling(c)) {
            ASSERT_GT(c, parent) << "a child's number is above its parent's";
            ASSERT_EQ(-1, depth[static_cast<std::size_t>(c)]) << "node " << c << " listed twice";
            EXPECT_EQ(c, trie.Child(parent, trie.Label(c)));
            depth[static_cast<std::size_t>(c)] = depth[static_cast<std::size_t>(parent)] + 1;
            order.push_back(c);
        }
    }
    EXPECT_EQ(trie.Size(), order.size());
    for (std::size_t i = 1; i < order.size(); ++i)
        EXPECT_LE(depth[static_cast<std::size_t>(order[i - 1])], depth[static_cast<std::size_t>(order[i])]);
}

TEST(CTrie, AFailedAllocationLeavesTheTrieAsItWas) {
    // Enough nodes to grow the edge table and the node list more than once;
    // the n-th allocation fails, for every n until none is left to fail.
    std::vector<std::vector<unsigned>> paths;
    for (unsigned i = 0; i < 200; ++i) paths.push_back({i % 7, 300 + i, i});
    for (CTrie::Lists lists : {CTrie::Lists::kKept, CTrie::Lists::kNone}) {
        bool completed = false;
        for (long allowed = 0; !completed; ++allowed) {
            CTrie trie;
            FailAllocationsAfter(allowed);
            if (!trie.Start(256, 0, lists)) {
                ResetAllocationFailures();
                EXPECT_EQ(0u, trie.Size());
                continue;
            }
            Edges edges;
            completed = true;
            for (const std::vector<unsigned>& path : paths) {
                int node = 0;
                for (unsigned label : path) {
                    const std::size_t before = trie.Size();
                    const int child = trie.Add(node, label);
                    if (child < 0) {
                        completed = false;
                        EXPECT_EQ(before, trie.Size());
                        EXPECT_EQ(-1, trie.Child(node, label));
                        break;
                    }
                    edges.emplace(std::make_pair(node, label), child);
                    node = child;
                }
                if (!completed) break;
            }
            ResetAllocationFailures();
            ExpectFound(trie, edges);
            EXPECT_EQ(edges.size() + 1, trie.Size());
            // Building goes on where it stopped once memory is back.
            for (const std::vector<unsigned>& path : paths) ASSERT_GE(AddPath(trie, path, &edges), 0);
            ExpectFound(trie, edges);
            if (HasFailure()) return;
        }
    }
}

TEST(CTrie, ATrieWithinItsExpectedNodesAllocatesNothingMore) {
    // Node counts on both sides of the edge table's sizes, each filled to
    // the count it was started for through the edge table alone (a chain
    // from a root that takes no label by its table) and through the root's
    // table and the edge table together (a wide root): no Add may need
    // memory, with child lists or without.
    for (std::size_t expected : {2u, 8u, 9u, 16u, 17u, 33u, 100u}) {
        for (bool wideRoot : {false, true}) {
            for (CTrie::Lists lists : {CTrie::Lists::kKept, CTrie::Lists::kNone}) {
                CTrie trie;
                ASSERT_TRUE(trie.Start(wideRoot ? 64 : 0, expected, lists));
                FailAllocationsAfter(0);
                Edges edges;
                int node = 0;
                for (std::size_t i = 1; i < expected; ++i) {
                    const unsigned label = static_cast<unsigned>(i);
                    const int parent = wideRoot && i % 2 ? 0 : node;
                    const int child = trie.Add(parent, label);
                    if (child != static_cast<int>(i)) {
                        ADD_FAILURE() << expected << " nodes, node " << i << ": " << child;
                        break;
                    }
                    edges.emplace(std::make_pair(parent, label), child);
                    node = child;
                }
                ResetAllocationFailures();
                EXPECT_EQ(expected, trie.Size());
                ExpectFound(trie, edges);
            }
        }
    }
}

TEST(CTrie, ChildBelowWidthAnswersAsChild) {
    // A trie whose root takes every label by label, as one over syllable ids
    // is: every edge and every missing one answers alike both ways.
    std::mt19937 random(11);
    constexpr unsigned kWidth = 50;
    CTrie trie;
    ASSERT_TRUE(trie.Start(kWidth, 64));
    Edges edges;
    for (int p = 0; p < 300; ++p) {
        std::vector<unsigned> path(1 + random() % 4);
        for (unsigned& label : path) label = static_cast<unsigned>(random() % kWidth);
        ASSERT_GE(AddPath(trie, path, &edges), 0);
    }
    trie.Freeze();
    for (std::size_t node = 0; node < trie.Size(); ++node)
        for (unsigned label = 0; label < kWidth; ++label)
            ASSERT_EQ(trie.Child(static_cast<int>(node), label), trie.ChildBelowWidth(static_cast<int>(node), label))
                << node << " " << label;
}

TEST(CTrie, StartBeginsAFreshTrie) {
    CTrie trie;
    ASSERT_TRUE(trie.Start(8));
    ASSERT_GE(AddPath(trie, {1, 2, 3}, nullptr), 0);
    trie.Freeze();
    ASSERT_TRUE(trie.Start(8));
    EXPECT_EQ(1u, trie.Size());
    EXPECT_EQ(-1, trie.Child(0, 1));
    EXPECT_EQ(-1, trie.FirstChild(0));
    EXPECT_EQ(1, AddPath(trie, {2}, nullptr));
    trie.Reset();
    EXPECT_EQ(0u, trie.Size());
}

}  // namespace
}  // namespace chatsieve::test
