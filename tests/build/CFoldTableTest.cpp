// Folding full-width letters and digits, and written-mode edges, as packages
// with written-mode rules have them: the fold itself, masking over both bytes
// of a folded character, and the filter against a plain reference on random
// lines (the reference folds the line first and searches the way a phrase
// rule does, with the edge rule written out directly).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "../support/TestFilter.h"
#include "build/CFoldTable.h"
#include "host/CChatsieve.h"
#include "matchers/ProcessLists.h"

namespace chatsieve::test {
namespace {

const std::vector<std::vector<int>> kFolds = {
    {0xA3, 0xB0, 0xB9, '0'}, {0xA3, 0xC1, 0xDA, 'A'}, {0xA3, 0xE1, 0xFA, 'a'}};

// Full-width forms: "ＡＶ" for "AV".
std::string Wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += '\xA3';
        out += static_cast<char>(static_cast<unsigned char>(c) + 0x80);
    }
    return out;
}

TEST(CFoldTable, FoldsWhatItsRangesHoldAndKeepsTheMapWhole) {
    CFoldTable fold;
    for (const auto& r : kFolds)
        ASSERT_TRUE(fold.Add(static_cast<unsigned char>(r[0]), static_cast<unsigned char>(r[1]),
                             static_cast<unsigned char>(r[2]), r[3]));
    std::string text = "x" + Wide("A1") + "\xCD\xE2" + Wide("z");
    // As if fillers had been stripped before the two-byte character.
    TArray<int> map;
    for (int i = 0; i < static_cast<int>(text.size()); ++i) ASSERT_TRUE(map.PushBack(i < 5 ? i : i + 4));
    TArray<unsigned char> marks;
    ASSERT_TRUE(fold.Fold(text.data(), map, marks));
    EXPECT_STREQ(text.c_str(), "xA1\xCD\xE2z");
    const int expectedMap[] = {0, 1, 3, 9, 10, 11};
    const unsigned char expectedMarks[] = {0, kFoldWide, kFoldWide, kFoldAfterGap, kFoldSecond, kFoldWide};
    ASSERT_EQ(map.Size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(map[i], expectedMap[i]) << i;
        EXPECT_EQ(marks[i], expectedMarks[i]) << i;
    }
}

TEST(CFoldTable, RefusesRangesThatCouldNotFoldToOneWholeCharacter) {
    CFoldTable fold;
    EXPECT_FALSE(fold.Add(0x41, 0xC1, 0xDA, 'A'));   // not a lead byte
    EXPECT_FALSE(fold.Add(0xA3, 0xDA, 0xC1, 'A'));   // backwards
    EXPECT_FALSE(fold.Add(0xA3, 0xC1, 0xDA, 0));     // the terminator
    EXPECT_FALSE(fold.Add(0xA3, 0xC1, 0xDA, 0x80));  // runs into lead bytes
    EXPECT_FALSE(fold.Add(0xA3, 0xC1, 0xDA, 0xF0));  // past one byte
    EXPECT_TRUE(fold.Empty());
    for (int i = 0; i < kMaxFoldRanges; ++i) EXPECT_TRUE(fold.Add(0xA3, 0xC1, 0xC1, 'A'));
    EXPECT_FALSE(fold.Add(0xA3, 0xC1, 0xC1, 'A'));
}

// Syllables a, v, 1, 8 as written units and wai; phrases "av", "18" + wai
// and wai alone, all with both edges.
RuleSet WrittenRules(bool folding) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = {{"a", {0xA3, 0xC1, 0xC1, 0xA3, 0xE1, 0xE1}},
                       {"v", {0xA3, 0xD6, 0xD6, 0xA3, 0xF6, 0xF6}},
                       {"1", {0xA3, 0xB1, 0xB1}},
                       {"8", {0xA3, 0xB8, 0xB8}},
                       {"wai", {0xCD, 0xE2, 0xE2}}};
    rules.phrases = {{40, {200001, 200002}}, {30, {200003, 200004, 200005}}, {20, {200005}}};
    rules.phraseEdges = {3, 3, 3};
    if (folding) rules.folds = kFolds;
    return rules;
}

class WrittenFilterTest : public FilterTestBase {
protected:
    std::string Mask(const std::string& line, int* level) {
        std::string out(line.size() + 2, '#');
        *level = m_filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size() + 1), 1);
        return out.c_str();
    }
};

