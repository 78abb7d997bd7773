#include "compiler/PackageRows.h"

#include <map>
#include <tuple>

#include "format/RulePackage.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

// The kinds of row a rule gives, in their order.
enum Kind { kMain, kUpper, kLower, kKindCount };
// What a syllable row holds in its split column.
enum Form { kOwnSplit, kFullWidthUpper, kFullWidthLower };

std::string FullWidth(const std::string& pinyin, bool upper) {
    std::string out;
    for (char c : pinyin) {
        const int letter = static_cast<int>(ToAsciiLower(static_cast<unsigned char>(c))) - 'a';
        out += '\xA3';
        out += static_cast<char>((upper ? 0xC1 : 0xE1) + letter);
    }
    return out;
}

bool HasSplit(const PartRef& part, const RuleSetSource& rules) {
    return part.kind == PartKind::kSyllable && rules.syllables[static_cast<std::size_t>(part.index)].hasSplit;
}

bool PhraseHasSplit(const RuleSource& phrase, const RuleSetSource& rules) {
    for (const PartRef& part : phrase.parts)
        if (HasSplit(part, rules)) return true;
    return false;
}

bool NeedsUpperRow(const RuleSource& rule, bool isCombo, const RuleSetSource& rules) {
    for (const PartRef& part : rule.parts) {
        if (HasSplit(part, rules)) return true;
        if (isCombo && part.kind == PartKind::kPhrase &&
            PhraseHasSplit(rules.phrases[static_cast<std::size_t>(part.index)], rules))
            return true;
    }
    return false;
}

class CLayout {
public:
    explicit CLayout(const RuleSetSource& rules) : m_rules(rules) {
        for (const SyllableSource& s : rules.syllables)
            m_rows.syllables.push_back(SyllableRow{s.pinyin, s.ranges, s.hasSplit, s.split, -1});
    }

    PackageRows Run() {
        for (int t = 0; t < 2; ++t) {
            const bool isCombo = t == 1;
            const std::vector<RuleSource>& source = isCombo ? m_rules.combos : m_rules.phrases;
            std::vector<RuleRow>& rows = isCombo ? m_rows.combos : m_rows.phrases;
            std::vector<std::vector<int>>& rowsOf = isCombo ? m_rows.comboRows : m_rows.phraseRows;
            const std::size_t fullWidth = FoldsFullWidth(m_rules) ? 0
                                          : isCombo               ? source.size()
                                                                  : PhrasesWithFullWidthRows(m_rules);
            for (const RuleSource& rule : source) {
                const bool roomy = rowsOf.size() < fullWidth;
                rowsOf.emplace_back();
                const bool upper = NeedsUpperRow(rule, isCombo, m_rules);
                for (int kind = kMain; kind < kKindCount; ++kind) {
                    if ((kind == kUpper && !upper) || (kind != kMain && !roomy)) continue;
                    RuleRow row;
                    row.rule = &rule;
                    row.mainRow = rowsOf.back().empty() ? -1 : rowsOf.back().front();
                    for (const PartRef& part : rule.parts) row.refs.push_back(Ref(part, static_cast<Kind>(kind)));
                    rowsOf.back().push_back(static_cast<int>(rows.size()));
                    rows.push_back(row);
                }
            }
        }
        return m_rows;
    }

private:
    std::int32_t Ref(const PartRef& part, Kind kind) {
        if (part.kind == PartKind::kPhrase) {
            // The phrase's row of this kind: its rows are main, [upper,] lower,
            // or main alone.
            const std::vector<int>& rows = m_rows.phraseRows[static_cast<std::size_t>(part.index)];
            int row = rows.front();
            if (kind == kLower) row = rows.back();
            if (kind == kUpper && rows.size() == 3) row = rows[1];
            return EncodeRuleRef(kPhraseKind, row);
        }
        if (part.kind == PartKind::kWritten) return EncodeRuleRef(kSyllableKind, WrittenRowOf(part.index));
        const SyllableSource& syllable = m_rules.syllables[static_cast<std::size_t>(part.index)];
        Form form = kind == kLower ? kFullWidthLower : kFullWidthUpper;
        // Where the filter folds full-width letters, plain pinyin catches them.
        if (kind == kMain && (syllable.hasSplit || FoldsFullWidth(m_rules))) form = kOwnSplit;
        return EncodeRuleRef(kSyllableKind, SyllableRowOf(part, form));
    }

    int SyllableRowOf(const PartRef& part, Form form) {
        if (part.extra.empty() && form == kOwnSplit) return part.index;
        std::vector<std::tuple<int, int, int>> extra;
        for (const CodeRange& r : part.extra) extra.emplace_back(r.lead, r.low, r.high);
        const auto key = std::make_tuple(part.index, static_cast<int>(form), extra);
        const auto found = m_derived.find(key);
        if (found != m_derived.end()) return found->second;
        const SyllableSource& syllable = m_rules.syllables[static_cast<std::size_t>(part.index)];
        SyllableRow row{syllable.pinyin, syllable.ranges, syllable.hasSplit, syllable.split, part.index};
        row.ranges.insert(row.ranges.end(), part.extra.begin(), part.extra.end());
        if (form != kOwnSplit) {
            row.hasSplit = true;
            row.split = FullWidth(syllable.pinyin, form == kFullWidthUpper);
        }
        const int index = static_cast<int>(m_rows.syllables.size());
        m_rows.syllables.push_back(row);
        m_derived.emplace(key, index);
        return index;
    }

    int WrittenRowOf(int unit) {
        const auto found = m_writtenRows.find(unit);
        if (found != m_writtenRows.end()) return found->second;
        const WrittenSyllable& w = m_rules.written[static_cast<std::size_t>(unit)];
        SyllableRow row{w.romanised, w.ranges, w.hasSplit, w.split, w.home};
        row.written = true;
        const int index = static_cast<int>(m_rows.syllables.size());
        m_rows.syllables.push_back(row);
        m_writtenRows.emplace(unit, index);
        return index;
    }

    const RuleSetSource& m_rules;
    PackageRows m_rows;
    std::map<int, int> m_writtenRows;
    std::map<std::tuple<int, int, std::vector<std::tuple<int, int, int>>>, int> m_derived;
};

}  // namespace

PackageRows LayOutRows(const RuleSetSource& rules) { return CLayout(rules).Run(); }

int RowCount(const RuleSource& rule, bool isCombo, const RuleSetSource& rules) {
    if (FoldsFullWidth(rules)) return 1;
    return NeedsUpperRow(rule, isCombo, rules) ? 3 : 2;
}

std::size_t PhrasesWithFullWidthRows(const RuleSetSource& rules) {
    if (FoldsFullWidth(rules)) return 0;
    const std::size_t phrases = rules.phrases.size();
    const auto limit = static_cast<std::size_t>(kMaxReferencedRows);
    if (phrases >= limit) return 0;
    std::size_t spare = limit - phrases;
    for (std::size_t i = 0; i < phrases; ++i) {
        const auto extra = static_cast<std::size_t>(RowCount(rules.phrases[i], false, rules) - 1);
        if (extra > spare) return i;
        spare -= extra;
    }
    return phrases;
}

}  // namespace chatsieve::tools
