// Puts rules into checking order (format/RulePackage.h): from the highest
// level down to level 1, rules of one level in the order they had. The check
// stops at the first rule that matches within its ceiling, so this order
// makes it report the highest level, and among equals the rule loaded first.
// The filter orders its matcher lists; the tools, which hold rules in
// vectors, order those with SortInCheckingOrder, so both agree by
// construction.
#ifndef CHATSIEVE_LOAD_LEVELORDER_H
#define CHATSIEVE_LOAD_LEVELORDER_H

#include <algorithm>
#include <iterator>

#include "format/RulePackage.h"
#include "matchers/CMatcherList.h"

namespace chatsieve {

constexpr int kLevelBuckets = kMaxUsualLevel + 1;

// Reorders `rules` in place; its rules of level 0 move onto the end of
// `dormant`. Levels of 64 or more come first, highest first. When a rule's
// level is negative or above `highestLevel`, `rules` is left as it was.
void OrderRulesByLevel(CMatcherList& rules, int highestLevel, CMatcherList& dormant);

// Puts the rules of [first, last), given in loading order, into checking
// order with the rules that are never tried after them, and returns where
// those begin. `levelOf(rule)` gives a rule's level; levels are taken to be
// ones the compiler writes (not negative).
template <class Iterator, class LevelOf>
Iterator SortInCheckingOrder(Iterator first, Iterator last, LevelOf levelOf) {
    using Rule = const typename std::iterator_traits<Iterator>::value_type&;
    const Iterator untried = std::stable_partition(first, last, [&](Rule rule) { return IsTriedLevel(levelOf(rule)); });
    std::stable_sort(first, untried, [&](Rule a, Rule b) { return TriedBefore(levelOf(a), levelOf(b)); });
    return untried;
}

}  // namespace chatsieve

#endif
