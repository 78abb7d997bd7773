#include "NoiseAudit.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "CScreener.h"
#include "PackholdWriter.h"
#include "ScanTally.h"
#include "compiler/CCodePage936.h"
#include "compiler/CRuleCompiler.h"
#include "format/RulePackage.h"

namespace chatsieve::tools {

bool AuditCorpus(const RuleSetSource& rules, const std::string& corpus, std::vector<Diagnostic>* diagnostics,
                 std::string* error) {
    namespace fs = std::filesystem;
    std::ifstream in(corpus, std::ios::binary);
    std::error_code ec;
    if (!in || fs::is_directory(corpus, ec)) {
        *error = corpus + ": cannot read the corpus";
        return false;
    }
    // The library opens its package only as Data/Scp/Chatsieve.res under a
    // root folder: stage one in a scratch folder for the load.
    const fs::path scratch =
        fs::temp_directory_path(ec) / ("chatsieve-lint-" + std::to_string(std::random_device()()) + "-" +
                                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path target = scratch / "Data" / "Scp" / "Chatsieve.res";
    std::vector<unsigned char> bytes;
    CScreener screener;
    const bool opened = fs::create_directories(target.parent_path(), ec) &&
                        packhold::EncodePackage(CRuleCompiler::MakePackage(rules), kRulePackageKey, &bytes, error) &&
                        packhold::WriteFileAtomically(target.string(), bytes, error) &&
                        screener.Open(scratch.string(), error);
    fs::remove_all(scratch, ec);
    if (!opened) return false;

    // "file:line" as the package names a rule -> the rule.
    std::map<std::string, const RuleSource*> places;
    for (const auto* table : {&rules.phrases, &rules.combos}) {
        for (const RuleSource& rule : *table) {
            const std::size_t slash = rule.pos.file.find_last_of("/\\");
            places.emplace(
                rule.pos.file.substr(slash == std::string::npos ? 0 : slash + 1) + ":" + std::to_string(rule.pos.line),
                &rule);
        }
    }
    std::map<std::string, std::size_t> counts;
    std::map<std::string, std::size_t> english;  // lines decided through an English word read as pinyin
    std::size_t lines = 0, flagged = 0;
    std::string line, gbk;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        ++lines;
        CCodePage936::Instance().FromUtf8Lossy(line, &gbk);
        Explanation why;
        if (!screener.Explain(gbk, &why)) continue;
        ++flagged;
        ++counts[why.source];
        if (WrittenForms(why, gbk) & 1u << kFormEnglish) ++english[why.source];
    }
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const auto& count : counts) ranked.emplace_back(count.second, count.first);
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (ranked.size() > kMaxNoisyRulesShown) ranked.resize(kMaxNoisyRulesShown);
    const auto share = [lines](std::size_t n) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f%%", lines ? 100.0 * static_cast<double>(n) / lines : 0.0);
        return std::string(text);
    };
    for (const auto& [count, source] : ranked) {
        const auto found = places.find(source);
        const SourcePos pos = found == places.end() ? SourcePos{source, 1, 1} : found->second->textPos;
        const std::string text = found == places.end() ? source : "'" + found->second->text + "'";
        diagnostics->push_back(Diagnostic{Diagnostic::Severity::kWarning,
                                          pos,
                                          text + " decides " + std::to_string(count) + " of the " +
                                              std::to_string(lines) + " innocent lines of " + corpus + " (" +
                                              share(count) + ")",
                                          {}});
    }
    // Every rule that English text catches through its pinyin is named: a
    // list entry is let through for such words unless its list catches them.
    for (const auto& [source, count] : english) {
        const auto found = places.find(source);
        const SourcePos pos = found == places.end() ? SourcePos{source, 1, 1} : found->second->textPos;
        const std::string text = found == places.end() ? source : "'" + found->second->text + "'";
        diagnostics->push_back(Diagnostic{Diagnostic::Severity::kWarning, pos,
                                          text + " decides " + std::to_string(count) + " innocent lines of " + corpus +
                                              " through an English word read as its pinyin",
                                          "rules that English words in the corpus spell"});
    }
    diagnostics->push_back(
        Diagnostic{Diagnostic::Severity::kNote,
                   SourcePos{corpus, 1, 1},
                   std::to_string(flagged) + " of " + std::to_string(lines) + " lines flagged (" + share(flagged) + ")",
                   {}});
    return true;
}

}  // namespace chatsieve::tools
