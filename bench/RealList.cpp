#include "RealList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "compiler/CCodePage936.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CWordLists.h"
#include "compiler/Utf8.h"
#include "platform/AsciiText.h"

namespace chatsieve::bench {

namespace {

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool ChineseOnly(const std::string& word) {
    if (word.empty()) return false;
    std::size_t pos = 0;
    std::uint32_t cp = 0;
    while (pos < word.size())
        if (!tools::DecodeUtf8(word, &pos, &cp) || cp < 0x4E00 || cp > 0x9FFF) return false;
    return true;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The line numbers of phrases.tsv that the compiler refused.
std::set<int> RefusedLines(const std::vector<tools::Diagnostic>& diagnostics) {
    std::set<int> lines;
    for (const tools::Diagnostic& d : diagnostics)
        if (d.severity == tools::Diagnostic::Severity::kError &&
            d.pos.file.size() >= std::strlen(tools::kPhrasesFile) &&
            d.pos.file.compare(d.pos.file.size() - std::strlen(tools::kPhrasesFile), std::string::npos,
                               tools::kPhrasesFile) == 0)
            lines.insert(d.pos.line);
    return lines;
}

void WritePhrases(const std::string& path, const std::vector<std::string>& words, bool written) {
    std::ofstream out(path, std::ios::binary);
    out << "id\tlevel\tphrase" << (written ? "\tmatch\n" : "\n");
    for (std::size_t i = 0; i < words.size(); ++i)
        out << 'w' << i << '\t' << 1 + i % 63 << '\t' << words[i] << (written ? "\twritten\n" : "\n");
}

// Writes the package of `compiled.rules` under `root`; false on failure.
bool WritePackage(CompiledWords& compiled, const std::string& root, std::vector<tools::Diagnostic>* diagnostics) {
    const std::string package = root + "/Data/Scp/Chatsieve.res";
    std::filesystem::create_directories(root + "/Data/Scp");
    if (!tools::CRuleCompiler::Write(compiled.rules, package, diagnostics)) return false;
    compiled.root = root;
    return true;
}

}  // namespace

std::vector<std::string> ChineseWords(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".txt") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> words;
    std::set<std::string> seen;
    for (const auto& file : files) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            line = Trim(line);
            if (ChineseOnly(line) && seen.insert(line).second) words.push_back(line);
        }
    }
    return words;
}

std::vector<std::string> DictionarySelection(const std::string& dictionary, int count) {
    std::ifstream in(dictionary);
    std::set<std::string> distinct;
    std::string line;
    while (std::getline(in, line)) {
        const std::string word = line.substr(0, line.find(' '));
        if (!word.empty() &&
            std::none_of(word.begin(), word.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            distinct.insert(word);
    }
    const std::vector<std::string> sorted(distinct.begin(), distinct.end());
    std::vector<std::string> words;
    for (long long i = 0; i < count && !sorted.empty(); ++i)
        words.push_back(sorted[static_cast<std::size_t>(i * 997 % static_cast<long long>(sorted.size()))]);
    return words;
}

CompiledWords CompileWords(const std::vector<std::string>& words, const std::string& root, bool written) {
    CompiledWords compiled;
    compiled.offered = words.size();
    const std::string folder = root + "/rules";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/" + tools::kCombosFile, std::ios::binary) << "id\tlevel\tparts\n";
    std::vector<std::string> kept = words;
    // Each pass drops the rows the last one refused; a row refused only
    // because of another (none so far) takes one more pass.
    for (int pass = 0; pass < 4; ++pass) {
        WritePhrases(folder + "/" + tools::kPhrasesFile, kept, written);
        std::vector<tools::Diagnostic> diagnostics;
        tools::CRuleCompiler compiler;
        if (compiler.Read(folder, &compiled.rules, &diagnostics)) {
            if (!WritePackage(compiled, root, &diagnostics)) break;
            for (const std::string& word : kept) {
                std::string bytes;
                tools::CCodePage936::Instance().FromUtf8Lossy(word, &bytes);
                compiled.words.push_back(bytes);
            }
            return compiled;
        }
        const std::set<int> refused = RefusedLines(diagnostics);
        if (refused.empty()) {
            for (const tools::Diagnostic& d : diagnostics) std::fprintf(stderr, "%s\n", d.Format().c_str());
            break;
        }
        std::vector<std::string> next;
        // Line 1 is the header; word i is on line i + 2.
        for (std::size_t i = 0; i < kept.size(); ++i)
            if (!refused.count(static_cast<int>(i) + 2)) next.push_back(kept[i]);
        kept.swap(next);
    }
    return compiled;
}

CompiledWords CompileLists(const std::string& folder, const std::string& root) {
    CompiledWords compiled;
    const std::string rules = root + "/rules";
    std::filesystem::create_directories(rules);
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".txt") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::ofstream lists(rules + "/" + tools::kListsFile, std::ios::binary);
    lists << "file\tlevel\tmatch\n";
    for (const auto& file : files) {
        std::filesystem::copy_file(file, rules + "/" + file.filename().string(),
                                   std::filesystem::copy_options::overwrite_existing, error);
        lists << file.filename().string() << "\t30\twritten\n";
    }
    lists.close();
    std::vector<tools::Diagnostic> diagnostics;
    tools::CRuleCompiler compiler;
    if (files.empty() || !compiler.Read(rules, &compiled.rules, &diagnostics) ||
        !WritePackage(compiled, root, &diagnostics))
        return CompiledWords{};
    for (const std::string& word : ChineseWords(folder)) {
        std::string bytes;
        tools::CCodePage936::Instance().FromUtf8Lossy(word, &bytes);
        compiled.words.push_back(bytes);
    }
    compiled.offered = compiled.rules.phrases.size();
    return compiled;
}

std::string FortunesText() { return ReadAll("/usr/share/games/fortunes/chinese.u8"); }

std::string ManualText() {
    std::string text;
    FILE* pipe = popen("zcat /usr/share/man/zh_CN/man*/*.gz 2>/dev/null", "r");
    if (!pipe) return text;
    char buffer[1 << 16];
    std::string raw;
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) raw.append(buffer, n);
    pclose(pipe);
    std::istringstream lines(raw);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '.' || line[0] == '\'') continue;
        // \fB, \fP, \- and the like: the escape and the letter after it.
        std::string plain;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '\\') {
                plain += line[i];
            } else if (i + 1 < line.size()) {
                i += line[i + 1] == 'f' && i + 2 < line.size() ? 2 : 1;
            }
        }
        text += plain + "\n";
    }
    return text;
}

std::vector<std::string> CutLines(const std::string& text, std::size_t bytes, std::size_t count) {
    std::string joined, converted;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line != "%") joined += Trim(line);
    tools::CCodePage936::Instance().FromUtf8Lossy(joined, &converted);
    std::vector<std::string> cut;
    std::size_t at = 0;
    while (cut.size() < count && at < converted.size()) {
        std::size_t end = at;
        while (end < converted.size()) {
            const std::size_t width = GbkStep(static_cast<unsigned char>(converted[end]));
            if (end + width - at > bytes) break;
            end += width;
        }
        if (end == at) break;
        cut.push_back(converted.substr(at, end - at));
        at = end;
    }
    return cut;
}

}  // namespace chatsieve::bench
