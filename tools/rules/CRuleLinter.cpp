#include "rules/CRuleLinter.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "rules/CCodePage936.h"
#include "rules/PackageRows.h"
#include "rules/Utf8.h"

namespace chatsieve::tools {

namespace {

// Digit runs up to this long are years, prices and counts in innocent text.
constexpr std::size_t kMaxNoisyDigits = 4;

// A syllable part as far as comparing rules goes: its syllable and the
// characters it matches beyond the syllable's ranges.
struct Element {
    int index = 0;
    std::vector<unsigned> extra;  // lead << 8 | trail, ascending
};
using Run = std::vector<Element>;

Element ElementOf(const PartRef& part) {
    // Written units and syllables are told apart by sign.
    Element e{part.kind == PartKind::kWritten ? -1 - part.index : part.index, {}};
    for (const CodeRange& r : part.extra)
        for (unsigned t = r.low; t <= r.high; ++t) e.extra.push_back(static_cast<unsigned>(r.lead) << 8 | t);
    std::sort(e.extra.begin(), e.extra.end());
    return e;
}

// What must occur in a text for a rule to match: one run for a phrase, one
// per part for a combination.
std::vector<Run> Units(const RuleSource& rule, bool isCombo, const RuleSetSource& rules) {
    std::vector<Run> units;
    if (!isCombo) {
        Run run;
        for (const PartRef& part : rule.parts) run.push_back(ElementOf(part));
        units.push_back(run);
        return units;
    }
    for (const PartRef& part : rule.parts) {
        if (part.kind == PartKind::kSyllable) {
            units.push_back(Run{ElementOf(part)});
        } else {
            Run run;
            for (const PartRef& p : rules.phrases[static_cast<std::size_t>(part.index)].parts)
                run.push_back(ElementOf(p));
            units.push_back(run);
        }
    }
    return units;
}

// True when `wider` matches wherever `narrower` does: the same syllable,
// and every extra character of `narrower` among its own.
bool MatchesWherever(const Element& wider, const Element& narrower) {
    return wider.index == narrower.index &&
           std::includes(wider.extra.begin(), wider.extra.end(), narrower.extra.begin(), narrower.extra.end());
}

bool IsPrefix(const Run& prefix, const Run& run) {
    if (prefix.size() > run.size()) return false;
    for (std::size_t k = 0; k < prefix.size(); ++k)
        if (!MatchesWherever(prefix[k], run[k])) return false;
    return true;
}

// True when every text that `later` matches is matched by `earlier` too. A
// phrase searches for its first syllable and then tests the rest right
// behind it, moving on the same way after a failure, so a run is found
// wherever a run that starts with it is found.
bool Covers(const std::vector<Run>& earlier, const std::vector<Run>& later) {
    for (const Run& unit : earlier) {
        bool found = false;
        for (const Run& run : later) found = found || IsPrefix(unit, run);
        if (!found) return false;
    }
    return true;
}

// `text` without the characters any ignore-set strips, as the filter strips
// a line (and, at Init, every allowed expression).
std::string Stripped(const std::string& text, const RuleSetSource& rules) {
    std::string kept;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t n = CCodePage936::IsLead(b) && i + 1 < text.size() ? 2 : 1;
        bool strip = false;
        for (const IgnoreSetSource& set : rules.ignoreSets) {
            if (n == 1)
                for (const ByteRange& r : set.singles) strip = strip || (b >= r.low && b <= r.high);
            else
                for (const CodeRange& r : set.doubles) {
                    const auto t = static_cast<unsigned char>(text[i + 1]);
                    strip = strip || (b == r.lead && t >= r.low && t <= r.high);
                }
        }
        if (!strip) kept.append(text, i, n);
        i += n;
    }
    return kept;
}

// True when `form` and `text` agree on the bytes where they overlap with
// `form` placed at `at` of `text` (`at` may be negative: the form starts
// before the text).
bool Overlaps(const std::string& form, const std::string& text, long at, bool fold) {
    bool any = false;
    for (long k = 0; k < static_cast<long>(form.size()); ++k) {
        const long t = at + k;
        if (t < 0 || t >= static_cast<long>(text.size())) continue;
        const char a = fold ? LowerAscii(form[static_cast<std::size_t>(k)]) : form[static_cast<std::size_t>(k)];
        const char b = fold ? LowerAscii(text[static_cast<std::size_t>(t)]) : text[static_cast<std::size_t>(t)];
        if (a != b) return false;
        any = true;
    }
    return any;
}

// True when some written form of `syllable` can stand on a byte of `text`:
// starting inside it, or running into it from before.
bool WrittenInside(const SyllableSource& syllable, const std::string& text) {
    const long n = static_cast<long>(text.size());
    for (long at = 0; at < n; ++at) {
        const auto b = static_cast<unsigned char>(text[static_cast<std::size_t>(at)]);
        for (const CodeRange& r : syllable.ranges) {
            if (b != r.lead) continue;
            if (at + 1 == n) return true;
            const auto t = static_cast<unsigned char>(text[static_cast<std::size_t>(at + 1)]);
            if (t >= r.low && t <= r.high) return true;
        }
    }
    for (long at = 1 - static_cast<long>(syllable.pinyin.size()); at < n; ++at)
        if (Overlaps(syllable.pinyin, text, at, true)) return true;
    if (syllable.hasSplit)
        for (long at = 1 - static_cast<long>(syllable.split.size()); at < n; ++at)
            if (Overlaps(syllable.split, text, at, false)) return true;
    return false;
}

// True when `text` occurs in `expression` starting on a character, letters in
// any case: the way an allowed expression is found in a line.
bool HoldsAt(const std::string& expression, const std::string& text) {
    for (std::size_t at = 0; at + text.size() <= expression.size();
         at += CCodePage936::IsLead(static_cast<unsigned char>(expression[at])) ? 2 : 1)
        if (Overlaps(text, expression, static_cast<long>(at), true)) return true;
    return false;
}

// Whether a rule can be judged: its row read without errors, and so did
// every phrase it names.
bool Judged(const RuleSource& rule, const RuleSetSource& rules) {
    if (rule.broken) return false;
    for (const PartRef& part : rule.parts)
        if (part.kind == PartKind::kPhrase && rules.phrases[static_cast<std::size_t>(part.index)].broken) return false;
    return true;
}

struct Tried {
    const RuleSource* rule;
    bool isCombo;
    std::vector<Run> units;
};

}  // namespace