TEST_F(WrittenFilterTest, FullWidthLettersAreCaughtAndMaskedOverBothBytes) {
    Create(WrittenRules(true));
    int level = 0;
    EXPECT_EQ(Mask("see " + Wide("AV") + "!", &level), "see ****!");
    EXPECT_EQ(level, 40);
    EXPECT_EQ(Mask(Wide("a") + "v", &level), "***");
    EXPECT_EQ(Mask(Wide("1") + " 8\xCD\xE2", &level), "** ***");
    EXPECT_EQ(level, 30);
}

TEST_F(WrittenFilterTest, LettersAndDigitsMustNotRunIntoAnEdge) {
    Create(WrittenRules(true));
    const struct {
        const char* line;
        int level;
    } cases[] = {
        {"av", 40},
        {"java", 0},
        {"ja va", 0},  // a run is what the player wrote together
        {"see av", 40},
        {"a-v", 40},
        {"j a v", 40},  // fillers between make separate runs
        {"av-x", 40},
        {"xav", 0},
        {"avx", 0},
        {"\xCD\xE2"
         "av",
         40},
        {"av\xCD\xE2", 40},   // a character is no letter
        {"118\xCD\xE2", 20},  // the digits' start is inside a run; wai alone still
        {"x18\xCD\xE2", 20},
        {"18\xCD\xE2", 30},
        {"waiting", 0},
        {"swai", 0},
        {"wai!", 20},
        {"\xCD\xE2"
         "x",
         20},  // pinyin too; a character has no edge
        // A trail byte that looks like a letter (81 61 is one character) is no letter.
        {"\x81\x61"
         "av",
         40},
    };
    for (const auto& c : cases) {
        int level = 0;
        Mask(c.line, &level);
        EXPECT_EQ(level, c.level) << c.line;
    }
    int level = 0;
    EXPECT_EQ(Mask("j" + Wide("AV"), &level), "j" + Wide("AV"));
    EXPECT_EQ(level, 0);
}

TEST_F(WrittenFilterTest, WithoutTheFoldTableNothingIsFoldedAndNoEdgeHolds) {
    // The loader drops edges from a package without the fold table; without
    // folds full-width letters are only the syllables' own codes.
    RuleSet rules = WrittenRules(false);
    rules.phraseEdges.clear();
    Create(rules);
    int level = 0;
    EXPECT_EQ(Mask("java", &level), "j**a");
    EXPECT_EQ(level, 40);
    EXPECT_TRUE(m_filter->FoldTable().Empty());
}

// ---- against a plain reference

bool IsAlnum(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct RefChar {
    std::string bytes;  // as the filter sees it: folded, stripped
    int host;           // where it starts in the line
    int hostWidth;
    bool afterGap = false;  // fillers stood right before it
};

// The line as characters after stripping the standard fillers and folding.
std::vector<RefChar> Prepare(const std::string& line) {
    std::vector<RefChar> chars;
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < line.size()) {
            const auto t = static_cast<unsigned char>(line[i + 1]);
            const bool filler = c == 0xA1 || (c == 0xA3 && t >= 0xA1 && t <= 0xAF);
            const bool wide =
                c == 0xA3 && ((t >= 0xB0 && t <= 0xB9) || (t >= 0xC1 && t <= 0xDA) || (t >= 0xE1 && t <= 0xFA));
            if (wide)
                chars.push_back({std::string(1, static_cast<char>(t - 0x80)), static_cast<int>(i), 2});
            else if (!filler)
                chars.push_back({line.substr(i, 2), static_cast<int>(i), 2});
            i += 2;
            continue;
        }
        const bool filler = (c >= 0x20 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
                            (c >= 0x7B && c <= 0x7E);
        if (!filler) chars.push_back({std::string(1, static_cast<char>(c)), static_cast<int>(i), 1});
        ++i;
    }
    for (std::size_t k = 1; k < chars.size(); ++k)
        chars[k].afterGap = chars[k].host != chars[k - 1].host + chars[k - 1].hostWidth;
    return chars;
}

// The reference's phrases: characters (lower-case letters, digits, or a
// two-byte character) and edges.
struct RefPhrase {
    int level;
    std::vector<std::string> units;
    int edges;
};

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Whether `unit` is written at byte p of the stripped text: a letter or
// digit in either case, or a two-byte character; a unit never matches the
// first byte of a two-byte character as a single byte.
bool UnitAt(const std::string& text, std::size_t p, const std::string& unit) {
    if (unit.size() == 2) return text.compare(p, 2, unit) == 0;
    if (IsLead(static_cast<unsigned char>(text[p]))) return false;
    return Lower(text.substr(p, 1)) == unit;
}

