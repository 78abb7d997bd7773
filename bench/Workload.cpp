#include "Workload.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "format/RulePackage.h"
#include "platform/AsciiText.h"

namespace chatsieve::bench {

namespace {

int Hex(const std::string& s, std::size_t at) { return std::stoi(s.substr(at, 2), nullptr, 16); }

std::vector<Syllable> ReadSyllables(const std::string& path) {
    std::ifstream in(path);
    std::vector<Syllable> syllables;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("pinyin", 0) == 0) continue;
        std::istringstream fields(line);
        Syllable syllable;
        std::string ranges;
        std::getline(fields, syllable.pinyin, '\t');
        std::getline(fields, ranges, '\t');
        std::istringstream each(ranges);
        std::string range;  // B0A1-B0A2
        while (each >> range)
            syllable.codes.insert(syllable.codes.end(),
                                  {static_cast<unsigned char>(Hex(range, 0)), static_cast<unsigned char>(Hex(range, 2)),
                                   static_cast<unsigned char>(Hex(range, 7))});
        syllables.push_back(syllable);
    }
    if (syllables.empty()) {
        std::fprintf(stderr, "no syllables in %s\n", path.c_str());
        std::abort();
    }
    return syllables;
}

bool Ignored(const std::vector<int>& ignore, const std::string& line, std::size_t at, std::size_t* width) {
    const unsigned char b = static_cast<unsigned char>(line[at]);
    const bool lead = IsGbkLeadByte(b);
    *width = GbkStep(b);
    std::size_t separator = 0;
    while (ignore[separator] != -1) ++separator;
    if (!lead) {
        for (std::size_t i = 0; i < separator; i += 2)
            if (ignore[i] <= b && b <= ignore[i + 1]) return true;
        return false;
    }
    const unsigned char trail = at + 1 < line.size() ? static_cast<unsigned char>(line[at + 1]) : 0;
    for (std::size_t i = separator + 1; i + 2 < ignore.size(); i += 3)
        if (ignore[i] == b && ignore[i + 1] <= trail && trail <= ignore[i + 2]) return true;
    return false;
}

}  // namespace

std::string Strip(const Workload& workload, const std::string& line) {
    std::string kept;
    for (std::size_t at = 0, width; at < line.size(); at += width)
        if (!Ignored(workload.ignore, line, at, &width)) kept += line.substr(at, width);
    return kept;
}