void CRuleLinter::Warn(const SourcePos& pos, std::string message) {
    m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kWarning, pos, std::move(message)});
}

void CRuleLinter::Note(const SourcePos& pos, std::string message) {
    if (m_notes) m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kNote, pos, std::move(message)});
}

void CRuleLinter::Explain(const RuleSetSource& rules, std::vector<Diagnostic>* diagnostics) {
    m_diagnostics = diagnostics;
    m_notes = true;
    CheckReadings(rules);
    m_notes = false;
}

void CRuleLinter::Check(const RuleSetSource& rules, std::vector<Diagnostic>* diagnostics) {
    m_diagnostics = diagnostics;
    m_notes = false;
    CheckReadings(rules);
    CheckIgnoreSets(rules);
    CheckSyllableOverlap(rules);
    CheckLevels(rules);
    CheckPhraseStarts(rules);
    CheckShadowing(rules);
    CheckAllowed(rules);
    CheckNoise(rules);
}

void CRuleLinter::CheckNoise(const RuleSetSource& rules) {
    for (const RuleSource& phrase : rules.phrases) {
        if (!phrase.listed || phrase.broken) continue;
        const std::string& text = phrase.text;
        bool digits = !text.empty();
        for (char c : text) digits = digits && c >= '0' && c <= '9';
        std::size_t end = 0;
        std::uint32_t cp = 0;
        const bool single = DecodeUtf8(text, &end, &cp) && end == text.size();
        // Longer runs are the phone and account numbers lists are meant to
        // ban, and a run never matches inside a longer one.
        if (digits && text.size() > 1 && text.size() <= kMaxNoisyDigits)
            Warn(phrase.textPos, "the entry '" + text + "' is a short run of digits, found in much innocent text");
        else if (single && cp < 0x80)
            Warn(phrase.textPos, "the entry '" + text + "' is a single letter or digit, found in much innocent text");
        else if (single)
            Warn(phrase.textPos, "the entry '" + text + "' is a single character, found in much innocent text");
    }
}

