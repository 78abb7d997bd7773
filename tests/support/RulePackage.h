// Writes a rule set as the rule package the loader reads: four tables in
// order, with the columns the loader asks for, and a fifth of allowed
// expressions when the set has any.
#ifndef CHATSIEVE_TESTS_RULEPACKAGE_H
#define CHATSIEVE_TESTS_RULEPACKAGE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "PackholdWriter.h"
#include "RuleSet.h"
#include "TempDir.h"
#include "format/RulePackage.h"

namespace chatsieve::test {

inline packhold::Package MakeRulePackage(const RuleSet& rules) {
    using packhold::Cell;
    using packhold::CellType;
    packhold::Package package;
    package.tables.resize(kRequiredTables);
    package.tables[kIgnoreTable].columns = {{kCodeColumn, CellType::kIntArray}, {kLogColumn, CellType::kInt}};
    for (const auto& values : rules.skipSets)
        package.tables[kIgnoreTable].rows.push_back({Cell::IntArray(values), Cell::Int(rules.logEnabled)});
    package.tables[kSyllableTable].columns = {
        {kPinyinColumn, CellType::kText}, {kCodeColumn, CellType::kBytes}, {kSplitColumn, CellType::kText}};
    for (const auto& row : rules.syllables)
        package.tables[kSyllableTable].rows.push_back(
            {Cell::Text(row.romanised), Cell::Bytes(row.codes), row.split ? Cell::Text(row.split) : Cell()});
    for (const RuleTable t : {kPhraseTable, kComboTable}) {
        package.tables[t].columns = {{kLevelColumn, CellType::kInt}, {kRefsColumn, CellType::kIntArray}};
        for (const auto& row : t == kPhraseTable ? rules.phrases : rules.combos)
            package.tables[t].rows.push_back({Cell::Int(row.level), Cell::IntArray(row.refs)});
    }
    if (!rules.allow.empty()) {
        package.tables.emplace_back();
        package.tables[kAllowTable].columns = {
            {kAllowColumn, CellType::kText}, {kAllowRulesColumn, CellType::kIntArray}, {kNoteColumn, CellType::kText}};
        for (const auto& row : rules.allow)
            package.tables[kAllowTable].rows.push_back(
                {Cell::Text(row.text), row.rules.empty() ? Cell() : Cell::IntArray(row.rules), Cell()});
    }
    return package;
}

// Writes `package` to Data/Scp/Chatsieve.res under the working directory.
inline void WriteRulePackage(const packhold::Package& package, const std::string& key = packhold::kDefaultKey) {
    std::vector<unsigned char> bytes;
    std::string error;
    ASSERT_TRUE(packhold::EncodePackage(package, key, &bytes, &error)) << error;
    std::filesystem::create_directories("Data/Scp");
    ASSERT_TRUE(packhold::WriteFileAtomically("Data/Scp/Chatsieve.res", bytes, &error)) << error;
}

}  // namespace chatsieve::test

#endif