Workload MakeWorkload(const std::string& syllableTable, int phrases, int lines, unsigned seed) {
    Workload w;
    w.syllables = ReadSyllables(syllableTable);
    w.ignore = {0x20, 0x2F, 0x3A, 0x40, 0x5B, 0x60, 0x7B, 0x7E, -1, 0xA1, 0xA1, 0xFE, 0xA3, 0xA1, 0xAF};
    std::mt19937 random(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const int syllableCount = static_cast<int>(w.syllables.size());

    for (int i = 0; i < phrases; ++i) {
        Phrase phrase{1 + pick(63), {}};
        for (int n = 2 + pick(3); n > 0; --n) phrase.syllables.push_back(pick(syllableCount));
        w.phrases.push_back(phrase);
    }
    for (int i = 0; i < phrases / 20; ++i) {
        // A harmless word plus a phrase: only the two together are banned.
        w.combos.push_back({200001 + pick(syllableCount), 300001 + pick(phrases)});
        w.comboLevels.push_back(1 + pick(63));
    }

    auto character = [&](const Syllable& s) {
        const std::size_t r = 3 * static_cast<std::size_t>(pick(static_cast<int>(s.codes.size() / 3)));
        std::string c(1, static_cast<char>(s.codes[r]));
        c += static_cast<char>(s.codes[r + 1] + pick(s.codes[r + 2] - s.codes[r + 1] + 1));
        return c;
    };
    auto pinyin = [&](const Syllable& s) {
        std::string p = s.pinyin;
        for (char& c : p)
            if (pick(4) == 0) c = static_cast<char>(c - 'a' + 'A');
        return p;
    };
    const char* const filler[] = {" ", ".", "-", "\xA1\xA2", "  ", "*"};
    const char* const words[] = {"ok", "lol", "gg", "go", "11", "2333", "hi"};
    for (int i = 0; i < lines; ++i) {
        std::string line;
        const std::size_t length = pick(20) == 0 ? 300 + pick(300) : 10 + pick(51);
        while (line.size() < length) {
            if (pick(3) == 0)
                line += words[pick(7)];
            else
                line += character(w.syllables[static_cast<std::size_t>(pick(syllableCount))]);
            if (pick(4) == 0) line += filler[pick(6)];
        }
        if (pick(10) == 0) {
            // A banned expression, each syllable written in any form, filler between.
            const Phrase& banned = w.phrases[static_cast<std::size_t>(pick(phrases))];
            std::string expression;
            for (int s : banned.syllables) {
                const Syllable& syllable = w.syllables[static_cast<std::size_t>(s)];
                expression += pick(2) ? character(syllable) : pinyin(syllable);
                if (pick(2)) expression += filler[pick(6)];
            }
            line.insert(static_cast<std::size_t>(pick(2)) * line.size(), expression);
        }
        w.lines.push_back(line);
    }
    return w;
}

packhold::Package MakePackage(const Workload& w, int allowed) {
    using packhold::Cell;
    using packhold::CellType;
    packhold::Package package;
    package.tables.resize(kRequiredTables);
    package.tables[kIgnoreTable].columns = {{kCodeColumn, CellType::kIntArray}, {kLogColumn, CellType::kInt}};
    package.tables[kIgnoreTable].rows.push_back({Cell::IntArray(w.ignore), Cell::Int(0)});
    package.tables[kSyllableTable].columns = {
        {kPinyinColumn, CellType::kText}, {kCodeColumn, CellType::kBytes}, {kSplitColumn, CellType::kText}};
    for (const Syllable& s : w.syllables)
        package.tables[kSyllableTable].rows.push_back({Cell::Text(s.pinyin), Cell::Bytes(s.codes), Cell()});
    for (const RuleTable t : {kPhraseTable, kComboTable})
        package.tables[t].columns = {{kLevelColumn, CellType::kInt}, {kRefsColumn, CellType::kIntArray}};
    for (const Phrase& p : w.phrases) {
        std::vector<int> refs;
        for (int s : p.syllables) refs.push_back(EncodeRuleRef(kSyllableKind, s));
        package.tables[kPhraseTable].rows.push_back({Cell::Int(p.level), Cell::IntArray(refs)});
    }
    for (std::size_t i = 0; i < w.combos.size(); ++i)
        package.tables[kComboTable].rows.push_back({Cell::Int(w.comboLevels[i]), Cell::IntArray(w.combos[i])});
    if (allowed == 0) return package;
    package.tables.emplace_back();
    package.tables[kAllowTable].columns = {
        {kAllowColumn, CellType::kText}, {kAllowRulesColumn, CellType::kIntArray}, {kNoteColumn, CellType::kText}};
    std::mt19937 random(static_cast<unsigned>(allowed));
    for (int a = 0; a < allowed; ++a) {
        std::string text;
        const int characters = 2 + static_cast<int>(random() % 2);
        for (int c = 0; c < characters; ++c) {
            const Syllable& s = w.syllables[random() % w.syllables.size()];
            const std::size_t range = 3 * (random() % (s.codes.size() / 3));
            text += static_cast<char>(s.codes[range]);
            text += static_cast<char>(s.codes[range + 1] + random() % (s.codes[range + 2] - s.codes[range + 1] + 1u));
        }
        package.tables[kAllowTable].rows.push_back({Cell::Text(text), Cell(), Cell()});
    }
    return package;
}

}  // namespace chatsieve::bench
