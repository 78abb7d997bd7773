// Masking against its plain forms, for the tests of the passes. Three ways
// of masking a line must agree:
//  - the filter as it is (the first check answers the first pass, passes
//    follow the deciding phrase along the line, hand over to the next rule
//    or check the last text with the match cut out), and again with the
//    passes following on every line, however short;
//  - every pass a whole check of the line (UseMaskPasses off): the same
//    masked line and level, and the same copy after every pass, always;
//  - the old passes, each checked with the level just found as ceiling:
//    the same wherever no pass could see an expression above its ceiling,
//    that is wherever masking revealed nothing.
// Generator makes random rule sets built so that phrases repeat and '*' is
// mostly ignored, and lines of them.
#ifndef CHATSIEVE_TESTS_SUPPORT_MASKINGCOMPARISON_H
#define CHATSIEVE_TESTS_SUPPORT_MASKINGCOMPARISON_H

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "RandomRules.h"
#include "ShortLines.h"
#include "TestEffort.h"
#include "TestFilter.h"
#include "matchers/CPhraseRule.h"
#include "platform/MbText.h"

namespace chatsieve::test {

struct Masked {
    int level = 0;
    std::string out;
    bool revealed = false;  // only for the old passes
    // The copy after each pass: passes that follow must mask what whole
    // checks mask, in the same order, not only end with the same copy.
    std::vector<std::string> passes;
};

class MaskingComparison : public RuleTest {
protected:
    enum class Passes { kAsShipped, kFollowingEveryLine, kWholeChecks };
    static Masked Filter(TestFilter* filter, const std::string& line, unsigned outSize, int minLevel, Passes passes) {
        filter->UseMaskPasses(passes != Passes::kWholeChecks);
        filter->FollowOnShortLines(passes == Passes::kFollowingEveryLine);
        Masked m;
        m.out.assign(line.size() + 2, '#');
        filter->WatchPasses(
            [](void* copies, const char* out) { static_cast<std::vector<std::string>*>(copies)->push_back(out); },
            &m.passes);
        m.level = filter->FilterText(line.c_str(), m.out.data(), outSize, minLevel);
        filter->WatchPasses(nullptr, nullptr);
        filter->UseMaskPasses(true);
        filter->FollowOnShortLines(false);
        return m;
    }

    // The passes as they were: a falling ceiling, each pass one whole check;
    // notes whether some pass's line held an expression above its ceiling.
    static Masked OldPasses(TestFilter* filter, const std::string& line, unsigned outSize, int minLevel) {
        Masked m;
        m.out.assign(line.size() + 2, '#');
        m.level = filter->CheckText(line.c_str(), 0);
        std::size_t n = line.size() + 1;
        if (outSize < n) n = outSize;
        BoundedCopy(m.out.data(), line.c_str(), n);
        m.out[n] = 0;
        int ceiling = minLevel > m.level ? minLevel : m.level;
        for (int pass = 0; pass < kMaxMaskPasses; ++pass) {
            if (filter->CheckText(m.out.c_str(), 0) > ceiling) m.revealed = true;
            ceiling = filter->CheckText(m.out.c_str(), ceiling);
            if (ceiling == 0 || ceiling < minLevel) break;
            // What is masked is reported, even where a cut copy shows more
            // than the line.
            if (ceiling > m.level) m.level = ceiling;
            for (int j = 0; j < filter->MatchLength(); ++j) {
                const std::size_t at = static_cast<std::size_t>(filter->MatchOffset() + j);
                if (at >= g_positionMap.Size()) continue;
                const std::size_t host = static_cast<std::size_t>(g_positionMap[at]);
                m.out[host] = '*';
                // A folded character: both its bytes.
                if (at < g_foldMarks.Size() && (g_foldMarks[at] & kFoldWide)) m.out[host + 1] = '*';
            }
        }
        return m;
    }

