// The linter's checks of the tables a rule set is written with, beside its
// rules: the syllables' code ranges, the ignore-sets and the allowed
// expressions.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "compiler/AllowTable.h"
#include "compiler/CCodePage936.h"
#include "compiler/CInnerTexts.h"
#include "compiler/CRuleLinter.h"
#include "compiler/RuleCoverage.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

// The rules an allowed expression covers, sorted; empty: every rule.
std::vector<std::pair<bool, int>> CoveredRules(const AllowSource& allow) {
    std::vector<std::pair<bool, int>> covered;
    for (const RuleRefSource& ref : allow.rules) covered.emplace_back(ref.isCombo, ref.index);
    std::sort(covered.begin(), covered.end());
    covered.erase(std::unique(covered.begin(), covered.end()), covered.end());
    return covered;
}

}  // namespace

void CRuleLinter::CheckAllowed(const RuleSetSource& rules) {
    // An expression that covers every rule would otherwise be held against
    // every rule, which made lint quadratic in rules times expressions. For
    // those, the syllables of all judged rules are gathered once, and the
    // phrases whose expression holds one are found by looking each
    // phrase's pieces up among the expressions, phrase by phrase.
    // Syllable rows first, then written units (negative indexes).
    std::vector<bool> usedSyllable(rules.syllables.size() + rules.written.size(), false);
    const auto slot = [&rules](const Element& e) {
        return e.index >= 0 ? static_cast<std::size_t>(e.index)
                            : rules.syllables.size() + static_cast<std::size_t>(-1 - e.index);
    };
    std::vector<Element> usedSyllables;
    for (int t = 0; t < 2; ++t) {
        for (const RuleSource& rule : t == 0 ? rules.phrases : rules.combos) {
            if (!Judged(rule, rules)) continue;
            for (const Run& run : Units(rule, t == 1, rules))
                for (const Element& e : run)
                    if (!usedSyllable[slot(e)]) {
                        usedSyllable[slot(e)] = true;
                        usedSyllables.push_back(Element{e.index, {}});
                    }
        }
    }
    const auto folded = [](std::string text) {
        for (char& c : text) c = LowerAscii(c);
        return text;
    };
    const auto expressionOf = [&rules](const RuleSource& phrase, std::string* expression) {
        if (!CCodePage936::Instance().FromUtf8(phrase.text, expression, nullptr)) return false;
        *expression = StripLikeALine(*expression, rules);
        return true;
    };
    std::vector<std::string> texts;
    std::unordered_map<std::string, std::vector<std::size_t>> coveringAll;  // folded text -> expressions
    std::vector<std::size_t> lengths;                                       // of those texts, each once
    CInnerTexts inner;
    std::vector<std::vector<std::pair<bool, int>>> covers;
    for (std::size_t a = 0; a < rules.allow.size(); ++a) {
        texts.push_back(StripLikeALine(rules.allow[a].bytes, rules));
        covers.push_back(CoveredRules(rules.allow[a]));
        if (rules.allow[a].duplicateOf >= 0 || texts.back().empty()) continue;
        inner.Add(folded(texts.back()), a);
        if (!rules.allow[a].rules.empty()) continue;
        std::vector<std::size_t>& same = coveringAll[folded(texts.back())];
        if (same.empty() && std::find(lengths.begin(), lengths.end(), texts.back().size()) == lengths.end())
            lengths.push_back(texts.back().size());
        same.push_back(a);
    }
    // The phrases each expression that covers every rule lies inside, in
    // table order, found where the expression starts on a character.
    std::vector<std::vector<const RuleSource*>> holders(rules.allow.size());
    if (!coveringAll.empty()) {
        for (const RuleSource& phrase : rules.phrases) {
            std::string expression;
            if (!Judged(phrase, rules) || !expressionOf(phrase, &expression)) continue;
            expression = folded(expression);
            for (std::size_t at = 0; at < expression.size();
                 at += GbkStep(static_cast<unsigned char>(expression[at]))) {
                for (const std::size_t length : lengths) {
                    if (at + length > expression.size()) continue;
                    const auto found = coveringAll.find(expression.substr(at, length));
                    if (found == coveringAll.end()) continue;
                    for (const std::size_t a : found->second)
                        if (holders[a].empty() || holders[a].back() != &phrase) holders[a].push_back(&phrase);
                }
            }
        }
    }
    const auto insideWarning = [this](const AllowSource& allowed, const RuleSource& phrase) {
        Warn(allowed.textPos, "allowed expressions inside a phrase they cover",
             "lies inside the expression of " + DescribeRule(phrase, "phrase") +
                 ", which then never catches it written as it stands");
    };
    inner.Build();
    for (std::size_t a = 0; a < rules.allow.size(); ++a) {
        const AllowSource& allowed = rules.allow[a];
        const std::string& text = texts[a];
        if (allowed.duplicateOf >= 0) {
            const AllowSource& kept = rules.allow[static_cast<std::size_t>(allowed.duplicateOf)];
            Warn(allowed.textPos, "allowed expressions written twice",
                 "duplicate of the allowed expression on line " + std::to_string(kept.pos.line) +
                     " (the same once stripped, for the same rules); only that one is built");
            continue;
        }
        // Another expression inside this one that hides from every rule this
        // one does: wherever this one is found, so is that one, and the
        // filter records both hits over the same characters.
        const std::size_t none = rules.allow.size();
        const std::size_t held =
            text.empty() ? none
                         : inner.FirstInside(
                               folded(text),
                               [&](std::size_t b) {
                                   if (b == a) return false;
                                   const auto& wider = covers[b];
                                   const auto& narrower = covers[a];
                                   return wider.empty() ||
                                          (!narrower.empty() &&
                                           std::includes(wider.begin(), wider.end(), narrower.begin(), narrower.end()));
                               },
                               none);
        if (held != none)
            Warn(allowed.textPos, "allowed expressions holding another",
                 "holds the allowed expression '" + rules.allow[held].text + "' (line " +
                     std::to_string(rules.allow[held].pos.line) +
                     "), which covers every rule this one does: their hits overlap wherever this "
                     "one is found");
        bool hidesSomething = false;
        if (allowed.rules.empty()) {
            for (const RuleSource* phrase : holders[a]) insideWarning(allowed, *phrase);
            for (std::size_t k = 0; k < usedSyllables.size() && !hidesSomething; ++k)
                hidesSomething = WrittenInside(SyllableOf(usedSyllables[k], rules), text);
        }
        for (const RuleRefSource& ref : allowed.rules) {
            const RuleSource& rule = (ref.isCombo ? rules.combos : rules.phrases)[static_cast<std::size_t>(ref.index)];
            if (!Judged(rule, rules)) continue;
            for (const Run& run : Units(rule, ref.isCombo, rules))
                for (const Element& e : run)
                    hidesSomething = hidesSomething || WrittenInside(SyllableOf(e, rules), text);
            std::string expression;
            if (ref.isCombo || !expressionOf(rule, &expression)) continue;
            if (!text.empty() && HoldsAt(expression, text)) insideWarning(allowed, rule);
        }
        if (!hidesSomething)
            Warn(allowed.textPos, "allowed expressions that let nothing through",
                 "no syllable of the rules it covers is written in it, so it lets nothing through");
    }
}

