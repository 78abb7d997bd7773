#include "ScanReport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

namespace {

// Fonts that hold Chinese characters on Windows, macOS and Linux, before the
// generic family: without one, a browser on a machine lacking Chinese fonts
// for the generic family shows every line as empty boxes.
const char kFontStack[] =
    "\"Microsoft YaHei\",\"PingFang SC\",\"Hiragino Sans GB\",\"Heiti SC\",\"Noto Sans CJK SC\","
    "\"Source Han Sans SC\",\"WenQuanYi Micro Hei\",\"Droid Sans Fallback\",SimHei,SimSun,sans-serif";

// The most rows the page lists where a package may hold many thousands.
constexpr std::size_t kMaxSuggestions = 200;
constexpr std::size_t kMaxUnfired = 1000;

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
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string LineCount(long long n) { return FormatCount(n) + (n == 1 ? " line" : " lines"); }

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first `characters` characters of UTF-8 text, with "…" when cut.
std::string Shortened(const std::string& text, int characters) {
    std::size_t at = 0;
    for (int n = 0; at < text.size() && n < characters; ++n) {
        ++at;
        while (at < text.size() && IsContinuationByte(text[at])) ++at;
    }
    return at < text.size() ? text.substr(0, at) + "\xE2\x80\xA6" : text;
}

// For a file the page offers to download without fetching anything.
std::string Base64(const std::string& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[group >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

// Tabs and line ends would break a row of allow.tsv.
std::string OneField(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

// The rule's entry in the package, or null for a name the package lacks.
const PackageRule* Find(const PackageSummary& package, const std::string& name) {
    const auto found = package.byName.find(name);
    return found == package.byName.end() ? nullptr : &package.rules[found->second];
}

// ": 外挂 · tags cheat · mode sound", from what the package says of the rule.
std::string Described(const PackageSummary& package, const std::string& name) {
    const PackageRule* rule = Find(package, name);
    if (!rule) return "";
    std::string out = ": " + rule->text;
    if (!rule->tags.empty()) out += " \xC2\xB7 tags " + rule->tags;
    return out + " \xC2\xB7 mode " + rule->mode;
}

// The tags of a rule as a list, "(no tags)" standing for none.
std::vector<std::string> TagsOf(const PackageRule* rule) {
    std::vector<std::string> tags;
    const std::string text = rule ? rule->tags : "";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        std::string tag = text.substr(at, comma - at);
        tag.erase(0, tag.find_first_not_of(' '));
        tag.erase(tag.find_last_not_of(' ') + 1);
        if (!tag.empty()) tags.push_back(tag);
        at = comma + 1;
    }
    if (tags.empty()) tags.push_back(rule ? "(no tags)" : "(rule not in the package)");
    return tags;
}

// A horizontal bar chart as inline SVG: one labelled bar a row.
std::string BarChart(const std::string& title, const std::string& note,
                     const std::vector<std::pair<std::string, long long>>& bars, const char* colour) {
    long long most = 1;
    for (const auto& bar : bars) most = std::max(most, bar.second);
    const int rowHeight = 24, labelWidth = 260, barWidth = 420;
    const int height = static_cast<int>(std::max<std::size_t>(bars.size(), 1)) * rowHeight + 40;
    std::string svg = "<figure><figcaption>" + Escaped(title) + "</figcaption>";
    if (!note.empty()) svg += "<p class=\"note\">" + Escaped(note) + "</p>";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" +
           std::to_string(labelWidth + barWidth + 120) + "\" height=\"" + std::to_string(height) +
           "\" role=\"img\" aria-label=\"" + Escaped(title) + "\">";
    int y = 10;
    for (const auto& bar : bars) {
        const int width = bar.second > 0 ? std::max(2, static_cast<int>(bar.second * barWidth / most)) : 0;
        svg += "<text x=\"" + std::to_string(labelWidth - 8) + "\" y=\"" + std::to_string(y + 16) +
               "\" text-anchor=\"end\">" + Escaped(bar.first) + "</text>";
        svg += "<rect class=\"bar\" x=\"" + std::to_string(labelWidth) + "\" y=\"" + std::to_string(y + 3) +
               "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(rowHeight - 6) + "\" fill=\"" +
               colour + "\"><title>" + Escaped(bar.first) + ": " + FormatCount(bar.second) + "</title></rect>";
        svg += "<text x=\"" + std::to_string(labelWidth + width + 6) + "\" y=\"" + std::to_string(y + 16) + "\">" +
               FormatCount(bar.second) + "</text>";
        y += rowHeight;
    }
    if (bars.empty()) svg += "<text x=\"10\" y=\"26\">nothing to show</text>";
    return svg + "</svg></figure>\n";
}

// The sample's text with each span the rule matched in <mark>. Spans come
// from worker records too, so they are kept inside the text and moved off
// the middle of a character.
std::string Highlighted(const Sample& sample) {
    const std::string& text = sample.text;
    const auto boundary = [&text](int at) {
        std::size_t i = std::min(static_cast<std::size_t>(std::max(at, 0)), text.size());
        while (i < text.size() && IsContinuationByte(text[i])) ++i;
        return i;
    };
    std::string out;
    std::size_t done = 0;
    for (const Span& span : sample.spans) {
        const std::size_t start = std::max(boundary(span.start), done), end = boundary(span.end);
        if (end <= start) continue;
        out +=
            Escaped(text.substr(done, start - done)) + "<mark>" + Escaped(text.substr(start, end - start)) + "</mark>";
        done = end;
    }
    return out + Escaped(text.substr(done));
}

std::string SampleRow(const Sample& sample) {
    return "<tr><td class=\"where\">" + Escaped(sample.file) + ":" + std::to_string(sample.line) + "</td><td>" +
           Highlighted(sample) + "</td><td class=\"forms\">" + Escaped(FormNames(sample.forms)) + "</td></tr>\n";
}

// "phrase cheat, level 60: 2 lines: 外挂 · tags cheat · mode sound"
std::string Heading(const PackageSummary& package, const std::string& name, int level, long long lines) {
    return "<span class=\"rule\">" + Escaped(name) + "</span>" +
           Escaped(", level " + std::to_string(level) + ": " + LineCount(lines) + Described(package, name));
}

std::string PackageSection(const PackageSummary& package) {
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08X", static_cast<unsigned>(package.checksum));
    std::string rules =
        FormatCount(package.phrases) + (package.phrases == 1 ? " phrase, " : " phrases, ") +
        FormatCount(package.combinations) + (package.combinations == 1 ? " combination" : " combinations") + " (" +
        FormatCount(package.levelZero) + " of level 0, never tried on their own); " + FormatCount(package.allowed) +
        (package.allowed == 1 ? " allowed expression" : " allowed expressions");
    const auto row = [](const char* what, const std::string& value) {
        return std::string("<tr><th>") + what + "</th><td>" + Escaped(value) + "</td></tr>\n";
    };
    return "<h2 id=\"rule-package\">Rule package</h2>\n<table id=\"package\">\n" + row("path", package.path) +
           row("size", FormatCount(package.size) + " bytes") + row("checksum (CRC-32)", checksum) +
           row("built (file modified)", package.written.empty() ? "unknown" : package.written) + row("rules", rules) +
           "</table>\n";
}

std::string RulesSection(const PackageSummary& package,
                         const std::vector<std::pair<std::string, const RuleTally*>>& byLines) {
    std::string page =
        "<h2 id=\"all-rules\">Rules</h2>\n"
        "<table id=\"rules\"><tr><th>rule</th><th>expression</th><th>tags</th><th>mode</th>"
        "<th>level</th><th>lines</th>";
    for (int form = 0; form < kFormCount; ++form) page += "<th>" + Escaped(FormName(form)) + "</th>";
    page += "</tr>\n";
    for (const auto& [name, rule] : byLines) {
        const PackageRule* written = Find(package, name);
        page += "<tr><td class=\"rule\">" + Escaped(name) + "</td><td>" + Escaped(written ? written->text : "") +
                "</td><td>" + Escaped(written ? written->tags : "") + "</td><td>" +
                Escaped(written ? written->mode : "") + "</td><td class=\"num\">" + std::to_string(rule->level) +
                "</td><td class=\"num\">" + FormatCount(rule->lines) + "</td>";
        for (long long count : rule->forms) page += "<td class=\"num\">" + FormatCount(count) + "</td>";
        page += "</tr>\n";
    }
    return page + "</table>\n";
}

// Lines decided per tag and level. A rule with several tags counts under
// each, so the tag rows may add up to more than the lines with a level.
std::string RollUpSection(const PackageSummary& package,
                          const std::vector<std::pair<std::string, const RuleTally*>>& byLines) {
    std::set<int> levels;
    std::map<std::string, std::map<int, long long>> lines;
    std::map<std::string, long long> fired, total, all;
    for (const auto& [name, rule] : byLines) {
        levels.insert(rule->level);
        for (const std::string& tag : TagsOf(Find(package, name))) {
            lines[tag][rule->level] += rule->lines;
            all[tag] += rule->lines;
            ++fired[tag];
        }
    }
    for (const PackageRule& rule : package.rules)
        if (rule.level > 0)
            for (const std::string& tag : TagsOf(&rule)) ++total[tag];
    std::vector<std::string> tags;
    for (const auto& entry : all) tags.push_back(entry.first);
    std::stable_sort(tags.begin(), tags.end(), [&all](const auto& a, const auto& b) { return all[a] > all[b]; });

    std::string page =
        "<h2 id=\"by-tag\">By tag and level</h2>\n<p>Lines decided by the rules of each tag, per level. A rule "
        "with several tags counts under each.</p>\n<table id=\"rollup\"><tr><th>tag</th><th>rules that fired</th>";
    for (int level : levels) page += "<th>level " + std::to_string(level) + "</th>";
    page += "<th>all levels</th></tr>\n";
    for (const std::string& tag : tags) {
        page += "<tr><td>" + Escaped(tag) + "</td><td class=\"num\">" + FormatCount(fired[tag]) + " of " +
                FormatCount(total[tag]) + "</td>";
        for (int level : levels) {
            const auto found = lines[tag].find(level);
            page += "<td class=\"num\">" + (found == lines[tag].end() ? "" : FormatCount(found->second)) + "</td>";
        }
        page += "<td class=\"num\">" + FormatCount(all[tag]) + "</td></tr>\n";
    }
    return page + "</table>\n";
}

// A big list leaves thousands of rules unfired: they are a count, a list to
// download (every one, tab-separated) and the first of them folded away.
std::string UnfiredSection(const CScanTally& tally, const PackageSummary& package) {
    std::vector<const PackageRule*> unfired;
    for (const PackageRule& rule : package.rules)
        if (rule.level > 0 && !tally.Rules().count(rule.name)) unfired.push_back(&rule);
    std::string page = "<h2 id=\"never-fired\">Rules that never fired</h2>\n<p>" +
                       FormatCount(static_cast<long long>(unfired.size())) +
                       " of the rules tried on their own decided no line.";
    if (unfired.empty()) return page + "</p>\n";
    std::string list = "rule\texpression\ttags\tmode\tlevel\n";
    for (const PackageRule* rule : unfired)
        list += OneField(rule->name) + "\t" + OneField(rule->text) + "\t" + OneField(rule->tags) + "\t" +
                OneField(rule->mode) + "\t" + std::to_string(rule->level) + "\n";
    page += " <a download=\"never-fired.tsv\" href=\"data:text/tab-separated-values;charset=utf-8;base64," +
            Base64(list) + "\">Download them all</a> (tab-separated).</p>\n<details><summary>" +
            (unfired.size() > kMaxUnfired ? "The first " + FormatCount(kMaxUnfired) + " in the package" : "Show them") +
            "</summary>\n<table id=\"unfired\"><tr><th>rule</th><th>expression</th><th>tags</th><th>mode</th>"
            "<th>level</th></tr>\n";
    for (std::size_t i = 0; i < unfired.size() && i < kMaxUnfired; ++i) {
        const PackageRule& rule = *unfired[i];
        page += "<tr><td class=\"rule\">" + Escaped(rule.name) + "</td><td>" + Escaped(rule.text) + "</td><td>" +
                Escaped(rule.tags) + "</td><td>" + Escaped(rule.mode) + "</td><td class=\"num\">" +
                std::to_string(rule.level) + "</td></tr>\n";
    }
    return page + "</table>\n</details>\n";
}

}  // namespace

std::string Label(const PackageSummary& package, const std::string& name, int characters) {
    const PackageRule* rule = Find(package, name);
    return rule && rule->id.empty() && !rule->text.empty() ? name + " " + Shortened(rule->text, characters) : name;
}

std::string SuggestedAllowRows(const CScanTally& tally, const PackageSummary& package) {
    struct Suggestion {
        long long lines = 0;
        std::vector<std::pair<std::string, long long>> rules;  // name, lines
    };
    // An allowed expression matches letters in any case, so `image` and
    // `Image` are one row, written in lower case.
    std::map<std::string, Suggestion> byText;
    for (const auto& [name, rule] : tally.RulesByLines())
        for (const auto& [text, lines] : rule->suspects) {
            Suggestion& suggestion = byText[LowerAscii(text)];
            suggestion.lines += lines;
            if (suggestion.rules.empty() || suggestion.rules.back().first != name)
                suggestion.rules.push_back({name, 0});
            suggestion.rules.back().second += lines;
        }
    std::vector<std::pair<std::string, const Suggestion*>> order;
    for (const auto& entry : byText) order.push_back({entry.first, &entry.second});
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second->lines > b.second->lines; });

