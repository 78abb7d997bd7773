// What scan and diff learn about lines: the rule that decided each one and
// the written forms its syllables matched in, tallied per rule and per level.
// A tally is built by one process, written as text for the process that
// started it and merged there, and then reported as text or, through
// ScanReport.h, as one self-contained HTML page.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_SCANTALLY_H
#define CHATSIEVE_TOOLS_CHATSIEVE_SCANTALLY_H

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CScreener.h"

namespace chatsieve::tools {

// The ways a banned expression can be written, as bits of a mask.
// The first ones are those of SyllableMatch, named the same.
enum WrittenForm {
    kFormCharacter,  // a character the rule itself writes
    kFormVariant,    // its traditional or simplified counterpart
    kFormHomophone,  // another character of the same syllable
    kFormPinyin,
    kFormFullWidth,  // pinyin in full-width letters
    kFormSplit,
    kFormFillers,     // with characters the filter strips between its syllables
    kFormInsideWord,  // pinyin running on into ASCII letters around it
    kFormEnglish,     // pinyin that is, letter for letter, an English word
    kFormCount
};
const char* FormName(int form);
std::string FormNames(unsigned forms);
// Lines decided through a homophone, inside a longer word or through an
// English word are the ones most likely screened by mistake.
inline bool IsSuspicious(unsigned forms) {
    return (forms & (1u << kFormHomophone | 1u << kFormInsideWord | 1u << kFormEnglish)) != 0;
}

// "phrase cheat", "combination #3".
std::string RuleName(const Explanation& explanation);
// The written forms of the match that decided `line` (code page 936).
unsigned WrittenForms(const Explanation& explanation, const std::string& line);
// What an allowed expression would have to hold to let the likely false
// positive in `line` through (code page 936), fillers stripped: for each
// part matched through a homophone, what it matched; for each part inside a
// longer ASCII word, that whole word. Empty for a line that is no likely
// false positive.
std::vector<std::string> SuspectExpressions(const Explanation& explanation, const std::string& line);
// "12,345".
std::string FormatCount(long long n);

// Byte offsets in a sample's text, end exclusive.
struct Span {
    int start = 0;
    int end = 0;
};

struct Sample {
    std::string file;
    long long line = 0;
    std::string text;  // UTF-8
    unsigned forms = 0;
    std::vector<Span> spans;  // what the rule matched in `text`: a phrase's run, each part of a combination
};

// The sample of `line` (code page 936), decided as `explanation` says.
Sample MakeSample(const std::string& file, long long lineNumber, const std::string& line,
                  const Explanation& explanation, unsigned forms);

struct RuleTally {
    int level = 0;
    long long lines = 0;
    long long suspicious = 0;
    long long forms[kFormCount] = {};
    std::vector<Sample> samples;            // the first few
    std::vector<Sample> suspiciousSamples;  // the first few likely false positives
    // SuspectExpressions of its likely false positives (UTF-8), with the
    // lines each came from; the first kSuspectTexts different ones.
    std::map<std::string, long long> suspects;
};

class CScanTally {
public:
    static constexpr std::size_t kSamples = 5;
    // Keeps a tally's memory bounded however many different lines a rule
    // catches by mistake.
    static constexpr std::size_t kSuspectTexts = 20;

    // `replaced`: the characters of the line screened as '?'.
    void AddLine(int level, int replaced);
    // A line longer than the longest screened, cut to that length.
    void AddCut() { ++m_cut; }
    void AddDecision(const std::string& rule, int level, unsigned forms, const Sample& sample);
    // A text an allowed expression could hold for a likely false positive
    // of `rule` (UTF-8), `lines` more times.
    void AddSuspect(const std::string& rule, const std::string& text, long long lines = 1);
    void AddBytes(long long bytes) { m_bytes += bytes; }
    void AddFile() { ++m_files; }

    // One record a line, tab-separated; tabs, line ends and backslashes in
    // names and texts are escaped, since a log's name may hold any of them.
    void Write(std::FILE* out) const;
    // Adds what Write wrote, with sample line numbers moved on by
    // `lineOffset`; false on a malformed record.
    bool Read(std::FILE* in, long long lineOffset);
    long long Lines() const { return m_lines; }
    long long Files() const { return m_files; }
    long long Bytes() const { return m_bytes; }
    long long FormHits(int form) const { return m_forms[form]; }
    const std::map<int, long long>& Levels() const { return m_levels; }
    const std::map<std::string, RuleTally>& Rules() const { return m_rules; }
    // "; 3 characters in 2 lines screened as '?'; 1 line too long, screened
    // in part", or empty: what the summary adds about lines not screened whole.
    std::string SummaryNotes() const;
    // The rules that decided lines, most lines first.
    std::vector<std::pair<std::string, const RuleTally*>> RulesByLines() const;

    // `label` names a rule for people (ScanReport.h's Label).
    void PrintText(std::FILE* out, const std::function<std::string(const std::string&)>& label) const;

private:
    long long m_files = 0;
    long long m_lines = 0;
    long long m_bytes = 0;
    long long m_replaced = 0;  // characters screened as '?'
    long long m_replacedLines = 0;
    long long m_cut = 0;
    long long m_forms[kFormCount] = {};
    std::map<int, long long> m_levels;
    std::map<std::string, RuleTally> m_rules;
};

}  // namespace chatsieve::tools

#endif
