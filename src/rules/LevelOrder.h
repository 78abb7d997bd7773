// Puts the filter's rules into checking order: from the highest level down to
// level 1, rules of one level in the order they had. The check stops at the
// first rule that matches within its ceiling, so this order makes it report
// the highest level, and among equals the rule loaded first.
#ifndef CHATSIEVE_RULES_LEVELORDER_H
#define CHATSIEVE_RULES_LEVELORDER_H

#include "matchers/CMatcherList.h"

namespace chatsieve {

constexpr int kLevelBuckets = 64;

// Reorders `rules` in place; its rules of level 0 move onto the end of
// `dormant`. Levels of 64 or more come first, highest first. When a rule's
// level is negative or above `highestLevel`, `rules` is left as it was.
void OrderRulesByLevel(CMatcherList& rules, int highestLevel, CMatcherList& dormant);

}  // namespace chatsieve

#endif