void CRuleLinter::CheckAllowed(const RuleSetSource& rules) {
    for (const AllowSource& allowed : rules.allow) {
        std::vector<std::pair<const RuleSource*, bool>> covered;  // rule, is a combination
        if (allowed.rules.empty()) {
            for (const RuleSource& rule : rules.phrases) covered.emplace_back(&rule, false);
            for (const RuleSource& rule : rules.combos) covered.emplace_back(&rule, true);
        } else {
            for (const RuleRefSource& ref : allowed.rules) {
                const auto& table = ref.isCombo ? rules.combos : rules.phrases;
                covered.emplace_back(&table[static_cast<std::size_t>(ref.index)], ref.isCombo);
            }
        }
        const std::string text = Stripped(allowed.bytes, rules);
        bool hidesSomething = false;
        for (const auto& [rule, isCombo] : covered) {
            if (!Judged(*rule, rules)) continue;
            for (const Run& run : Units(*rule, isCombo, rules))
                for (const Element& e : run)
                    hidesSomething =
                        hidesSomething || WrittenInside(rules.syllables[static_cast<std::size_t>(e.index)], text);
            if (isCombo) continue;
            std::string expression;
            if (!CCodePage936::Instance().FromUtf8(rule->text, &expression, nullptr)) continue;
            expression = Stripped(expression, rules);
            if (!text.empty() && HoldsAt(expression, text))
                Warn(allowed.textPos, "lies inside the expression of " + DescribeRule(*rule, "phrase") +
                                          ", which then never catches it written as it stands");
        }
        if (!hidesSomething)
            Warn(allowed.textPos, "no syllable of the rules it covers is written in it, so it lets nothing through");
    }
}

void CRuleLinter::CheckReadings(const RuleSetSource& rules) {
    const std::size_t fullWidth = PhrasesWithFullWidthRows(rules);
    if (!m_notes && !FoldsFullWidth(rules) && fullWidth < rules.phrases.size())
        Warn(rules.phrases[fullWidth].pos,
             "no room for full-width rows from this phrase on: the phrase rows before it fill the " +
                 std::to_string(kMaxReferencedRows) + " that can be referred to, so this phrase and the " +
                 std::to_string(rules.phrases.size() - fullWidth - 1) +
                 " after it may miss pinyin written in full-width letters");
    for (int t = 0; t < 2; ++t) {
        const std::vector<RuleSource>& list = t == 0 ? rules.phrases : rules.combos;
        for (std::size_t index = 0; index < list.size(); ++index) {
            const RuleSource& rule = list[index];
            std::string words, marked, variants;
            for (const CharacterChoice& choice : rule.choices) {
                const std::string& c = choice.character;
                if (!m_notes && choice.source == CharacterChoice::Source::kTable && !choice.others.empty())
                    Warn(choice.pos, "'" + c + "' has several readings and is read as '" + choice.reading +
                                         "' only because its syllable holds it (it also reads " + choice.others +
                                         "); write " + c + "(" + choice.reading + ") to keep that reading or " + c +
                                         "(" + choice.others.substr(0, choice.others.find(' ')) + ") for another");
                if (!m_notes && !choice.leftOut.empty())
                    Warn(choice.pos, "no room for " + choice.leftOut + " beside the code ranges of '" + choice.reading +
                                         "' (a syllable row holds three), so the rule misses " +
                                         (choice.leftOut.size() > 3 ? "them" : "it"));
                if (choice.source == CharacterChoice::Source::kWord &&
                    (words.empty() || words.rfind(choice.word) != words.size() - choice.word.size()))
                    words += (words.empty() ? "" : ", ") + choice.word;
                if (choice.source == CharacterChoice::Source::kMarked) marked += c;
                const std::string pair = choice.variants + " for " + c;
                if (!choice.variants.empty() && (", " + variants + ",").find(", " + pair + ",") == std::string::npos)
                    variants += (variants.empty() ? "" : ", ") + pair;
            }
            std::string made;
            if (!words.empty() || !marked.empty()) {
                std::string pinyin;
                for (const PartRef& part : rule.parts)
                    if (part.kind == PartKind::kWritten)
                        pinyin += (pinyin.empty() ? "" : " ") +
                                  rules.written[static_cast<std::size_t>(part.index)].romanised;
                    else if (part.kind == PartKind::kSyllable)
                        pinyin +=
                            (pinyin.empty() ? "" : " ") + rules.syllables[static_cast<std::size_t>(part.index)].pinyin;
                made = "reads " + pinyin + " (";
                if (!words.empty()) made += "dictionary: " + words + (marked.empty() ? "" : "; ");
                if (!marked.empty()) made += "marked: " + marked;
                made += ")";
            }
            if (!variants.empty()) made += (made.empty() ? "" : "; ") + std::string("also ") + variants;
            if (made.empty() || !m_notes) continue;
            const int rows = t == 0 && index >= fullWidth ? 1 : RowCount(rule, t == 1, rules);
            Note(rule.textPos, made + "; " + std::to_string(rows) + (rows == 1 ? " row" : " rows"));
        }
    }
}

