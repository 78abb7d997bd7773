#include "compiler/AuthoringText.h"

#include <algorithm>
#include <cstdint>

#include "compiler/Utf8.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

// Edits (insert, delete, replace, swap neighbours) between a and b: enough to
// tell a typo such as "glod" from a different word.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && LowerAscii(a[i - 1]) == LowerAscii(b[j - 2]) &&
                LowerAscii(a[i - 2]) == LowerAscii(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

bool IsAllLetters(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!IsAsciiLetter(c)) return false;
    return true;
}

int ParseHex(const std::string& text, std::size_t digits) {
    if (text.size() != digits) return -1;
    int value = 0;
    for (char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

void SplitRange(const std::string& text, std::string* first, std::string* last) {
    const std::size_t dash = text.find('-');
    *first = text.substr(0, dash);
    *last = dash == std::string::npos ? *first : text.substr(dash + 1);
}

std::vector<Token> SplitWords(const AuthoringField& field) {
    std::vector<Token> words;
    ColumnCounter columns(field.text);
    std::size_t i = 0;
    while (i < field.text.size()) {
        if (field.text[i] == ' ') {
            ++i;
            continue;
        }
        const std::size_t end = std::min(field.text.find(' ', i), field.text.size());
        SourcePos pos = field.pos;
        pos.column += columns.Before(i);
        words.push_back(Token{field.text.substr(i, end - i), pos});
        i = end;
    }
    return words;
}

std::size_t CountSyllablesWritten(const std::string& text, std::size_t from) {
    std::size_t count = 0;
    for (std::size_t i = from; i < text.size();) {
        const char c = text[i];
        if (c == ' ' || c == '\'') {
            ++i;
        } else if (IsAsciiLetter(c)) {
            while (i < text.size() && IsAsciiLetter(text[i])) ++i;
            ++count;
        } else if (c == '(') {
            const std::size_t close = text.find(')', i);
            i = close == std::string::npos ? text.size() : close + 1;
        } else {
            std::uint32_t cp = 0;
            const std::size_t before = i;
            DecodeUtf8(text, &i, &cp);
            if (i == before) ++i;
            ++count;
        }
    }
    return count;
}

std::string Suggestion(const std::string& word, const RuleSetSource& rules) {
    std::vector<std::string> names;
    for (const RuleSource& phrase : rules.phrases)
        if (!phrase.id.empty()) names.push_back(phrase.id);
    for (const SyllableSource& syllable : rules.syllables) names.push_back(syllable.pinyin);
    for (const std::string& name : names)
        if (word.size() > 2 && EditDistance(word, name) == 1) return "; did you mean '" + name + "'?";
    return "";
}

bool ReadMark(const AuthoringField& field, std::size_t* next, WrittenCharacter* written,
              std::vector<Diagnostic>* diagnostics) {
    const std::string& text = field.text;
    if (*next >= text.size() || text[*next] != '(') return true;
    const std::size_t close = text.find(')', *next);
    const std::string reading = close == std::string::npos ? "" : text.substr(*next + 1, close - *next - 1);
    written->markPos = field.pos;
    written->markPos.column += CountCharacters(text, *next);
    if (!IsAllLetters(reading)) {
        diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError,
                                          written->markPos,
                                          "a reading follows its character in parentheses, as in 行(hang)",
                                          {}});
        *next = close == std::string::npos ? text.size() : close + 1;
        return false;
    }
    written->marked = reading;
    *next = close + 1;
    return true;
}

}  // namespace chatsieve::tools
