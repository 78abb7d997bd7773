// CCharacterData: what the rule compiler knows about characters beyond the
// syllable table, read once per process from the tables compiled into the
// tools (tools/variants/, generated from Debian's OpenCC, go-pinyin and Rime
// Luna Pinyin data):
//  - the traditional and simplified counterparts of a character;
//  - every reading of a character that has several, main reading first;
//  - the reading of a word of two or more characters that holds such a
//    character, syllable by syllable;
//  - the main reading of every character of code page 936 (go-pinyin).
// Characters are Unicode code points; readings are toneless pinyin with
// u-umlaut written as v, as in the syllable table. Read-only after
// construction, so any number of threads may use it.
#ifndef CHATSIEVE_TOOLS_COMPILER_CCHARACTERDATA_H
#define CHATSIEVE_TOOLS_COMPILER_CCHARACTERDATA_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace chatsieve::tools {

class CCharacterData {
public:
    static const CCharacterData& Instance();

    // Parses the two tables' text (header line, '#' comments, tab-separated
    // rows); rows that do not have two fields are skipped.
    CCharacterData(const std::string& variantTable, const std::string& readingTable,
                   const std::string& mainReadingTable = std::string());

    // The counterparts of `character`, in the table's order (empty: none).
    const std::vector<std::uint32_t>& Variants(std::uint32_t character) const;
    // All readings of a character that has several, main first (empty: one or
    // none known).
    const std::vector<std::string>& Readings(std::uint32_t character) const;
    // The reading of a word of at least two characters; null when the word
    // is not in the table.
    const std::vector<std::string>* WordReading(const std::u32string& word) const;
    // The main reading of any character of code page 936; null when unknown.
    const std::string* MainReading(std::uint32_t character) const;
    std::size_t LongestWord() const { return m_longestWord; }

private:
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_variants;
    std::unordered_map<std::uint32_t, std::vector<std::string>> m_readings;
    std::unordered_map<std::u32string, std::vector<std::string>> m_words;
    std::unordered_map<std::uint32_t, std::string> m_mainReadings;
    std::size_t m_longestWord = 0;
};

}  // namespace chatsieve::tools

#endif