void CRuleLinter::CheckLevels(const RuleSetSource& rules) {
    std::vector<bool> usedByCombo(rules.phrases.size(), false);
    for (const RuleSource& combo : rules.combos)
        for (const PartRef& part : combo.parts)
            if (part.kind == PartKind::kPhrase) usedByCombo[static_cast<std::size_t>(part.index)] = true;
    for (int t = 0; t < 2; ++t) {
        const std::vector<RuleSource>& list = t == 0 ? rules.phrases : rules.combos;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const RuleSource& rule = list[i];
            if (!Judged(rule, rules)) continue;
            if (rule.level > kMaxUsualLevel)
                Warn(rule.levelPos, "the level " + std::to_string(rule.level) + " is above " +
                                        std::to_string(kMaxUsualLevel) + ", the highest level rule data uses");
            if (rule.level == 0 && t == 1) Warn(rule.levelPos, "a combination of level 0 is never tried");
            if (rule.level == 0 && t == 0 && !usedByCombo[i])
                Warn(rule.levelPos, "a phrase of level 0 is never tried on its own, and no combination uses this one");
        }
    }
}

void CRuleLinter::CheckShadowing(const RuleSetSource& rules) {
    // The filter's checking order: highest level first; within a level the
    // phrases, then the combinations, each in table order. Level 0 is never
    // tried.
    std::vector<Tried> order;
    for (int t = 0; t < 2; ++t) {
        const std::vector<RuleSource>& list = t == 0 ? rules.phrases : rules.combos;
        for (const RuleSource& rule : list)
            if (rule.level > 0 && Judged(rule, rules))
                order.push_back(Tried{&rule, t == 1, Units(rule, t == 1, rules)});
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const Tried& a, const Tried& b) { return a.rule->level > b.rule->level; });
    // An earlier rule can cover a later one only when its first unit begins
    // some run of the later one, syllable for syllable: so earlier rules are
    // listed by the first two syllables of their first unit (one when it has
    // one), and only those a run of the later rule begins with are compared;
    // trying every pair made lint quadratic in the rules. Each list is in
    // checking order, so its first covering rule is the earliest.
    const auto key = [](const Run& run, std::size_t syllables) {
        const auto first = static_cast<std::uint64_t>(static_cast<std::uint32_t>(run[0].index));
        return syllables == 1 ? first << 32 | 0xFFFFFFFFu : first << 32 | static_cast<std::uint32_t>(run[1].index);
    };
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byStart;
    std::vector<std::size_t> coverAll;  // earlier rules whose first unit is empty
    const std::size_t none = order.size();
    const auto firstCovering = [&order, none](const std::vector<std::size_t>& earlier, std::size_t r) {
        for (const std::size_t e : earlier)
            if (Covers(order[e].units, order[r].units)) return e;
        return none;
    };
    for (std::size_t r = 0; r < order.size(); ++r) {
        const std::vector<Run>& units = order[r].units;
        std::size_t e = firstCovering(coverAll, r);
        for (const Run& run : units) {
            for (std::size_t n = 1; n <= 2 && n <= run.size(); ++n) {
                const auto found = byStart.find(key(run, n));
                if (found != byStart.end()) e = std::min(e, firstCovering(found->second, r));
            }
        }
        if (!units.empty() && units[0].empty())
            coverAll.push_back(r);
        else if (!units.empty())
            byStart[key(units[0], units[0].size() == 1 ? 1 : 2)].push_back(r);
        if (e != none) {
            const std::string earlier = DescribeRule(*order[e].rule, order[e].isCombo ? "combination" : "phrase");
            const bool same = Covers(order[r].units, order[e].units);
            if (same && order[e].rule->level == order[r].rule->level && order[e].isCombo == order[r].isCombo)
                Warn(order[r].rule->pos, "duplicate of " + earlier + ": never the rule that decides a line's level");
            else
                Warn(order[r].rule->pos, "never the rule that decides a line's level: " + earlier + ", level " +
                                             std::to_string(order[e].rule->level) +
                                             ", is tried first and matches wherever this one does");
        }
    }
}

