#include "ScanPackage.h"

#include <chrono>
#include <ctime>
#include <filesystem>

#include "PackholdWriter.h"
#include "ScanTally.h"
#include "compiler/CCodePage936.h"
#include "format/RulePackage.h"

namespace chatsieve::tools {

namespace {

// A rule's matching mode: a package built before rules had modes matches
// every rule by sound.
std::string ModeOf(const packhold::Cell& match) {
    if (!match.IsPresent()) return "sound";
    if (match.Type() == packhold::CellType::kText) return match.TextValue().empty() ? "sound" : match.TextValue();
    if (match.Type() == packhold::CellType::kInt) return match.IntValue() == 0 ? "sound" : "written";
    return "sound";
}

// "2026-12-09 22:10:00 UTC", or empty when the system cannot say.
std::string ModificationTime(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_time_type written = fs::last_write_time(path, ec);
    if (ec) return {};
    // The file clock has no portable conversion before C++20; going through
    // both clocks' present moments is exact to well within a second.
    const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        written - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
    const std::tm* utc = std::gmtime(&seconds);
    char text[32];
    if (!utc || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", utc)) return {};
    return text;
}

}  // namespace

bool SummarizePackage(const std::string& path, PackageSummary* summary, std::string* error) {
    *summary = PackageSummary();
    std::vector<unsigned char> bytes;
    packhold::Package package;
    if (!packhold::ReadWholeFile(path, &bytes, error) ||
        !packhold::DecodePackage(bytes.data(), bytes.size(), kRulePackageKey, &package, error)) {
        *error = path + ": " + *error;
        return false;
    }
    summary->path = path;
    summary->size = static_cast<long long>(bytes.size());
    // Decoding checked the header, so the checksum field is there.
    for (int i = 3; i >= 0; --i) summary->checksum = summary->checksum << 8 | bytes[8 + static_cast<std::size_t>(i)];
    summary->written = ModificationTime(path);
    const CCodePage936& codePage = CCodePage936::Instance();
    for (std::size_t t = kPhraseTable; t <= kComboTable && t < package.tables.size(); ++t) {
        const packhold::Table& table = package.tables[t];
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            // Rows after a rule's first repeat it for other written forms.
            if (CellNamed(table, r, kVariantColumn).IsPresent()) continue;
            Explanation named;
            named.kind = t == kComboTable ? "combination" : "phrase";
            named.row = static_cast<int>(r) + 1;
            named.id = CellNamed(table, r, kIdColumn).TextValue();
            const packhold::Cell& file = CellNamed(table, r, kFileColumn);
            const packhold::Cell& line = CellNamed(table, r, kLineColumn);
            if (file.IsPresent() && line.IsPresent())
                named.source = file.TextValue() + ":" + std::to_string(line.IntValue());
            PackageRule rule;
            rule.name = RuleName(named);
            rule.kind = named.kind;
            rule.id = named.id;
            rule.source = named.source;
            rule.text = codePage.ToUtf8Lenient(CellNamed(table, r, kTextColumn).TextValue());
            rule.tags = CellNamed(table, r, kTagsColumn).TextValue();
            rule.mode = ModeOf(CellNamed(table, r, kMatchColumn));
            rule.level = CellNamed(table, r, kLevelColumn).IntValue();
            ++(t == kComboTable ? summary->combinations : summary->phrases);
            if (rule.level <= 0) ++summary->levelZero;
            summary->byName.emplace(rule.name, summary->rules.size());
            summary->rules.push_back(std::move(rule));
        }
    }
    // The filter reads a fifth table only when its first row has an allowed text.
    if (package.tables.size() > kAllowTable && !package.tables[kAllowTable].rows.empty() &&
        CellNamed(package.tables[kAllowTable], 0, kAllowColumn).IsPresent())
        summary->allowed = static_cast<long long>(package.tables[kAllowTable].rows.size());
    return true;
}

}  // namespace chatsieve::tools
