#include "ScanTally.h"

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "compiler/AllowTable.h"
#include "compiler/CCodePage936.h"
#include "compiler/EnglishWords.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

const char* const kFormNames[kFormCount] = {
    kFormCharacterName, kFormVariantName, kFormHomophoneName,           kFormPinyinName,  kFormFullWidthName,
    kFormSplitName,     "across fillers", "inside a longer ASCII word", "an English word"};

// Whether the byte before `at` is a one-byte ASCII letter (not the second
// byte of a two-byte character).
bool LetterBefore(const std::string& line, int at) {
    std::size_t i = 0, previous = 0;
    while (i < static_cast<std::size_t>(at) && i < line.size()) {
        previous = i;
        i += GbkStep(static_cast<unsigned char>(line[i]));
    }
    return at > 0 && i == static_cast<std::size_t>(at) && previous + 1 == i && IsAsciiLetter(line[previous]);
}

// A field of a worker's record: \t, \n, \r and \\ stand for the bytes.
std::string RecordField(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string FieldText(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char next = field[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

std::string Number(long long n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-') out += ',';
        out += digits[i];
    }
    return out;
}

// The written forms of one part of a match.
unsigned PartForms(const PartMatch& part, const std::string& line, const std::string& ruleText) {
    unsigned forms = 0;
    if (part.syllables.empty()) return forms;
    std::size_t bytes = 0;
    for (const SyllableMatch& s : part.syllables) {
        bytes += s.bytes.size();
        for (int form = 0; form < kFormFillers; ++form)
            if (s.form == kFormNames[form]) forms |= 1u << form;
    }
    if (part.end - part.start > static_cast<int>(bytes)) forms |= 1u << kFormFillers;
    const SyllableMatch& first = part.syllables.front();
    const SyllableMatch& last = part.syllables.back();
    if ((first.form == kFormPinyinName && LetterBefore(line, first.start)) ||
        (last.form == kFormPinyinName && static_cast<std::size_t>(last.end) < line.size() &&
         IsAsciiLetter(line[static_cast<std::size_t>(last.end)])))
        forms |= 1u << kFormInsideWord;
    // Pinyin standing as a word of its own that is an English word: "made"
    // read as 马的 (the compiler lets such words through for list entries,
    // unless a list keeps every reading). A rule that writes letters itself
    // means them.
    const bool allPinyin = std::all_of(part.syllables.begin(), part.syllables.end(),
                                       [](const SyllableMatch& s) { return s.form == kFormPinyinName; });
    if (allPinyin && std::none_of(ruleText.begin(), ruleText.end(), IsAsciiLetter) &&
        !(forms & 1u << kFormInsideWord) && part.start >= 0 && part.end > part.start &&
        static_cast<std::size_t>(part.end) <= line.size()) {
        const std::string letters =
            line.substr(static_cast<std::size_t>(part.start), static_cast<std::size_t>(part.end - part.start));
        if (std::all_of(letters.begin(), letters.end(), IsAsciiLetter) && IsEnglishWord(letters))
            forms |= 1u << kFormEnglish;
    }
    return forms;
}

// Whether `text` (code page 936) can stand in the allow column of allow.tsv
// as it is: a field without tabs or line ends that is not read as a comment,
// has no spaces to be dropped around it, fits an allowed expression and
// holds only characters of the code page.
bool IsAllowable(const std::string& text) {
    if (text.empty() || text.size() > kMaxAllowBytes || text[0] == '#' || text[0] == ' ' || text.back() == ' ')
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    std::string utf8;
    TextError error;
    return CCodePage936::Instance().ToUtf8(text, &utf8, &error);
}

// "0-6,9-12" as Write writes spans.
std::vector<Span> ReadSpans(const std::string& text) {
    std::vector<Span> spans;
    const char* at = text.c_str();
    while (*at) {
        char* end = nullptr;
        Span span;
        span.start = static_cast<int>(std::strtol(at, &end, 10));
        if (*end != '-') break;
        span.end = static_cast<int>(std::strtol(end + 1, &end, 10));
        if (span.end > span.start) spans.push_back(span);
        if (*end != ',') break;
        at = end + 1;
    }
    return spans;
}

std::string LineCount(long long n) { return Number(n) + (n == 1 ? " line" : " lines"); }

}  // namespace

std::string FormatCount(long long n) { return Number(n); }

const char* FormName(int form) { return form >= 0 && form < kFormCount ? kFormNames[form] : "?"; }

std::string FormNames(unsigned forms) {
    std::string out;
    for (int form = 0; form < kFormCount; ++form)
        if (forms & 1u << form) out += (out.empty() ? "" : ", ") + std::string(kFormNames[form]);
    return out;
}

std::string RuleName(const Explanation& explanation) { return explanation.kind + " " + RuleShortName(explanation); }

unsigned WrittenForms(const Explanation& explanation, const std::string& line) {
    unsigned forms = 0;
    for (const PartMatch& part : explanation.parts) forms |= PartForms(part, line, explanation.text);
    return forms;
}

std::vector<std::string> SuspectExpressions(const Explanation& explanation, const std::string& line) {
    std::vector<std::string> texts;
    for (const PartMatch& part : explanation.parts) {
        const unsigned forms = PartForms(part, line, explanation.text);
        if (!IsSuspicious(forms) || part.start < 0 || part.end <= part.start ||
            static_cast<std::size_t>(part.end) > line.size())
            continue;
        std::size_t start = static_cast<std::size_t>(part.start), end = static_cast<std::size_t>(part.end);
        // Allowing the whole word keeps the pinyin caught where it stands
        // as a word of its own.
        if (forms & 1u << kFormInsideWord) {
            while (LetterBefore(line, static_cast<int>(start))) --start;
            while (end < line.size() && IsAsciiLetter(line[end])) ++end;
        }
        // What the rule saw, fillers stripped: allowed expressions are
        // stripped the same way, so one row covers every way of slipping
        // fillers in.
        std::string text = line.substr(start, static_cast<std::size_t>(part.start) - start);
        for (const SyllableMatch& syllable : part.syllables) text += syllable.bytes;
        text += line.substr(static_cast<std::size_t>(part.end), end - static_cast<std::size_t>(part.end));
        if (IsAllowable(text) && std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(text);
    }
    return texts;
}

Sample MakeSample(const std::string& file, long long lineNumber, const std::string& line,
                  const Explanation& explanation, unsigned forms) {
    const CCodePage936& codePage = CCodePage936::Instance();
    Sample sample{file, lineNumber, codePage.ToUtf8Lenient(line), forms, {}};
    const auto utf8Offset = [&](int at) {
        return static_cast<int>(codePage.ToUtf8Lenient(line.substr(0, static_cast<std::size_t>(at))).size());
    };
    std::vector<std::pair<int, int>> spans;
    for (const PartMatch& part : explanation.parts) spans.push_back({part.start, part.end});
    if (spans.empty()) spans.push_back({explanation.start, explanation.end});
    std::sort(spans.begin(), spans.end());
    for (const auto& [start, end] : spans) {
        if (start < 0 || end <= start || static_cast<std::size_t>(end) > line.size()) continue;
        const Span span{utf8Offset(start), utf8Offset(end)};
        // A combination's parts may overlap; one mark covers them.
        if (!sample.spans.empty() && span.start < sample.spans.back().end)
            sample.spans.back().end = std::max(sample.spans.back().end, span.end);
        else
            sample.spans.push_back(span);
    }
    return sample;
}

void CScanTally::AddLine(int level, int replaced) {
    ++m_lines;
    ++m_levels[level];
    m_replaced += replaced;
    if (replaced > 0) ++m_replacedLines;
}

void CScanTally::AddDecision(const std::string& rule, int level, unsigned forms, const Sample& sample) {
    RuleTally& tally = m_rules[rule];
    tally.level = level;
    ++tally.lines;
    for (int form = 0; form < kFormCount; ++form)
        if (forms & 1u << form) ++tally.forms[form], ++m_forms[form];
    if (IsSuspicious(forms)) {
        ++tally.suspicious;
        if (tally.suspiciousSamples.size() < kSamples) tally.suspiciousSamples.push_back(sample);
    } else if (tally.samples.size() < kSamples) {
        tally.samples.push_back(sample);
    }
}

void CScanTally::AddSuspect(const std::string& rule, const std::string& text, long long lines) {
    std::map<std::string, long long>& suspects = m_rules[rule].suspects;
    const auto found = suspects.find(text);
    if (found != suspects.end())
        found->second += lines;
    else if (suspects.size() < kSuspectTexts)
        suspects.emplace(text, lines);
}

// Records: "T files lines bytes replaced replaced-lines cut", "L level
// lines", "R rule level lines suspicious form...", "S suspicious forms line
// spans rule file text" (spans "start-end,start-end"), "A lines rule text"
// for a suspect text. Fields are escaped (RecordField): file names and
// texts may hold tabs and line ends.
void CScanTally::Write(std::FILE* out) const {
    std::fprintf(out, "T\t%lld\t%lld\t%lld\t%lld\t%lld\t%lld\n", m_files, m_lines, m_bytes, m_replaced, m_replacedLines,
                 m_cut);
    for (const auto& [level, lines] : m_levels) std::fprintf(out, "L\t%d\t%lld\n", level, lines);
    for (const auto& [rule, tally] : m_rules) {
        std::fprintf(out, "R\t%s\t%d\t%lld\t%lld", RecordField(rule).c_str(), tally.level, tally.lines,
                     tally.suspicious);
        for (long long count : tally.forms) std::fprintf(out, "\t%lld", count);
        std::fputc('\n', out);
        for (const auto* samples : {&tally.samples, &tally.suspiciousSamples})
            for (const Sample& s : *samples) {
                std::string spans;
                for (const Span& span : s.spans)
                    spans += (spans.empty() ? "" : ",") + std::to_string(span.start) + "-" + std::to_string(span.end);
                std::fprintf(out, "S\t%d\t%u\t%lld\t%s\t%s\t%s\t%s\n", samples == &tally.suspiciousSamples ? 1 : 0,
                             s.forms, s.line, spans.c_str(), RecordField(rule).c_str(), RecordField(s.file).c_str(),
                             RecordField(s.text).c_str());
            }
        for (const auto& [text, lines] : tally.suspects)
            std::fprintf(out, "A\t%lld\t%s\t%s\n", lines, RecordField(rule).c_str(), RecordField(text).c_str());
    }
}

bool CScanTally::Read(std::FILE* in, long long lineOffset) {
    std::string record;
    int c = 0;
    while (true) {
        record.clear();
        while ((c = std::getc(in)) != EOF && c != '\n') record.push_back(static_cast<char>(c));
        if (record.empty()) {
            if (c == EOF) return true;
            continue;
        }
        std::vector<std::string> fields;
        std::size_t start = 0;
        while (true) {
            const std::size_t tab = record.find('\t', start);
            fields.push_back(FieldText(record.substr(start, tab == std::string::npos ? tab : tab - start)));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        const auto number = [&](std::size_t i) { return i < fields.size() ? std::atoll(fields[i].c_str()) : 0; };
        if (fields[0] == "T" && fields.size() == 7) {
            m_files += number(1), m_lines += number(2), m_bytes += number(3), m_replaced += number(4);
            m_replacedLines += number(5), m_cut += number(6);
        } else if (fields[0] == "L" && fields.size() == 3) {
            m_levels[static_cast<int>(number(1))] += number(2);
        } else if (fields[0] == "R" && fields.size() == 5 + kFormCount) {
            RuleTally& tally = m_rules[fields[1]];
            tally.level = static_cast<int>(number(2));
            tally.lines += number(3);
            tally.suspicious += number(4);
            for (int form = 0; form < kFormCount; ++form) {
                tally.forms[form] += number(5 + static_cast<std::size_t>(form));
                m_forms[form] += number(5 + static_cast<std::size_t>(form));
            }
        } else if (fields[0] == "S" && fields.size() == 8) {
            RuleTally& tally = m_rules[fields[5]];
            auto& samples = number(1) ? tally.suspiciousSamples : tally.samples;
            if (samples.size() < kSamples)
                samples.push_back(Sample{fields[6], number(3) + lineOffset, fields[7], static_cast<unsigned>(number(2)),
                                         ReadSpans(fields[4])});
        } else if (fields[0] == "A" && fields.size() == 4) {
            AddSuspect(fields[2], fields[3], number(1));
        } else {
            return false;
        }
    }
}

std::string CScanTally::SummaryNotes() const {
    std::string notes;
    if (m_replaced)
        notes += "; " + Number(m_replaced) + (m_replaced == 1 ? " character" : " characters") + " in " +
                 LineCount(m_replacedLines) + " screened as '?'";
    if (m_cut) notes += "; " + LineCount(m_cut) + " too long, screened in part";
    return notes;
}

std::vector<std::pair<std::string, const RuleTally*>> CScanTally::RulesByLines() const {
    std::vector<std::pair<std::string, const RuleTally*>> rules;
    for (const auto& [rule, tally] : m_rules) rules.push_back({rule, &tally});
    std::stable_sort(rules.begin(), rules.end(),
                     [](const auto& a, const auto& b) { return a.second->lines > b.second->lines; });
    return rules;
}

void CScanTally::PrintText(std::FILE* out, const std::function<std::string(const std::string&)>& label) const {
    long long decided = 0, suspicious = 0;
    for (const auto& [rule, tally] : m_rules) decided += tally.lines, suspicious += tally.suspicious;
    std::fprintf(out, "%s lines (%s bytes) in %lld file%s; %s with a level", Number(m_lines).c_str(),
                 Number(m_bytes).c_str(), m_files, m_files == 1 ? "" : "s", Number(decided).c_str());
    std::fputs(SummaryNotes().c_str(), out);
    std::fputs("\nlines per level:", out);
    for (const auto& [level, lines] : m_levels) std::fprintf(out, " %d: %s", level, Number(lines).c_str());
    std::fputc('\n', out);
    const auto rules = RulesByLines();
    std::fprintf(out,
                 "\nlikely false positives (through a homophone character, inside a longer ASCII word or an English "
                 "word read as pinyin): %s\n",
                 Number(suspicious).c_str());
    for (const auto& [rule, tally] : rules) {
        if (!tally->suspicious) continue;
        std::fprintf(out, "  %s, level %d: %s\n", label(rule).c_str(), tally->level,
                     LineCount(tally->suspicious).c_str());
        for (const Sample& s : tally->suspiciousSamples)
            std::fprintf(out, "    %s:%lld: %s  [%s]\n", s.file.c_str(), s.line, s.text.c_str(),
                         FormNames(s.forms).c_str());
    }
    std::fputs("\nrules by lines decided:\n", out);
    for (const auto& [rule, tally] : rules) {
        std::string forms;
        for (int form = 0; form < kFormCount; ++form)
            if (tally->forms[form])
                forms += (forms.empty() ? "; " : ", ") + std::string(FormName(form)) + " " + Number(tally->forms[form]);
        std::fprintf(out, "  %s, level %d: %s%s\n", label(rule).c_str(), tally->level, LineCount(tally->lines).c_str(),
                     forms.c_str());
        for (const Sample& s : tally->samples)
            std::fprintf(out, "    %s:%lld: %s  [%s]\n", s.file.c_str(), s.line, s.text.c_str(),
                         FormNames(s.forms).c_str());
    }
    std::fputs("\nhits by written form:", out);
    for (int form = 0; form < kFormCount; ++form)
        std::fprintf(out, "%s %s %s", form ? "," : "", FormName(form), Number(m_forms[form]).c_str());
    std::fputc('\n', out);
}

}  // namespace chatsieve::tools