void CRuleLinter::CheckPhraseStarts(const RuleSetSource& rules) {
    for (const RuleSource& phrase : rules.phrases) {
        // A written phrase's letters are single bytes by design; its first
        // unit is no syllable of the table.
        if (phrase.parts.empty() || phrase.broken || phrase.parts[0].kind != PartKind::kSyllable) continue;
        const SyllableSource& first = rules.syllables[static_cast<std::size_t>(phrase.parts[0].index)];
        const bool oneByteSplit = first.hasSplit && first.split.size() == 1;
        if (phrase.parts.size() > 1 && (first.pinyin.size() == 1 || oneByteSplit))
            Warn(phrase.textPos, "starts with the syllable '" + first.pinyin + "', which can match a single byte (" +
                                     (first.pinyin.size() == 1 ? "its pinyin" : "its split form") +
                                     "); after a failed attempt the search moves on two bytes and can step past "
                                     "the phrase or into the middle of a character");
    }
}

void CRuleLinter::CheckSyllableOverlap(const RuleSetSource& rules) {
    for (std::size_t b = 0; b < rules.syllables.size(); ++b) {
        for (const CodeRange& later : rules.syllables[b].ranges) {
            bool reported = false;
            for (std::size_t a = 0; a < b && !reported; ++a) {
                for (const CodeRange& earlier : rules.syllables[a].ranges) {
                    if (earlier.lead != later.lead || earlier.high < later.low || later.high < earlier.low) continue;
                    Warn(later.pos,
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
            Warn(set.pos, "this ignore-set has no ranges and strips nothing");
        for (const ByteRange& range : set.singles) {
            if (range.high >= 0x81 && range.low <= 0xFE)
                Warn(range.pos, "bytes 81 to FE start two-byte characters and are never stripped as single bytes");
            // Pinyin is matched after stripping and in any case, so a stripped
            // letter, upper or lower case, can never be part of a match.
            for (const SyllableSource& syllable : rules.syllables) {
                const auto stripped = [&range](char c) {
                    const unsigned char b = static_cast<unsigned char>(c);
                    const unsigned char upper = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
                    const unsigned char lower = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
                    return (upper >= range.low && upper <= range.high) || (lower >= range.low && lower <= range.high);
                };
                if (std::any_of(syllable.pinyin.begin(), syllable.pinyin.end(), stripped)) {
                    Warn(range.pos, "strips letters of the pinyin '" + syllable.pinyin + "', which then never matches");
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
                    Warn(range.pos, "strips characters that the syllable '" + syllable.pinyin +
                                        "' is written with, so rules never see them");
                    break;
                }
            }
        }
    }
}

}  // namespace chatsieve::tools
