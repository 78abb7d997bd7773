// What the scan report says about the rule package it screened with: the
// file (path, size, checksum, when it was written) and every rule in it as
// its authors wrote it, named the way scan names the rules that decide
// lines, so that the report can show rules that never fired and describe
// rules without ids by their expression.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_SCANPACKAGE_H
#define CHATSIEVE_TOOLS_CHATSIEVE_SCANPACKAGE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace chatsieve::tools {

struct PackageRule {
    std::string name;    // "phrase cheat", as RuleName gives it
    std::string kind;    // "phrase" or "combination"
    std::string id;      // may be empty
    std::string text;    // the expression or the parts as written, UTF-8
    std::string tags;    // "cheat,contact"; may be empty
    std::string mode;    // how its characters match: "sound" unless the package says otherwise
    std::string source;  // "phrases.tsv:12"; empty for packages that do not say
    int level = 0;
};

struct PackageSummary {
    std::string path;
    long long size = 0;
    std::uint32_t checksum = 0;  // the CRC-32 of its header
    std::string written;         // the file's modification time, "2026-12-09 22:10:00 UTC"
    long long phrases = 0;       // rules as written, not the rows they compiled to
    long long combinations = 0;
    long long levelZero = 0;  // of those, rules never tried on their own
    long long allowed = 0;    // allowed expressions
    std::vector<PackageRule> rules;
    std::map<std::string, std::size_t> byName;  // name -> index in `rules`
};

// Reads the package at `path`. False, with `*error`, when it cannot be read
// or decoded.
bool SummarizePackage(const std::string& path, PackageSummary* summary, std::string* error);

}  // namespace chatsieve::tools

#endif
