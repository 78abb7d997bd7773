// The linter's entry points and its checks of the rules themselves: levels,
// shadowing, how phrases start, readings and variants, and list entries. Its
// checks of the tables they are written with are in CRuleLinterTables.cpp.
#include "compiler/CRuleLinter.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "compiler/EnglishWords.h"
#include "compiler/PackageRows.h"
#include "compiler/RuleCoverage.h"
#include "compiler/Utf8.h"
#include "format/RulePackage.h"
#include "load/LevelOrder.h"

namespace chatsieve::tools {

namespace {

const char kNoisy[] = "word-list entries found in much innocent text";
const char kNeverTried[] = "rules of level 0 never tried";
const char kShadowed[] = "rules that never decide a line's level";
const char kShadowedEntries[] = "list entries another entry shadows";

// Digit runs up to this long are years, prices and counts in innocent text.
constexpr std::size_t kMaxNoisyDigits = 4;

struct Tried {
    const RuleSource* rule;
    bool isCombo;
    std::vector<Run> units;
};

}  // namespace

void CRuleLinter::Warn(const SourcePos& pos, const char* kind, std::string message) {
    m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kWarning, pos, std::move(message), kind});
}

void CRuleLinter::Note(const SourcePos& pos, const char* kind, std::string message) {
    if (m_notes) m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kNote, pos, std::move(message), kind});
}

void CRuleLinter::Explain(const RuleSetSource& rules, std::vector<Diagnostic>* diagnostics) {
    m_diagnostics = diagnostics;
    m_notes = true;
    CheckReadings(rules);
    NoteEnglishReadings(rules);
    m_notes = false;
}

void CRuleLinter::Check(const RuleSetSource& rules, std::vector<Diagnostic>* diagnostics, bool shadowNotes) {
    m_diagnostics = diagnostics;
    m_notes = false;
    m_shadowNotes = shadowNotes;
    CheckReadings(rules);
    CheckIgnoreSets(rules);
    CheckSyllableOverlap(rules);
    CheckLevels(rules);
    CheckPhraseStarts(rules);
    CheckShadowing(rules);
    CheckAllowed(rules);
    CheckNoise(rules);
}

void CRuleLinter::NoteEnglishReadings(const RuleSetSource& rules) {
    for (const RuleSource& phrase : rules.phrases) {
        if (!phrase.listed || phrase.broken || phrase.level == 0) continue;
        const std::string letters = PinyinOf(phrase, rules);
        if (letters.empty() || !IsEnglishWord(letters)) continue;
        Note(phrase.textPos, "list entries whose pinyin is an English word",
             "reads '" + letters + "', an English word, which " +
                 (phrase.catchesEnglish ? "this entry catches in English text too (its list's english is catch)"
                                        : "is let through for this entry"));
    }
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
            Warn(phrase.textPos, kNoisy,
                 "the entry '" + text + "' is a short run of digits, found in much innocent text");
        else if (single && cp < 0x80)
            Warn(phrase.textPos, kNoisy,
                 "the entry '" + text + "' is a single letter or digit, found in much innocent text");
        else if (single)
            Warn(phrase.textPos, kNoisy, "the entry '" + text + "' is a single character, found in much innocent text");
    }
}

void CRuleLinter::CheckReadings(const RuleSetSource& rules) {
    const std::size_t fullWidth = PhrasesWithFullWidthRows(rules);
    if (!m_notes && !FoldsFullWidth(rules) && fullWidth < rules.phrases.size())
        Warn(rules.phrases[fullWidth].pos, "",
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
                    Warn(choice.pos, "characters of several readings read by their syllable alone",
                         "'" + c + "' has several readings and is read as '" + choice.reading +
                             "' only because its syllable holds it (it also reads " + choice.others + "); write " + c +
                             "(" + choice.reading + ") to keep that reading or " + c + "(" +
                             choice.others.substr(0, choice.others.find(' ')) + ") for another");
                if (!m_notes && choice.source == CharacterChoice::Source::kUsage && !choice.others.empty())
                    Warn(choice.pos, "characters of several readings read by their most used reading",
                         "'" + c + "' has several readings and is read as '" + choice.reading +
                             "', the most used (it also reads " + choice.others + "); write " + c + "(" +
                             choice.reading + ") to keep that reading or " + c + "(" +
                             choice.others.substr(0, choice.others.find(' ')) + ") for another");
                if (!m_notes && !choice.leftOut.empty())
                    Warn(choice.pos, "variants with no room beside a syllable's code ranges",
                         "no room for " + choice.leftOut + " beside the code ranges of '" + choice.reading +
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
                        pinyin +=
                            (pinyin.empty() ? "" : " ") + rules.written[static_cast<std::size_t>(part.index)].romanised;
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
            Note(rule.textPos, "readings and variants taken",
                 made + "; " + std::to_string(rows) + (rows == 1 ? " row" : " rows"));
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
                Warn(rule.levelPos, "levels above the highest rule data uses",
                     "the level " + std::to_string(rule.level) + " is above " + std::to_string(kMaxUsualLevel) +
                         ", the highest level rule data uses: the filter tries this rule before "
                         "every rule of level " +
                         std::to_string(kMaxUsualLevel) + " or below, and FilterText returns " +
                         std::to_string(rule.level) +
                         " to the host for a line it decides, which a host built for 0 to " +
                         std::to_string(kMaxUsualLevel) + " may not expect");
            if (rule.level == 0 && t == 1) Warn(rule.levelPos, kNeverTried, "a combination of level 0 is never tried");
            if (rule.level == 0 && t == 0 && !usedByCombo[i])
                Warn(rule.levelPos, kNeverTried,
                     "a phrase of level 0 is never tried on its own, and no combination uses this one");
        }
    }
}

