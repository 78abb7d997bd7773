#include "rules/LevelOrder.h"

#include "matchers/CMatcher.h"

namespace chatsieve {

void OrderRulesByLevel(CMatcherList& rules, int highestLevel, CMatcherList& dormant) {
    for (CMatcherList::Node* node = rules.First(); node; node = node->next) {
        const int level = node->matcher->GetLevel();
        if (level < 0 || level > highestLevel) return;
    }
    // Nodes are relinked, never allocated, so the ordering cannot fail half way.
    CMatcherList buckets[kLevelBuckets];
    CMatcherList high;  // levels of 64 and more, highest first
    while (CMatcherList::Node* node = rules.First()) {
        const int level = node->matcher->GetLevel();
        if (level < kLevelBuckets) {
            rules.MoveFirstBefore(buckets[level], nullptr);
            continue;
        }
        CMatcherList::Node* before = high.First();
        while (before && before->matcher->GetLevel() >= level) before = before->next;
        rules.MoveFirstBefore(high, before);
    }
    rules.SpliceBack(high);
    for (int level = kLevelBuckets - 1; level >= 1; --level) rules.SpliceBack(buckets[level]);
    dormant.SpliceBack(buckets[0]);
}

}  // namespace chatsieve
