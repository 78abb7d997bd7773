#include "load/LevelOrder.h"

#include "matchers/CMatcher.h"

namespace chatsieve {

namespace {

// Stable merge sort by falling level, relinking nodes only: O(n log n) for
// however many rules lie above the buckets.
void SortHighestFirst(CMatcherList& list) {
    const std::size_t count = list.Count();
    if (count < 2) return;
    CMatcherList front;
    for (std::size_t i = 0; i < count / 2; ++i) list.MoveFirstBefore(front, nullptr);
    SortHighestFirst(front);
    SortHighestFirst(list);
    CMatcherList merged;
    while (!front.Empty() && !list.Empty()) {
        // Ties take the front half first, which keeps the order stable.
        if (!TriedBefore(list.First()->matcher->GetLevel(), front.First()->matcher->GetLevel()))
            front.MoveFirstBefore(merged, nullptr);
        else
            list.MoveFirstBefore(merged, nullptr);
    }
    merged.SpliceBack(front);
    merged.SpliceBack(list);
    list.SpliceBack(merged);
}

}  // namespace

void OrderRulesByLevel(CMatcherList& rules, int highestLevel, CMatcherList& dormant) {
    for (CMatcherList::Node* node = rules.First(); node; node = node->next) {
        const int level = node->matcher->GetLevel();
        if (level < 0 || level > highestLevel) return;
    }
    // Nodes are relinked, never allocated, so the ordering cannot fail half
    // way. The last bucket takes levels of 64 and more, sorted highest first.
    CMatcherList buckets[kLevelBuckets + 1];
    CMatcherList& high = buckets[kLevelBuckets];
    rules.DistributeTo(buckets, [](CMatcher* rule) {
        const int level = rule->GetLevel();
        return level < kLevelBuckets ? level : kLevelBuckets;
    });
    SortHighestFirst(high);
    rules.SpliceBack(high);
    for (int level = kLevelBuckets - 1; IsTriedLevel(level); --level) rules.SpliceBack(buckets[level]);
    dormant.SpliceBack(buckets[0]);
}

}  // namespace chatsieve