void CRuleLinter::CheckShadowing(const RuleSetSource& rules) {
    // The rules in the loader's order (the phrases, then the combinations,
    // each in table order), put in the filter's checking order; those never
    // tried are left out.
    std::vector<Tried> order;
    for (int t = 0; t < 2; ++t) {
        const std::vector<RuleSource>& list = t == 0 ? rules.phrases : rules.combos;
        for (const RuleSource& rule : list)
            if (Judged(rule, rules)) order.push_back(Tried{&rule, t == 1, Units(rule, t == 1, rules)});
    }
    order.erase(SortInCheckingOrder(order.begin(), order.end(), [](const Tried& tried) { return tried.rule->level; }),
                order.end());
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
        // A phrase that holds an earlier phrase further in is covered too,
        // when the search for the earlier one is sure to reach it there: both
        // searches stand only on characters, and the earlier phrase's first
        // syllable cannot start on the last byte of what stands before it.
        std::size_t heldAt = 0;
        // Written units are left out: their letter edges depend on what
        // stands around them, so holding one does not prove it is found.
        if (e == none && !order[r].isCombo && units.size() == 1 && !units[0].empty() &&
            std::all_of(units[0].begin(), units[0].end(), [](const Element& u) { return u.index >= 0; }) &&
            StepsOnCharacters(rules.syllables[static_cast<std::size_t>(units[0][0].index)])) {
            const Run& run = units[0];
            for (std::size_t j = 1; j < run.size(); ++j) {
                const Run rest(run.begin() + static_cast<std::ptrdiff_t>(j), run.end());
                const SyllableSource& first = rules.syllables[static_cast<std::size_t>(rest[0].index)];
                if (!StepsOnCharacters(first) ||
                    !CannotRunInto(rules.syllables[static_cast<std::size_t>(run[j - 1].index)], first))
                    continue;
                for (std::size_t n = 1; n <= 2 && n <= rest.size(); ++n) {
                    const auto found = byStart.find(key(rest, n));
                    if (found == byStart.end()) continue;
                    for (const std::size_t c : found->second) {
                        if (c >= e || order[c].isCombo || !IsPrefix(order[c].units[0], rest)) continue;
                        e = c;
                        heldAt = j;
                        break;
                    }
                }
            }
        }
        if (!units.empty() && units[0].empty())
            coverAll.push_back(r);
        else if (!units.empty())
            byStart[key(units[0], units[0].size() == 1 ? 1 : 2)].push_back(r);
        // A team uses its list as it stands, so one entry shadowing another
        // is nothing it can act on: lint notes it, build says nothing.
        const bool entries = e != none && order[r].rule->listed && order[e].rule->listed;
        if (e != none && (!entries || m_shadowNotes)) {
            const std::string earlier = DescribeRule(*order[e].rule, order[e].isCombo ? "combination" : "phrase");
            const bool same = Covers(order[r].units, order[e].units);
            const auto report = [&](std::string message) {
                if (entries)
                    m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kNote, order[r].rule->pos,
                                                        std::move(message), kShadowedEntries});
                else
                    Warn(order[r].rule->pos, kShadowed, std::move(message));
            };
            if (heldAt > 0)
                report("never the rule that decides a line's level: it holds " + earlier + ", level " +
                       std::to_string(order[e].rule->level) +
                       ", which is tried first and matches wherever this one does");
            else if (same && order[e].rule->level == order[r].rule->level && order[e].isCombo == order[r].isCombo)
                report("duplicate of " + earlier + ": never the rule that decides a line's level");
            else
                report("never the rule that decides a line's level: " + earlier + ", level " +
                       std::to_string(order[e].rule->level) + ", is tried first and matches wherever this one does");
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
            Warn(phrase.textPos, "phrases starting with a one-byte form",
                 "starts with the syllable '" + first.pinyin + "', which can match a single byte (" +
                     (first.pinyin.size() == 1 ? "its pinyin" : "its split form") +
                     "); after a failed attempt the search moves on two bytes and can step past "
                     "the phrase or into the middle of a character");
    }
}

}  // namespace chatsieve::tools