    std::string rows = "allow\trules\tnote\n";
    for (std::size_t i = 0; i < order.size() && i < kMaxSuggestions; ++i) {
        const auto& [text, suggestion] = order[i];
        // An expression limited to the rules that caught it leaves every
        // other rule its view of the line; a rule without an id cannot be
        // named, and the row then covers every rule.
        std::string ids, note = "likely false positive of ", unnamed;
        for (const auto& [name, lines] : suggestion->rules) {
            const PackageRule* rule = Find(package, name);
            if (rule && !rule->id.empty())
                ids += (ids.empty() ? "" : " ") + rule->id;
            else if (unnamed.empty())
                unnamed = name;
            note += (name == suggestion->rules.front().first ? "" : "; ") + name +
                    (rule && !rule->text.empty() ? " " + Shortened(rule->text, 12) : "") + " (" + LineCount(lines) +
                    ")";
        }
        if (!unnamed.empty()) {
            ids.clear();
            note += "; covers every rule, since " + unnamed + " has no id";
        }
        rows += text + "\t" + OneField(ids) + "\t" + OneField(note) + "\n";
    }
    return rows;
}

std::string ScanReportHtml(const CScanTally& tally, const PackageSummary& package,
                           const std::vector<std::string>& logs) {
    long long decided = 0, suspicious = 0;
    for (const auto& [rule, counts] : tally.Rules()) decided += counts.lines, suspicious += counts.suspicious;
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>chatsieve scan report</title>\n"
        "<style>body{font-family:" +
        std::string(kFontStack) +
        ";margin:2em;color:#222}h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.6em}table{border-collapse:"
        "collapse}td,th{border:1px solid #ccc;padding:3px 8px;text-align:left;vertical-align:top}td.num{text-align:"
        "right}td.where,td.forms{color:#555;white-space:nowrap}td.rule,span.rule{white-space:nowrap}"
        "figure{margin:1em 0}figcaption{font-weight:bold;"
        "margin-bottom:4px}p.note{margin:0 0 4px;color:#555}svg.chart text{font-family:inherit;font-size:13px;fill:"
        "#222}.suspect{background:#fff3e0}mark{background:#ffd54f;color:inherit;padding:0 1px}pre{background:#f6f6f6;"
        "border:1px solid #ccc;padding:8px;font-family:inherit;overflow-x:auto}</style></head><body>\n"
        "<h1>chatsieve scan report</h1>\n<p id=\"summary\">";
    std::string files;
    for (const std::string& log : logs) files += (files.empty() ? "" : ", ") + log;
    page += FormatCount(tally.Lines()) + " lines (" + FormatCount(tally.Bytes()) + " bytes) in " + Escaped(files) +
            "; " + FormatCount(decided) + " with a level, " + FormatCount(suspicious) + " likely false positives";
    page += Escaped(tally.SummaryNotes());
    const std::string allow = SuggestedAllowRows(tally, package);
    const bool anyAllow = allow.find('\n') + 1 != allow.size();
    // The page of a big list is long: a table of contents, then what needs
    // reading first, the long tables last.
    std::vector<std::pair<const char*, const char*>> contents = {
        {"rule-package", "Rule package"}, {"charts", "Charts"}, {"false-positives", "Likely false positives"}};
    if (anyAllow) contents.push_back({"allow", "Suggested allow.tsv rows"});
    contents.insert(contents.end(), {{"sample-lines", "Samples"},
                                     {"all-rules", "Rules"},
                                     {"by-tag", "By tag and level"},
                                     {"never-fired", "Rules that never fired"}});
    page += ".</p>\n<nav id=\"contents\"><ul>";
    for (const auto& [id, title] : contents) page += std::string("<li><a href=\"#") + id + "\">" + title + "</a></li>";
    page += "</ul></nav>\n" + PackageSection(package) + "<div class=\"charts\" id=\"charts\">\n";

    // Lines without a level are most lines of any log; beside them the
    // flagged lines would not show.
    std::vector<std::pair<std::string, long long>> levels, rules, forms;
    long long unflagged = 0;
    for (const auto& [level, lines] : tally.Levels()) {
        if (level == 0)
            unflagged += lines;
        else
            levels.push_back({"level " + std::to_string(level), lines});
    }
    const auto byLines = tally.RulesByLines();
    for (std::size_t i = 0; i < byLines.size() && i < 15; ++i)
        rules.push_back({Label(package, byLines[i].first, 12), byLines[i].second->lines});
    for (int form = 0; form < kFormCount; ++form) forms.push_back({FormName(form), tally.FormHits(form)});
    page += BarChart("Flagged lines per level",
                     "Lines without a level (" + FormatCount(unflagged) + ") are left out, so that these show.", levels,
                     "#4a7ebb");
    page += BarChart("Top rules by lines decided", "", rules, "#c0504d");
    page += BarChart("Hits by written form", "", forms, "#9bbb59");

    page +=
        "</div>\n<h2 id=\"false-positives\">Likely false positives</h2>\n<p>Lines decided through a homophone "
        "character, inside a longer ASCII word or through an English word read as pinyin";
    if (suspicious == 0) {
        page += ": none.</p>\n";
    } else {
        page += ".</p>\n<table id=\"suspects\"><tr><th>where</th><th>line</th><th>forms</th></tr>\n";
        for (const auto& [name, rule] : byLines) {
            if (!rule->suspicious) continue;
            page += "<tr class=\"suspect\"><th colspan=\"3\">" + Heading(package, name, rule->level, rule->suspicious) +
                    "</th></tr>\n";
            for (const Sample& s : rule->suspiciousSamples) page += SampleRow(s);
        }
        page += "</table>\n";
    }
    if (anyAllow)
        page +=
            "<h2 id=\"allow\">Suggested allow.tsv rows</h2>\n<p>Rows for the rule folder's allow.tsv that let the "
            "likely false positives above through: what a homophone matched, or the whole word pinyin was caught "
            "inside, fillers stripped. Check each before pasting; an expression hides its characters from the rules "
            "it names wherever it occurs.</p>\n<pre id=\"allow-rows\">" +
            Escaped(allow) + "</pre>\n";

    // Rules whose every line was a likely false positive have their samples
    // in that table alone.
    page +=
        "<h2 id=\"sample-lines\">Samples</h2>\n<table id=\"samples\"><tr><th>where</th><th>line</th>"
        "<th>forms</th></tr>\n";
    for (const auto& [name, rule] : byLines) {
        if (rule->samples.empty()) continue;
        page += "<tr><th colspan=\"3\">" + Heading(package, name, rule->level, rule->lines) + "</th></tr>\n";
        for (const Sample& s : rule->samples) page += SampleRow(s);
    }
    page += "</table>\n";
    return page + RulesSection(package, byLines) + RollUpSection(package, byLines) + UnfiredSection(tally, package) +
           "</body></html>\n";
}

}  // namespace chatsieve::tools
