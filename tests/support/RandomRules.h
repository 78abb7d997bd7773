// Random rule sets and lines over a small alphabet for differential tests:
// syllables whose forms and code ranges overlap, phrases that share starts,
// combinations of syllables and phrases, lines that mix letters, fillers,
// lead bytes and trail bytes.
#ifndef CHATSIEVE_TESTS_RANDOMRULES_H
#define CHATSIEVE_TESTS_RANDOMRULES_H

#include <deque>
#include <random>
#include <string>

#include "RuleSet.h"
#include "platform/CodePage.h"

namespace chatsieve::test {

// Bytes that make up random forms and lines: letters of both cases, filler,
// lead bytes and trail bytes of the ranges below, and a byte that is both.
inline const std::string kAlphabet = "aAbBgGiInNuUwW .,\xB0\xB1\xB7\xA1\xA2\xA5\xC1";

class Differential {
public:
    // `automatonShapes`: only what the rule compiler writes, every syllable
    // with a form of its own and code ranges of lead bytes, so the check
    // automaton takes the rule set.
    explicit Differential(unsigned seed, bool automatonShapes = false)
        : m_random(seed), m_automatonShapes(automatonShapes) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::string Word(int most) {
        std::string word;
        for (int i = Pick(most + 1); i > 0; --i)
            word += kAlphabet[static_cast<std::size_t>(Pick(static_cast<int>(kAlphabet.size())))];
        return word;
    }

    // A form no syllable may have: one ending in half a character.
    static bool Cut(const std::string& form) {
        std::size_t i = 0;
        while (i < form.size()) i += IsLeadByte(static_cast<unsigned char>(form[i])) ? 2 : 1;
        return i > form.size();
    }

    RuleSet Rules() {
        RuleSet rules;
        if (Pick(4)) rules.skipSets.push_back({0x20, 0x20, 0x2C, 0x2E, -1, 0xA1, 0xA1, 0xA1});
        if (Pick(3) == 0) rules.skipSets.push_back({0x2E, 0x2E, -1});
        const int syllables = 1 + Pick(6);
        for (int i = 0; i < syllables; ++i) {
            SyllableRow row;
            do row.romanised = Word(Pick(8) || m_automatonShapes ? 3 : 0);
            while (Cut(row.romanised) || (m_automatonShapes && row.romanised.empty()));
            for (int r = Pick(3); r >= 0; --r) {
                const unsigned char lead =
                    static_cast<unsigned char>("\xB0\xB1\xB7\x61"[Pick(m_automatonShapes ? 3 : 4)]);
                const unsigned char low = static_cast<unsigned char>(Pick(3) ? 0xA1 + Pick(4) : Pick(256));
                row.codes.insert(row.codes.end(), {lead, low, static_cast<unsigned char>(low + Pick(3))});
            }
            if (Pick(3) == 0) {
                do m_splits.push_back(Word(3));
                while (Cut(m_splits.back()) || (m_automatonShapes && m_splits.back().empty()));
                row.split = m_splits.back().c_str();
            }
            rules.syllables.push_back(row);
        }
        // Now and then many longer phrases, so that they share starts.
        const bool many = Pick(6) == 0;
        const int phrases = many ? 8 + Pick(16) : 1 + Pick(6);
        for (int i = 0; i < phrases; ++i) {
            LevelRow row{Pick(6), {}};
            for (int n = 1 + Pick(many ? 5 : 3); n > 0; --n) row.refs.push_back(200001 + Pick(syllables));
            rules.phrases.push_back(row);
        }
        for (int i = Pick(4); i > 0; --i) {
            LevelRow row{Pick(4) ? Pick(6) : 64 + Pick(3), {}};
            for (int n = 1 + Pick(3); n > 0; --n)
                row.refs.push_back(Pick(2) ? 200001 + Pick(syllables) : 300001 + Pick(phrases));
            rules.combos.push_back(row);
        }
        return rules;
    }

    std::string Line() {
        std::string line;
        for (int n = Pick(8); n > 0; --n) line += Word(4);
        return line;
    }

private:
    std::mt19937 m_random;
    bool m_automatonShapes;
    std::deque<std::string> m_splits;
};

inline std::string Hex(const std::string& s) {
    std::string hex;
    for (unsigned char c : s) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15], hex += ' ';
    return hex;
}

}  // namespace chatsieve::test

#endif