void CRuleLinter::CheckSyllableOverlap(const RuleSetSource& rules) {
    for (std::size_t b = 0; b < rules.syllables.size(); ++b) {
        for (const CodeRange& later : rules.syllables[b].ranges) {
            bool reported = false;
            for (std::size_t a = 0; a < b && !reported; ++a) {
                for (const CodeRange& earlier : rules.syllables[a].ranges) {
                    if (earlier.lead != later.lead || earlier.high < later.low || later.high < earlier.low) continue;
                    Warn(later.pos, "overlapping syllables",
                         "overlaps the range " + FormatCodeRange(earlier) + " of '" + rules.syllables[a].pinyin +
                             "' (line " + std::to_string(rules.syllables[a].pos.line) +
                             "); phrases written with those characters resolve to '" + rules.syllables[a].pinyin + "'");
                    reported = true;
                    break;
                }
            }
        }
    }
}

void CRuleLinter::CheckIgnoreSets(const RuleSetSource& rules) {
    for (const IgnoreSetSource& set : rules.ignoreSets) {
        if (set.singles.empty() && set.doubles.empty())
            Warn(set.pos, "", "this ignore-set has no ranges and strips nothing");
        for (const ByteRange& range : set.singles) {
            if (range.high >= 0x81 && range.low <= 0xFE)
                Warn(range.pos, "", "bytes 81 to FE start two-byte characters and are never stripped as single bytes");
            // Pinyin is matched after stripping and in any case, so a stripped
            // letter, upper or lower case, can never be part of a match.
            for (const SyllableSource& syllable : rules.syllables) {
                const auto stripped = [&range](char c) {
                    const unsigned char b = static_cast<unsigned char>(c);
                    const unsigned char upper = static_cast<unsigned char>(ToAsciiUpper(b));
                    const unsigned char lower = static_cast<unsigned char>(ToAsciiLower(b));
                    return (upper >= range.low && upper <= range.high) || (lower >= range.low && lower <= range.high);
                };
                if (std::any_of(syllable.pinyin.begin(), syllable.pinyin.end(), stripped)) {
                    Warn(range.pos, "",
                         "strips letters of the pinyin '" + syllable.pinyin + "', which then never matches");
                    break;
                }
            }
        }
        for (const CodeRange& range : set.doubles) {
            for (const SyllableSource& syllable : rules.syllables) {
                bool hit = false;
                for (const CodeRange& own : syllable.ranges)
                    hit = hit || (own.lead == range.lead && own.low <= range.high && range.low <= own.high);
                for (std::size_t i = 0; !hit && i + 1 < syllable.split.size(); ++i) {
                    const unsigned char lead = static_cast<unsigned char>(syllable.split[i]);
                    if (!CCodePage936::IsLead(lead)) continue;
                    const unsigned char trail = static_cast<unsigned char>(syllable.split[i + 1]);
                    hit = lead == range.lead && trail >= range.low && trail <= range.high;
                    ++i;
                }
                if (hit) {
                    Warn(range.pos, "",
                         "strips characters that the syllable '" + syllable.pinyin +
                             "' is written with, so rules never see them");
                    break;
                }
            }
        }
    }
}

}  // namespace chatsieve::tools
