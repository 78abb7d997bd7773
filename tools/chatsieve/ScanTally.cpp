#include "ScanTally.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "rules/CCodePage936.h"

namespace chatsieve::tools {

namespace {

const char* const kFormNames[kFormCount] = {
    kFormCharacterName, kFormVariantName, kFormHomophoneName, kFormPinyinName,
    kFormFullWidthName, kFormSplitName,   "across fillers",   "inside a longer ASCII word"};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Whether the byte before `at` is a one-byte ASCII letter (not the second
// byte of a two-byte character).
bool LetterBefore(const std::string& line, int at) {
    std::size_t i = 0, previous = 0;
    while (i < static_cast<std::size_t>(at) && i < line.size()) {
        previous = i;
        i += CCodePage936::IsLead(static_cast<unsigned char>(line[i])) ? 2 : 1;
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

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
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

// A horizontal bar chart as inline SVG: one labelled bar a row.
std::string BarChart(const std::string& title, const std::vector<std::pair<std::string, long long>>& bars,
                     const char* colour) {
    long long most = 1;
    for (const auto& bar : bars) most = std::max(most, bar.second);
    const int rowHeight = 24, labelWidth = 260, barWidth = 420;
    const int height = static_cast<int>(bars.size()) * rowHeight + 40;
    std::string svg = "<figure><figcaption>" + Escaped(title) +
                      "</figcaption><svg xmlns=\"http://www.w3.org/2000/svg\" "
                      "class=\"chart\" width=\"" +
                      std::to_string(labelWidth + barWidth + 120) + "\" height=\"" + std::to_string(height) +
                      "\" role=\"img\" aria-label=\"" + Escaped(title) + "\">";
    int y = 10;
    for (const auto& bar : bars) {
        const int width = bar.second > 0 ? std::max(2, static_cast<int>(bar.second * barWidth / most)) : 0;
        svg += "<text x=\"" + std::to_string(labelWidth - 8) + "\" y=\"" + std::to_string(y + 16) +
               "\" text-anchor=\"end\">" + Escaped(bar.first) + "</text>";
        svg += "<rect class=\"bar\" x=\"" + std::to_string(labelWidth) + "\" y=\"" + std::to_string(y + 3) +
               "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(rowHeight - 6) + "\" fill=\"" +
               colour + "\"><title>" + Escaped(bar.first) + ": " + Number(bar.second) + "</title></rect>";
        svg += "<text x=\"" + std::to_string(labelWidth + width + 6) + "\" y=\"" + std::to_string(y + 16) + "\">" +
               Number(bar.second) + "</text>";
        y += rowHeight;
    }
    if (bars.empty()) svg += "<text x=\"10\" y=\"26\">nothing to show</text>";
    return svg + "</svg></figure>\n";
}

std::string LineCount(long long n) { return Number(n) + (n == 1 ? " line" : " lines"); }

// "3 characters in 2 lines screened as '?'".
std::string ReplacedCount(long long characters, long long lines) {
    return Number(characters) + (characters == 1 ? " character" : " characters") + " in " + Number(lines) +
           (lines == 1 ? " line" : " lines") + " screened as '?'";
}

std::string SampleRow(const Sample& sample) {
    return "<tr><td class=\"where\">" + Escaped(sample.file) + ":" + std::to_string(sample.line) + "</td><td>" +
           Escaped(sample.text) + "</td><td class=\"forms\">" + Escaped(FormNames(sample.forms)) + "</td></tr>\n";
}

}  // namespace

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
    for (const PartMatch& part : explanation.parts) {
        if (part.syllables.empty()) continue;
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
    }
    return forms;
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

// Records: "T files lines bytes replaced replaced-lines cut", "L level
// lines", "R rule level lines suspicious form...", "S suspicious forms line
// rule file text".
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
            for (const Sample& s : *samples)
                std::fprintf(out, "S\t%d\t%u\t%lld\t%s\t%s\t%s\n", samples == &tally.suspiciousSamples ? 1 : 0, s.forms,
                             s.line, RecordField(rule).c_str(), RecordField(s.file).c_str(),
                             RecordField(s.text).c_str());
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
        } else if (fields[0] == "S" && fields.size() == 7) {
            RuleTally& tally = m_rules[fields[4]];
            auto& samples = number(1) ? tally.suspiciousSamples : tally.samples;
            if (samples.size() < kSamples)
                samples.push_back(
                    Sample{fields[5], number(3) + lineOffset, fields[6], static_cast<unsigned>(number(2))});
        } else {
            return false;
        }
    }
}

std::vector<std::pair<std::string, const RuleTally*>> CScanTally::RulesByLines() const {
    std::vector<std::pair<std::string, const RuleTally*>> rules;
    for (const auto& [rule, tally] : m_rules) rules.push_back({rule, &tally});
    std::stable_sort(rules.begin(), rules.end(),
                     [](const auto& a, const auto& b) { return a.second->lines > b.second->lines; });
    return rules;
}

void CScanTally::PrintText(std::FILE* out) const {
    long long decided = 0, suspicious = 0;
    for (const auto& [rule, tally] : m_rules) decided += tally.lines, suspicious += tally.suspicious;
    std::fprintf(out, "%s lines (%s bytes) in %lld file%s; %s with a level", Number(m_lines).c_str(),
                 Number(m_bytes).c_str(), m_files, m_files == 1 ? "" : "s", Number(decided).c_str());
    if (m_replaced) std::fprintf(out, "; %s", ReplacedCount(m_replaced, m_replacedLines).c_str());
    if (m_cut) std::fprintf(out, "; %s too long, screened in part", LineCount(m_cut).c_str());
    std::fputs("\nlines per level:", out);
    for (const auto& [level, lines] : m_levels) std::fprintf(out, " %d: %s", level, Number(lines).c_str());
    std::fputc('\n', out);
    const auto rules = RulesByLines();
    std::fprintf(out, "\nlikely false positives (through a homophone character or inside a longer ASCII word): %s\n",
                 Number(suspicious).c_str());
    for (const auto& [rule, tally] : rules) {
        if (!tally->suspicious) continue;
        std::fprintf(out, "  %s, level %d: %s\n", rule.c_str(), tally->level, LineCount(tally->suspicious).c_str());
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
        std::fprintf(out, "  %s, level %d: %s%s\n", rule.c_str(), tally->level, LineCount(tally->lines).c_str(),
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

std::string CScanTally::Html(const std::vector<std::string>& logs) const {
    long long decided = 0, suspicious = 0;
    for (const auto& [rule, tally] : m_rules) decided += tally.lines, suspicious += tally.suspicious;
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>chatsieve scan report</title>\n"
        "<style>body{font-family:sans-serif;margin:2em;color:#222}h1{font-size:1.5em}h2{font-size:1.2em;margin-top:"
        "1.6em}table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:3px 8px;text-align:left;"
        "vertical-align:top}td.num{text-align:right}td.where,td.forms{color:#555;white-space:nowrap}figure{margin:1em"
        " 0}figcaption{font-weight:bold;margin-bottom:4px}svg.chart text{font-size:13px;fill:#222}.suspect{background:"
        "#fff3e0}</style></head><body>\n<h1>chatsieve scan report</h1>\n<p id=\"summary\">";
    std::string files;
    for (const std::string& log : logs) files += (files.empty() ? "" : ", ") + log;
    page += Escaped(Number(m_lines)) + " lines (" + Number(m_bytes) + " bytes) in " + Escaped(files) + "; " +
            Number(decided) + " with a level, " + Number(suspicious) + " likely false positives";
    if (m_replaced) page += "; " + ReplacedCount(m_replaced, m_replacedLines);
    if (m_cut) page += "; " + LineCount(m_cut) + " too long, screened in part";
    page += ".</p>\n<div class=\"charts\">\n";
    std::vector<std::pair<std::string, long long>> levels, rules, forms;
    for (const auto& [level, lines] : m_levels) levels.push_back({"level " + std::to_string(level), lines});
    const auto byLines = RulesByLines();
    for (std::size_t i = 0; i < byLines.size() && i < 15; ++i)
        rules.push_back({byLines[i].first, byLines[i].second->lines});
    for (int form = 0; form < kFormCount; ++form) forms.push_back({FormName(form), m_forms[form]});
    page += BarChart("Lines per level", levels, "#4a7ebb");
    page += BarChart("Top rules by lines decided", rules, "#c0504d");
    page += BarChart("Hits by written form", forms, "#9bbb59");
    page +=
        "</div>\n<h2>Likely false positives</h2>\n<p>Lines decided through a homophone character or inside a "
        "longer ASCII word.</p>\n<table id=\"suspects\"><tr><th>where</th><th>line</th><th>forms</th></tr>\n";
    for (const auto& [rule, tally] : byLines) {
        if (!tally->suspicious) continue;
        page += "<tr class=\"suspect\"><th colspan=\"3\">" + Escaped(rule) + ", level " + std::to_string(tally->level) +
                ": " + LineCount(tally->suspicious) + "</th></tr>\n";
        for (const Sample& s : tally->suspiciousSamples) page += SampleRow(s);
    }
    page += "</table>\n<h2>Rules</h2>\n<table id=\"rules\"><tr><th>rule</th><th>level</th><th>lines</th>";
    for (int form = 0; form < kFormCount; ++form) page += "<th>" + std::string(FormName(form)) + "</th>";
    page += "</tr>\n";
    for (const auto& [rule, tally] : byLines) {
        page += "<tr><td>" + Escaped(rule) + "</td><td class=\"num\">" + std::to_string(tally->level) +
                "</td><td class=\"num\">" + Number(tally->lines) + "</td>";
        for (long long count : tally->forms) page += "<td class=\"num\">" + Number(count) + "</td>";
        page += "</tr>\n";
    }
    page += "</table>\n<h2>Samples</h2>\n<table id=\"samples\"><tr><th>where</th><th>line</th><th>forms</th></tr>\n";
    for (const auto& [rule, tally] : byLines) {
        page += "<tr><th colspan=\"3\">" + Escaped(rule) + "</th></tr>\n";
        for (const Sample& s : tally->samples) page += SampleRow(s);
    }
    return page + "</table>\n</body></html>\n";
}

}  // namespace chatsieve::tools
