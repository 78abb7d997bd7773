#include "compiler/CCharacterData.h"

#include <algorithm>

#include "compiler/EmbeddedText.h"
#include "compiler/Utf8.h"

namespace chatsieve::tools {

namespace {

std::u32string Decode(const std::string& utf8) {
    std::u32string out;
    std::size_t pos = 0;
    std::uint32_t cp = 0;
    while (pos < utf8.size() && DecodeUtf8(utf8, &pos, &cp)) out.push_back(cp);
    return pos == utf8.size() ? out : std::u32string();
}

std::vector<std::string> SplitSpaces(const std::string& text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = std::min(text.find(' ', i), text.size());
        if (end > i) words.push_back(text.substr(i, end - i));
        i = end + 1;
    }
    return words;
}

// Calls `row(key, value)` for every data row of a two-column table: the
// header line and '#' comment lines are skipped.
template <class Row>
void ForEachRow(const std::string& table, Row row) {
    bool header = true;
    std::size_t i = 0;
    while (i < table.size()) {
        std::size_t end = table.find('\n', i);
        if (end == std::string::npos) end = table.size();
        std::string line = table.substr(i, end - i);
        i = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab + 1 == line.size()) continue;
        row(Decode(line.substr(0, tab)), line.substr(tab + 1));
    }
}

}  // namespace

const CCharacterData& CCharacterData::Instance() {
    static const CCharacterData data(VariantTable().Text(), ReadingTable().Text(), MainReadingTable().Text());
    return data;
}

CCharacterData::CCharacterData(const std::string& variantTable, const std::string& readingTable,
                               const std::string& mainReadingTable) {
    ForEachRow(mainReadingTable, [this](const std::u32string& key, const std::string& value) {
        if (key.size() == 1) m_mainReadings[key[0]] = value;
    });
    ForEachRow(variantTable, [this](const std::u32string& key, const std::string& value) {
        const std::u32string partners = Decode(value);
        if (key.size() == 1 && !partners.empty())
            m_variants[key[0]] = std::vector<std::uint32_t>(partners.begin(), partners.end());
    });
    ForEachRow(readingTable, [this](const std::u32string& key, const std::string& value) {
        std::vector<std::string> readings = SplitSpaces(value);
        if (key.size() == 1) {
            if (readings.size() > 1) m_readings[key[0]] = std::move(readings);
        } else if (key.size() > 1 && readings.size() == key.size()) {
            if (key.size() > m_longestWord) m_longestWord = key.size();
            m_words[key] = std::move(readings);
        }
    });
}

const std::vector<std::uint32_t>& CCharacterData::Variants(std::uint32_t character) const {
    static const std::vector<std::uint32_t> kNone;
    const auto found = m_variants.find(character);
    return found == m_variants.end() ? kNone : found->second;
}

const std::vector<std::string>& CCharacterData::Readings(std::uint32_t character) const {
    static const std::vector<std::string> kNone;
    const auto found = m_readings.find(character);
    return found == m_readings.end() ? kNone : found->second;
}

const std::string* CCharacterData::MainReading(std::uint32_t character) const {
    const auto found = m_mainReadings.find(character);
    return found == m_mainReadings.end() ? nullptr : &found->second;
}

const std::vector<std::string>* CCharacterData::WordReading(const std::u32string& word) const {
    const auto found = m_words.find(word);
    return found == m_words.end() ? nullptr : &found->second;
}

}  // namespace chatsieve::tools
