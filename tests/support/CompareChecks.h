// Pits a filter's fast check against trying every rule in turn on one line:
// the same level, match and masked copy, as a host and the masking see them,
// and a check for the level alone against one that keeps the map.
#ifndef CHATSIEVE_TESTS_COMPARECHECKS_H
#define CHATSIEVE_TESTS_COMPARECHECKS_H

#include <gtest/gtest.h>

#include <string>

#include "RandomRules.h"
#include "TestFilter.h"

namespace chatsieve::test {

// Returns the level found (0 as well after a failed assertion).
inline int CompareWithEveryRule(TestFilter* filter, const std::string& line, int ceiling) {
    int results[2], offsets[2], lengths[2];
    std::string masked[2];
    for (int way = 0; way < 2; ++way) {
        filter->UseRuleIndex(way == 1);
        // A host asking for the level alone: the line is stripped without
        // the map back to it, which nothing of a check may read.
        const int levelOnly = filter->FilterText(line.c_str(), nullptr, 0, 1);
        const int offsetOnly = filter->MatchOffset(), lengthOnly = filter->MatchLength();
        EXPECT_EQ(filter->CheckText(line.c_str(), 0), levelOnly) << Hex(line);
        if (levelOnly) {
            EXPECT_EQ(filter->MatchOffset(), offsetOnly) << Hex(line);
            EXPECT_EQ(filter->MatchLength(), lengthOnly) << Hex(line);
        }
        results[way] = filter->CheckText(line.c_str(), ceiling);
        offsets[way] = filter->MatchOffset();
        lengths[way] = filter->MatchLength();
        std::string out(line.size() + 2, '#');
        filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size() + 1), 1 + ceiling % 3);
        masked[way] = out;
    }
    EXPECT_EQ(results[0], results[1]) << Hex(line);
    if (results[0] && results[0] == results[1]) {
        EXPECT_EQ(offsets[0], offsets[1]) << Hex(line);
        EXPECT_EQ(lengths[0], lengths[1]) << Hex(line);
    }
    EXPECT_EQ(masked[0], masked[1]) << Hex(line);
    return results[0];
}

}  // namespace chatsieve::test

#endif
