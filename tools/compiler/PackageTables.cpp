#include "compiler/PackageTables.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "compiler/AllowTable.h"
#include "compiler/CCodePage936.h"
#include "compiler/PackageRows.h"
#include "compiler/WrittenPhrase.h"
#include "format/RulePackage.h"

namespace chatsieve::tools {

namespace {

using packhold::Cell;
using packhold::CellType;

Cell OptionalText(const std::string& text) { return text.empty() ? Cell() : Cell::Text(text); }

std::string ToCp936(const std::string& utf8) {
    std::string out;
    TextError ignored;
    CCodePage936::Instance().FromUtf8(utf8, &out, &ignored);
    return out;
}

// Where each rule was written and its tags, after the columns the filter
// reads: the file's name without its folder, so that the same rules built
// from anywhere give the same package, and decompiling can put every rule
// back on its line. A rule's variant rows carry its place too.
void AddSourceColumns(const std::vector<RuleRow>& rows, packhold::Table* table) {
    table->columns.insert(
        table->columns.end(),
        {{kFileColumn, CellType::kText}, {kLineColumn, CellType::kInt}, {kTagsColumn, CellType::kText}});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const RuleSource& rule = *rows[r].rule;
        const std::string& path = rule.pos.file;
        const std::size_t slash = path.find_last_of("/\\");
        std::vector<Cell>& row = table->rows[r];
        row.push_back(Cell::Text(slash == std::string::npos ? path : path.substr(slash + 1)));
        row.push_back(Cell::Int(rule.pos.line));
        row.push_back(OptionalText(rule.tags));
    }
}

// Only in a package with written-mode phrases: each phrase's mode for the
// tools ("written"; no cell for sound) and, for the filter, whether a letter
// or digit may stand directly before (bit 1) or after (bit 2) its match.
void AddWrittenColumns(const RuleSetSource& rules, const std::vector<RuleRow>& rows, packhold::Table* table) {
    table->columns.insert(table->columns.end(), {{kMatchColumn, CellType::kText}, {kEdgeColumn, CellType::kInt}});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const RuleSource& rule = *rows[r].rule;
        const int edges = EdgeFlags(rule, rules);
        std::vector<Cell>& row = table->rows[r];
        row.push_back(rule.match == MatchMode::kWritten ? Cell::Text(kWrittenMode) : Cell());
        row.push_back(edges ? Cell::Int(edges) : Cell());
    }
}

// Only when some word list catches English words (lists.tsv's english
// column): "catch" on the rows of its entries, so that decompiling gives the
// column back; the filter does not read it.
void AddEnglishColumn(const std::vector<RuleRow>& rows, packhold::Table* table) {
    if (std::none_of(rows.begin(), rows.end(), [](const RuleRow& row) { return row.rule->catchesEnglish; })) return;
    table->columns.push_back({kEnglishColumn, CellType::kText});
    for (std::size_t r = 0; r < rows.size(); ++r)
        table->rows[r].push_back(rows[r].rule->catchesEnglish ? Cell::Text(kEnglishCatch) : Cell());
}

// The sixth table, after the allowed expressions (an empty table stands in
// for them when there are none): character ranges the filter folds to one
// byte each before the rules see a line. Full-width digits and letters
// become ASCII, so a rule's pinyin and Latin letters catch them without rows
// of their own.
void AddFoldTable(packhold::Package* package) {
    if (package->tables.size() == kAllowTable) {
        packhold::Table allow;
        allow.columns = AllowTableColumns();
        package->tables.push_back(std::move(allow));
    }
    packhold::Table fold;
    fold.columns = {{kFoldColumn, CellType::kBytes}, {kFoldToColumn, CellType::kInt}};
    const unsigned char ranges[3][3] = {{0xA3, 0xB0, 0xB9}, {0xA3, 0xC1, 0xDA}, {0xA3, 0xE1, 0xFA}};
    for (const auto& range : ranges)
        fold.rows.push_back({Cell::Bytes({range[0], range[1], range[2]}), Cell::Int(range[1] - 0x80)});
    package->tables.push_back(std::move(fold));
}

}  // namespace

packhold::Package MakeRulePackage(const RuleSetSource& rules) {
    packhold::Package package;
    package.tables.resize(kRequiredTables);
    packhold::Table& ignore = package.tables[kIgnoreTable];
    ignore.columns = {{kCodeColumn, CellType::kIntArray}, {kLogColumn, CellType::kInt}};
    for (const IgnoreSetSource& set : rules.ignoreSets) {
        std::vector<std::int32_t> values;
        for (const ByteRange& range : set.singles) values.insert(values.end(), {range.low, range.high});
        values.push_back(-1);
        for (const CodeRange& range : set.doubles) values.insert(values.end(), {range.lead, range.low, range.high});
        ignore.rows.push_back({Cell::IntArray(values), Cell::Int(rules.logEnabled ? 1 : 0)});
    }

    const PackageRows rows = LayOutRows(rules);
    packhold::Table& syllables = package.tables[kSyllableTable];
    syllables.columns = {{kPinyinColumn, CellType::kText},
                         {kCodeColumn, CellType::kBytes},
                         {kSplitColumn, CellType::kText},
                         {kVariantColumn, CellType::kInt}};
    for (const SyllableRow& syllable : rows.syllables) {
        std::vector<unsigned char> codes;
        for (const CodeRange& range : syllable.ranges) codes.insert(codes.end(), {range.lead, range.low, range.high});
        syllables.rows.push_back(
            {Cell::Text(syllable.pinyin), Cell::Bytes(codes), syllable.hasSplit ? Cell::Text(syllable.split) : Cell(),
             syllable.derivedFrom < 0 && !syllable.written ? Cell() : Cell::Int(syllable.derivedFrom + 1)});
    }

    for (const RuleTable t : {kPhraseTable, kComboTable}) {
        packhold::Table& table = package.tables[t];
        table.columns = {{kLevelColumn, CellType::kInt},
                         {kRefsColumn, CellType::kIntArray},
                         {kIdColumn, CellType::kText},
                         {kTextColumn, CellType::kText},
                         {kVariantColumn, CellType::kInt}};
        for (const RuleRow& row : t == kPhraseTable ? rows.phrases : rows.combos) {
            const RuleSource& rule = *row.rule;
            table.rows.push_back({Cell::Int(rule.level), Cell::IntArray(row.refs), OptionalText(rule.id),
                                  OptionalText(ToCp936(rule.text)),
                                  row.mainRow < 0 ? Cell() : Cell::Int(row.mainRow + 1)});
        }
        AddSourceColumns(t == kPhraseTable ? rows.phrases : rows.combos, &table);
    }
    if (FoldsFullWidth(rules)) AddWrittenColumns(rules, rows.phrases, &package.tables[kPhraseTable]);
    AddEnglishColumn(rows.phrases, &package.tables[kPhraseTable]);
    AddAllowTable(rules, rows, &package);
    if (FoldsFullWidth(rules)) AddFoldTable(&package);
    return package;
}

}  // namespace chatsieve::tools