    void Compare(TestFilter* filter, const std::string& line, unsigned outSize, int minLevel) {
        const Masked plain = Filter(filter, line, outSize, minLevel, Passes::kWholeChecks);
        for (Passes passes : {Passes::kAsShipped, Passes::kFollowingEveryLine}) {
            const Masked fast = Filter(filter, line, outSize, minLevel, passes);
            SCOPED_TRACE(passes == Passes::kAsShipped ? "shipped" : "every");
            ASSERT_EQ(plain.level, fast.level) << Hex(line) << " min " << minLevel << " size " << outSize;
            ASSERT_EQ(plain.out, fast.out) << Hex(line) << " min " << minLevel << " size " << outSize;
            ASSERT_EQ(plain.passes, fast.passes) << Hex(line) << " min " << minLevel << " size " << outSize;
        }
        const Masked old = OldPasses(filter, line, outSize, minLevel);
        if (!old.revealed) {
            ASSERT_EQ(old.level, plain.level) << Hex(line);
            ASSERT_EQ(old.out, plain.out) << Hex(line);
        } else {
            ++m_revealed;
            // What is shown holds nothing worth masking, and the level
            // reported is at least that of the line itself.
            const int shown = filter->CheckText(plain.out.c_str(), 0);
            ASSERT_TRUE(shown == 0 || shown < minLevel) << Hex(line) << " shows " << Hex(plain.out);
            ASSERT_GE(plain.level, old.level) << Hex(line);
        }
        // Whatever is masked was found at minLevel or above, and the level
        // returned covers it: at least the worst the copy shows.
        const std::string copy = plain.out.c_str();
        const std::string shown = line.substr(0, copy.size());
        if (copy != shown) {
            const int worst = filter->CheckText(shown.c_str(), 0);
            ASSERT_GE(plain.level, minLevel > 1 ? minLevel : 1) << Hex(line) << " size " << outSize;
            if (worst >= minLevel) {
                ASSERT_GE(plain.level, worst) << Hex(line) << " size " << outSize;
            }
        }
        ++m_compared;
        m_masked += plain.out.compare(0, line.size(), line) != 0;
    }

    // Every line of up to six of `symbols`, whole, at two minimum levels;
    // the passes must have followed more than `followed` times.
    void CompareEveryShortLine(const RuleSet& rules, const std::vector<std::string>& symbols, unsigned followed) {
        TestFilter* filter = New<TestFilter>(rules);
        ASSERT_EQ(1, filter->Init());
        ForEachShortLine(symbols, Effort(6, 5), [&](const std::string& line) {
            for (int minLevel : {0, 3}) Compare(filter, line, static_cast<unsigned>(line.size() + 1), minLevel);
            return !HasFatalFailure();
        });
        EXPECT_GT(filter->FollowedPasses(), followed);
        filter->Uninit();
        Delete(filter);
    }

