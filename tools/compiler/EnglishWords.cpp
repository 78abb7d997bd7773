#include "compiler/EnglishWords.h"

#include <map>
#include <unordered_set>
#include <vector>

#include "compiler/EmbeddedText.h"
#include "compiler/PackageRows.h"

namespace chatsieve::tools {

namespace {

// The most rule rows one allowed expression may name (the filter's limit).
constexpr int kMaxAllowRuleRows = 256;

const std::unordered_set<std::string>& Dictionary() {
    static const std::unordered_set<std::string> words = [] {
        std::unordered_set<std::string> read;
        const std::string text = EnglishTable().Text();
        bool header = true;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            if (line.empty() || line[0] == '#') continue;
            if (header) {
                header = false;  // "word"
                continue;
            }
            read.insert(line);
        }
        return read;
    }();
    return words;
}

}  // namespace

bool IsEnglishWord(const std::string& letters) { return Dictionary().count(LowerAscii(letters)) > 0; }

std::string PinyinOf(const RuleSource& phrase, const RuleSetSource& rules) {
    // A letter or digit written in the entry is itself, not pinyin: such an
    // entry has a part without a character behind it.
    if (phrase.parts.empty() || phrase.choices.size() != phrase.parts.size()) return {};
    std::string letters;
    for (const PartRef& part : phrase.parts) {
        const std::string* pinyin = nullptr;
        if (part.kind == PartKind::kSyllable) pinyin = &rules.syllables[static_cast<std::size_t>(part.index)].pinyin;
        if (part.kind == PartKind::kWritten) pinyin = &rules.written[static_cast<std::size_t>(part.index)].romanised;
        if (!pinyin || pinyin->empty()) return {};
        for (char c : *pinyin)
            if (LowerAscii(c) < 'a' || LowerAscii(c) > 'z') return {};
        letters += LowerAscii(*pinyin);
    }
    return letters;
}

void AllowEnglishReadings(RuleSetSource* rules) {
    // In order of first use, so that the same lists always give the same rows.
    std::vector<std::string> words;
    std::map<std::string, std::vector<int>> spelledBy;
    for (std::size_t p = 0; p < rules->phrases.size(); ++p) {
        const RuleSource& phrase = rules->phrases[p];
        if (!phrase.listed || phrase.broken || phrase.level == 0 || phrase.catchesEnglish) continue;
        const std::string letters = PinyinOf(phrase, *rules);
        if (letters.empty() || !IsEnglishWord(letters)) continue;
        std::vector<int>& entries = spelledBy[letters];
        if (entries.empty()) words.push_back(letters);
        entries.push_back(static_cast<int>(p));
    }
    for (const std::string& word : words) {
        AllowSource allow;
        allow.text = allow.bytes = word;
        allow.note = "an English word, not pinyin";
        allow.english = true;
        int rows = 0;
        for (const int p : spelledBy[word]) {
            const int count = RowCount(rules->phrases[static_cast<std::size_t>(p)], false, *rules);
            if (rows + count > kMaxAllowRuleRows) {
                rules->allow.push_back(allow);
                allow.rules.clear();
                rows = 0;
            }
            if (allow.rules.empty())
                allow.pos = allow.textPos = allow.rulesPos = rules->phrases[static_cast<std::size_t>(p)].textPos;
            allow.rules.push_back(RuleRefSource{false, p});
            rows += count;
        }
        rules->allow.push_back(allow);
    }
}

}  // namespace chatsieve::tools