// The search as a phrase rule makes it, on the bytes of the stripped text:
// scan character by character for the first unit, try the rest right behind
// it, and after a failed try scan again two bytes on, even from inside a
// character. The edges are judged on whole characters counted from the
// start. On a match, sets the characters it covers.
bool FindPhrase(const std::vector<RefChar>& chars, const RefPhrase& phrase, std::size_t* first, std::size_t* count) {
    std::string text;
    std::vector<int> charOf;  // per byte: its character, or -1 for a second byte
    for (std::size_t c = 0; c < chars.size(); ++c) {
        text += chars[c].bytes;
        charOf.push_back(static_cast<int>(c));
        if (chars[c].bytes.size() == 2) charOf.push_back(-1);
    }
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos < n) {
        std::size_t p = pos;
        while (p < n && !UnitAt(text, p, phrase.units[0])) p += IsLead(static_cast<unsigned char>(text[p])) ? 2 : 1;
        if (p >= n) return false;
        std::size_t end = p;
        std::size_t k = 0;
        for (; k < phrase.units.size() && end < n && UnitAt(text, end, phrase.units[k]); ++k)
            end += phrase.units[k].size();
        bool clear = k == phrase.units.size();
        const auto alnumChar = [&](std::size_t at) {
            return at < n && charOf[at] >= 0 && chars[static_cast<std::size_t>(charOf[at])].bytes.size() == 1 &&
                   IsAlnum(static_cast<unsigned char>(text[at]));
        };
        if (clear && (phrase.edges & 1) && IsAlnum(static_cast<unsigned char>(text[p]))) {
            if (charOf[p] < 0) {
                clear = false;
            } else if (p > 0 && !chars[static_cast<std::size_t>(charOf[p])].afterGap && alnumChar(p - 1)) {
                clear = false;
            }
        }
        // The last character of the match: a letter or digit only as a single byte.
        const bool endsInAlnum = clear && alnumChar(end - 1) && (end - 1 == p || charOf[end - 1] >= 0);
        if (clear && (phrase.edges & 2) && endsInAlnum && end < n && charOf[end] >= 0 &&
            !chars[static_cast<std::size_t>(charOf[end])].afterGap && alnumChar(end))
            clear = false;
        if (clear && charOf[p] >= 0) {
            *first = static_cast<std::size_t>(charOf[p]);
            *count = phrase.units.size();
            return true;
        }
        pos = p + 2;
    }
    return false;
}

TEST_F(WrittenFilterTest, AgreesWithAPlainReferenceOnRandomLines) {
    Create(WrittenRules(true));
    const std::vector<RefPhrase> phrases = {
        {40, {"a", "v"}, 3}, {30, {"1", "8", "\xCD\xE2"}, 3}, {20, {"\xCD\xE2"}, 3}};
    const std::vector<std::string> pieces = {"a",       "A",       "v",        "V",        "1",       "8",
                                             "j",       " ",       "-",        Wide("a"),  Wide("V"), Wide("1"),
                                             Wide("8"), Wide("j"), "\xCD\xE2", "\xA1\xA1", "\x81\x61"};
    std::mt19937 random(20261209);
    for (int round = 0; round < 3000; ++round) {
        std::string line;
        const int length = static_cast<int>(random() % 12);
        for (int p = 0; p < length; ++p) line += pieces[random() % pieces.size()];
        // Each pass masks the match of the highest phrase found in the line
        // as masked so far, which may join what stood around a match; the
        // level is the highest found in any pass.
        std::string masked = line;
        int expected = 0;
        for (int pass = 0; pass < 1000; ++pass) {
            const std::vector<RefChar> chars = Prepare(masked);
            std::size_t first = 0, count = 0;
            const RefPhrase* found = nullptr;
            for (const RefPhrase& phrase : phrases)
                if (!found && FindPhrase(chars, phrase, &first, &count)) found = &phrase;
            if (!found) break;
            expected = std::max(expected, found->level);
            for (std::size_t c = first; c < first + count; ++c)
                for (int b = 0; b < chars[c].hostWidth; ++b) masked[static_cast<std::size_t>(chars[c].host + b)] = '*';
        }
        int level = 0;
        const std::string out = Mask(line, &level);
        std::string hex;
        for (char ch : line) hex += " " + std::to_string(static_cast<unsigned char>(ch));
        ASSERT_EQ(level, expected) << "line:" << hex;
        ASSERT_EQ(out, masked) << "line: " << line;
    }
}

}  // namespace
}  // namespace chatsieve::test