    int m_compared = 0, m_masked = 0, m_revealed = 0;
};

// Rule sets whose phrases recur in the lines: syllables of one or two
// letters, one code range each over a handful of characters.
class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    RuleSet Rules() {
        RuleSet rules;
        // '*' is ignored in most sets (masked bytes drop out of the stripped
        // text), kept in some, and with or without a second ignore-set.
        if (Pick(5))
            rules.skipSets.push_back({0x20, 0x20, 0x2A, 0x2A, 0x2E, 0x2E, -1, 0xA1, 0xA1, 0xA1});
        else
            rules.skipSets.push_back({0x20, 0x20, -1, 0xA1, 0xA1, 0xA1});
        if (Pick(4) == 0) rules.skipSets.push_back({0x2D, 0x2D, -1});
        m_syllables.clear();
        const int syllables = 2 + Pick(5);
        for (int i = 0; i < syllables; ++i) {
            SyllableRow row;
            row.romanised = std::string(1, "abcd"[Pick(4)]);
            if (Pick(2)) row.romanised += "abcd"[Pick(4)];
            const unsigned char lead = Pick(2) ? 0xB0 : 0xB1;
            const unsigned char low = static_cast<unsigned char>(0xA1 + Pick(4));
            row.codes = {lead, low, static_cast<unsigned char>(low + Pick(2))};
            if (Pick(4) == 0) {
                m_splits.push_back(std::string(1, "xyz"[Pick(3)]) + "xyz"[Pick(3)]);
                row.split = m_splits.back().c_str();
            }
            rules.syllables.push_back(row);
            m_syllables.push_back(row);
        }
        m_phrases.clear();
        for (int i = 1 + Pick(5); i > 0; --i) {
            LevelRow row{Pick(6), {}};
            std::vector<int> parts;
            for (int n = 1 + Pick(3); n > 0; --n) {
                parts.push_back(Pick(syllables));
                row.refs.push_back(200001 + parts.back());
            }
            rules.phrases.push_back(row);
            m_phrases.push_back(parts);
        }
        for (int i = Pick(3); i > 0; --i) {
            LevelRow row{1 + Pick(6), {}};
            for (int n = 1 + Pick(2); n > 0; --n)
                row.refs.push_back(Pick(2) ? 200001 + Pick(syllables)
                                           : 300001 + Pick(static_cast<int>(rules.phrases.size())));
            rules.combos.push_back(row);
        }
        // Written-mode sets: full-width letters fold to ASCII, and phrases
        // keep their edges clear of letters and digits around them.
        m_written = Pick(3) == 0;
        if (m_written) {
            rules.folds = {{0xA3, 0xE1, 0xE4, 'a'}, {0xA3, 0xC1, 0xC4, 'A'}};
            for (std::size_t i = 0; i < rules.phrases.size(); ++i) rules.phraseEdges.push_back(Pick(4));
        }
        for (int i = Pick(4) == 0 ? 1 + Pick(3) : 0; i > 0; --i) {
            AllowRow allow{Form(Pick(syllables)) + Form(Pick(syllables)), {}};
            if (Pick(3) == 0) allow.rules.push_back(300001 + Pick(static_cast<int>(rules.phrases.size())));
            rules.allow.push_back(allow);
        }
        return rules;
    }

    // One way of writing a syllable: its letters in either case, its split
    // form, or a character of its range.
    std::string Form(int syllable) {
        const SyllableRow& row = m_syllables[static_cast<std::size_t>(syllable)];
        const int way = Pick(row.split ? 4 : 3);
        if (way == 0) {
            std::string word;
            for (char c : row.romanised) {
                if (Pick(2)) c = static_cast<char>(c - 'a' + 'A');
                // A full-width letter, folded back to this one.
                if (m_written && Pick(3) == 0)
                    word += {'\xA3', static_cast<char>(0x80 + static_cast<unsigned char>(c))};
                else
                    word += c;
            }
            return word;
        }
        if (way == 3) return row.split;
        return std::string{static_cast<char>(row.codes[0]), static_cast<char>(row.codes[1] + Pick(2))};
    }

    // Up to `pieces` phrases and fillers.
    std::string Line(int pieces = 20) {
        std::string line;
        const std::string fillers[] = {" ",        "*",        "-",    ".", "e", "\xA1\xA1",
                                       "\xB0\xA5", "\xB2\xA1", "\xA1", "a", "1", "\xA3\xE2"};
        for (int n = Pick(pieces); n > 0; --n) {
            if (Pick(3)) {
                // A phrase, now and then with a filler slipped in.
                const std::vector<int>& phrase =
                    m_phrases[static_cast<std::size_t>(Pick(static_cast<int>(m_phrases.size())))];
                for (int s : phrase) {
                    line += Form(s);
                    if (Pick(6) == 0) line += fillers[Pick(12)];
                }
            } else {
                line += fillers[Pick(12)];
            }
        }
        return line;
    }

private:
    std::mt19937 m_random;
    std::vector<SyllableRow> m_syllables;
    std::vector<std::vector<int>> m_phrases;
    std::deque<std::string> m_splits;
    bool m_written = false;

public:
    bool Written() const { return m_written; }
};

}  // namespace chatsieve::test

#endif
