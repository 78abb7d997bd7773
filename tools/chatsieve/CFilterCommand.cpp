#include "CFilterCommand.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "CLineSource.h"
#include "CWhyNot.h"
#include "compiler/CCodePage936.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

int RunFilter(const Arguments& args) { return CFilterCommand().Run(args); }

namespace {

const char kFilterHelp[] =
    "usage: chatsieve filter [--root DIR | --package FILE] [--min-level N] [--encoding gbk|utf-8]\n"
    "                        [--explain] [--why-not] [--json] [--strict] [FILE...]\n"
    "\n"
    "Screens each line of the FILEs (standard input without any, or for '-') and\n"
    "prints LEVEL<TAB>MASKED: the worst level in the line (0: nothing found) and\n"
    "the line with every banned expression of level N or more replaced by '*'.\n"
    "\n"
    "  --package FILE    use the rule package FILE instead of one under --root\n"
    "  --root DIR        the folder holding Data/Scp/Chatsieve.res (default: the\n"
    "                    rule set shipped beside this program)\n"
    "  --min-level N     mask expressions of level N and above (default 1)\n"
    "  --encoding E      input and output encoding: utf-8 (default) or gbk (code\n"
    "                    page 936, passed to the filter unchanged); a file that\n"
    "                    reads as GBK is refused without --encoding gbk\n"
    "  --explain         after each line with a level, name the rule that decided,\n"
    "                    the bytes it matched and how each syllable was written,\n"
    "                    and when masking took several passes, each pass's span\n"
    "                    and rule; after a line where allowed expressions let a\n"
    "                    match through, name them and what decides without them\n"
    "  --why-not         after each line of level 0, name what in it keeps rules\n"
    "                    from matching (characters in no syllable's ranges,\n"
    "                    full-width letters, fillers not stripped) and the rules\n"
    "                    closest to matching, with where each syllable matched or\n"
    "                    failed and why\n"
    "  --json            one JSON object a line (always UTF-8)\n"
    "\n"
    "  --strict          refuse UTF-8 lines that code page 936 cannot hold\n"
    "\n"
    "A character of a UTF-8 line that code page 936 lacks, and each invalid UTF-8\n"
    "sequence, is screened as '?', as a client's conversion to its code page\n"
    "writes it, and noted on standard error as FILE:LINE:COLUMN: message. With\n"
    "--strict such a line is not screened: it is reported the same way (with\n"
    "--json also as an object with an \"error\"), and the exit status is 1.\n"
    "\n"
    "Exit status: 0 every line screened, 1 a line or file could not be screened or\n"
    "the rules could not be loaded, 2 wrong usage.\n";

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string Spaced(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) out += (i ? " " : "") + hex.substr(i, 2);
    return out;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string ColumnRange(const std::vector<int>& columns, int start, int end) {
    if (start < 0 || end <= start || static_cast<std::size_t>(end) > columns.size()) return "?";
    return std::to_string(columns[static_cast<std::size_t>(start)]) + "-" +
           std::to_string(columns[static_cast<std::size_t>(end - 1)]);
}

int ColumnAt(const std::vector<int>& columns, int at) {
    return at >= 0 && static_cast<std::size_t>(at) < columns.size() ? columns[static_cast<std::size_t>(at)] : 0;
}

// " at column 4"; nothing past the last character, where the reason says
// that the line ends.
std::string StepPlace(const std::vector<int>& columns, int at) {
    if (at < 0 || static_cast<std::size_t>(at) >= columns.size()) return "";
    return " at column " + std::to_string(columns[static_cast<std::size_t>(at)]);
}

std::string JsonColumns(const std::vector<int>& columns, int start, int end) {
    if (start < 0 || end <= start || static_cast<std::size_t>(end) > columns.size()) return "null";
    return "[" + std::to_string(columns[static_cast<std::size_t>(start)]) + "," +
           std::to_string(columns[static_cast<std::size_t>(end - 1)]) + "]";
}

// "cheat (phrases.tsv:3)", "phrases.tsv:3", or "#3" for a package that
// does not say where its rules were written.
std::string DescribedRule(const Explanation& explanation) {
    const std::string name = RuleShortName(explanation);
    return explanation.id.empty() || explanation.source.empty() ? name : name + " (" + explanation.source + ")";
}

// ["cheat","contact"] from "cheat,contact".
std::string JsonTags(const std::string& tags) {
    std::string json = "[";
    for (std::size_t start = 0; start < tags.size();) {
        const std::size_t comma = std::min(tags.find(',', start), tags.size());
        json += (start ? "," : "") + JsonString(tags.substr(start, comma - start));
        start = comma + 1;
    }
    return json + "]";
}

// "allow.tsv:7", or "allow.tsv row 1" for a package that does not say.
std::string AllowedPlace(const AllowedMatch& match) {
    if (match.english) return "an English word, let through for the list entries it spells";
    return match.line > 0 ? "allow.tsv:" + std::to_string(match.line) : "allow.tsv row " + std::to_string(match.row);
}

std::string Slice(const std::string& line, int start, int end) {
    if (start < 0 || end <= start || static_cast<std::size_t>(end) > line.size()) return {};
    return line.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

}  // namespace

int CFilterCommand::ParseArguments(const Arguments& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        const auto takeValue = [&](const char* option) {
            const std::size_t n = std::strlen(option);
            if (arg == option) {
                if (i + 1 == args.size()) return -1;
                value = args[++i];
                return 1;
            }
            if (arg.size() > n && arg.compare(0, n, option) == 0 && arg[n] == '=') {
                value = arg.substr(n + 1);
                return 1;
            }
            return 0;
        };
        int taken = 0;
        if ((taken = takeValue("--root")) != 0) {
            if (taken < 0) return UsageError("filter", "--root needs a folder");
            m_root = value;
        } else if ((taken = takeValue("--package")) != 0) {
            if (taken < 0) return UsageError("filter", "--package needs a rule package");
            m_package = value;
        } else if ((taken = takeValue("--min-level")) != 0) {
            char* end = nullptr;
            const long level = taken > 0 ? std::strtol(value.c_str(), &end, 10) : -1;
            if (taken < 0 || value.empty() || *end || level < 0 || level > 1000000)
                return UsageError("filter", "--min-level needs a level of 0 or more");
            m_minLevel = static_cast<int>(level);
        } else if ((taken = takeValue("--encoding")) != 0) {
            if (taken > 0 && (value == "utf-8" || value == "utf8" || value == "UTF-8"))
                m_utf8 = true;
            else if (taken > 0 && (value == "gbk" || value == "GBK" || value == "cp936"))
                m_utf8 = false;
            else
                return UsageError("filter", "--encoding is utf-8 or gbk");
        } else if (arg == "--explain") {
            m_explain = true;
        } else if (arg == "--why-not") {
            m_whyNot = true;
        } else if (arg == "--json") {
            m_json = true;
        } else if (arg == "--strict") {
            m_strict = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("filter", "unknown option '" + arg + "'");
        } else {
            m_files.push_back(arg);
        }
    }
    return kExitOk;
}

int CFilterCommand::Run(const Arguments& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") return std::fputs(kFilterHelp, stdout), kExitOk;
    const int usage = ParseArguments(args);
    if (usage != kExitOk) return usage;
    if (m_root.empty()) {
        m_root = ExecutableFolder();
        if (m_root.empty()) m_root = ".";
    }
    std::string error;
    if (!(m_package.empty() ? m_screener.Open(m_root, &error) : m_screener.OpenPackage(m_package, &error))) {
        std::fprintf(stderr, "chatsieve filter: %s\n", error.c_str());
        return kExitFailure;
    }
    return ScreenAll();
}

int CFilterCommand::ScreenAll() {
    if (m_files.empty()) m_files.push_back("-");
    bool ok = true;
    std::string line;
    for (const std::string& file : m_files) {
        CLineSource source;
        if (!source.Open(file, m_utf8)) {
            std::fprintf(stderr, "chatsieve filter: cannot open %s\n", file.c_str());
            ok = false;
            continue;
        }
        while (source.Next(&line)) {
            ok = ScreenLine(line, file, source.LineNumber()) && ok;
            std::fflush(stdout);
        }
        if (source.ReadsAsGbk()) {
            std::fprintf(stderr,
                         "%s:%d: the line reads as GBK (code page 936), not UTF-8; give --encoding gbk to screen "
                         "this file\n",
                         file.c_str(), source.LineNumber());
            ok = false;
        }
        if (!source.Good()) {
            std::fprintf(stderr, "chatsieve filter: cannot read %s\n", file.c_str());
            ok = false;
        }
    }
    return ok ? kExitOk : kExitFailure;
}

void CFilterCommand::NoteReplacements(const std::string& name, int lineNumber, const TextError& first,
                                      int count) const {
    std::fprintf(stderr, "%s:%d:%d: %s, screened as '?'", name.c_str(), lineNumber, first.column,
                 first.message.c_str());
    if (count > 1) std::fprintf(stderr, " (and %d more in the line)", count - 1);
    std::fputc('\n', stderr);
}

std::string CFilterCommand::Shown(const std::string& cp936, bool forJson) const {
    if (!m_utf8 && !forJson) return cp936;
    // The filter writes '*' over whole expressions, but a match may start
    // inside a character; a byte left alone then shows as U+FFFD.
    return CCodePage936::Instance().ToUtf8Lenient(cp936);
}

bool CFilterCommand::ScreenLine(const std::string& raw, const std::string& name, int lineNumber) {
    std::string line;
    // A column per byte costs four times the line: only what is shown of a
    // match needs them, so a plain screen of a huge line goes without.
    std::vector<int> columns;
    std::vector<int>* const wanted = m_explain || m_whyNot || m_json ? &columns : nullptr;
    TextError error;
    bool converted = true;
    if (m_utf8 && m_strict) {
        converted = CCodePage936::Instance().FromUtf8(raw, &line, &error, wanted);
    } else {
        TextError first;
        const int replaced = ToFilterText(raw, m_utf8, &line, &first, wanted);
        if (replaced > 0) NoteReplacements(name, lineNumber, first, replaced);
    }
    const std::size_t nul = converted ? line.find('\0') : std::string::npos;
    if (nul != std::string::npos) {
        if (!wanted) ToFilterText(raw, m_utf8, &line, nullptr, &columns);
        converted = false;
        error.column = columns[nul];
        error.message = "a NUL byte, which would end the line for the filter";
    }
    if (!converted) {
        const std::string where = name + ":" + std::to_string(lineNumber) + ":" + std::to_string(error.column);
        std::fprintf(stderr, "%s: %s\n", where.c_str(), error.message.c_str());
        if (m_json)
            std::printf("{\"file\":%s,\"line\":%d,\"column\":%d,\"error\":%s}\n", JsonString(name).c_str(), lineNumber,
                        error.column, JsonString(error.message).c_str());
        return false;
    }

    std::string masked;
    const int level = m_screener.Screen(line, m_minLevel, &masked);
    Explanation explanation;
    const bool explained = m_explain && level > 0 && m_screener.Explain(line, &explanation);
    std::vector<MaskPass> passes;
    if (explained) {
        std::string again;
        m_screener.ExplainMasking(line, m_minLevel, &passes, &again);
        // The passes are told from whole checks; the filter's own masking
        // must come to the same bytes, or the list would mislead.
        if (again != masked) {
            std::fprintf(stderr, "%s:%d: the masking passes listed do not give the filter's masked copy\n",
                         name.c_str(), lineNumber);
            passes.clear();
        }
    }
    AllowedExplanation allowed;
    const bool allowedSomething = (m_explain || (m_whyNot && level == 0)) && m_screener.ExplainAllowed(line, &allowed);
    WhyNotReport whyNot;
    const bool askedWhyNot = m_whyNot && level == 0 && m_screener.WhyNot(line, &whyNot);
    if (m_json) {
        std::string object = "{\"file\":" + JsonString(name) + ",\"line\":" + std::to_string(lineNumber) +
                             ",\"level\":" + std::to_string(level) + ",\"text\":" + JsonString(Shown(line, true)) +
                             ",\"masked\":" + JsonString(Shown(masked, true));
        if (explained) object += "," + JsonExplanation(explanation, line, columns) + "," + JsonPasses(passes, columns);
        if (allowedSomething) object += "," + JsonAllowed(allowed, line, columns);
        if (askedWhyNot) object += "," + JsonWhyNot(whyNot, columns);
        object += "}\n";
        std::fwrite(object.data(), 1, object.size(), stdout);
        return true;
    }
    const std::string out = std::to_string(level) + "\t" + Shown(masked, false) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (explained) PrintExplanation(explanation, line, columns);
    if (explained && passes.size() > 1) PrintPasses(passes, columns);
    if (allowedSomething) PrintAllowed(allowed, line, columns);
    // Allowed expressions that let a match through are reason enough.
    const bool nothingNear = whyNot.characters.empty() && whyNot.near.empty();
    if (askedWhyNot && !(allowedSomething && nothingNear)) PrintWhyNot(whyNot, columns);
    return true;
}

void CFilterCommand::PrintWhyNot(const WhyNotReport& report, const std::vector<int>& columns) {
    std::string out;
    for (const CharacterNote& note : report.characters) {
        const int first = ColumnAt(columns, note.start), last = ColumnAt(columns, note.end - 1);
        out += "  why not: \"" + Shown(note.text, false) + "\", " +
               (first == last ? "column " + std::to_string(first)
                              : "columns " + ColumnRange(columns, note.start, note.end)) +
               ": " + Shown(note.note, false) + "\n";
    }
    for (const NearRule& near : report.near) {
        out +=
            "  near: " + near.rule.kind + " " + DescribedRule(near.rule) + ", level " + std::to_string(near.rule.level);
        if (!near.rule.text.empty()) out += ": " + Shown(near.rule.text, false);
        out += "\n";
        // Places are columns, as a person counts the line's characters.
        const auto describe = [&](const WhyNotStep& step) {
            return "syllable " + std::to_string(step.index) + " " + step.pinyin +
                   (step.matched ? " matched" : " failed") + StepPlace(columns, step.byte) + ": " +
                   Shown(step.matched ? step.text : step.reason, false);
        };
        for (const WhyNotStep& step : near.steps) out += "    " + describe(step) + "\n";
        for (std::size_t p = 0; p < near.parts.size(); ++p) {
            const NearPart& part = near.parts[p];
            out += "    part " + std::to_string(p + 1) + " " + part.name;
            if (part.found) {
                out += " found" + StepPlace(columns, part.steps.empty() ? 0 : part.steps[0].byte) + "\n";
                continue;
            }
            out += " missing";
            for (std::size_t k = 0; k < part.steps.size(); ++k) out += (k ? "; " : ": ") + describe(part.steps[k]);
            out += "\n";
        }
    }
    if (report.characters.empty() && report.near.empty()) out += "  why not: no rule comes near\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string CFilterCommand::JsonWhyNot(const WhyNotReport& report, const std::vector<int>& columns) const {
    std::string json = "\"whyNot\":{\"characters\":[";
    for (std::size_t i = 0; i < report.characters.size(); ++i) {
        const CharacterNote& note = report.characters[i];
        json += std::string(i ? "," : "") + "{\"columns\":" + JsonColumns(columns, note.start, note.end) +
                ",\"text\":" + JsonString(Shown(note.text, true)) + ",\"note\":" + JsonString(Shown(note.note, true)) +
                "}";
    }
    json += "],\"near\":[";
    for (std::size_t i = 0; i < report.near.size(); ++i) {
        const NearRule& near = report.near[i];
        json += std::string(i ? "," : "") + "{\"kind\":" + JsonString(near.rule.kind) +
                ",\"id\":" + (near.rule.id.empty() ? std::string("null") : JsonString(near.rule.id)) +
                ",\"source\":" + (near.rule.source.empty() ? std::string("null") : JsonString(near.rule.source)) +
                ",\"level\":" + std::to_string(near.rule.level) +
                ",\"text\":" + JsonString(Shown(near.rule.text, true)) + ",\"steps\":[";
        json += JsonSteps(near.steps, columns) + "]";
        if (!near.parts.empty()) {
            json += ",\"parts\":[";
            for (std::size_t p = 0; p < near.parts.size(); ++p) {
                const NearPart& part = near.parts[p];
                json += std::string(p ? "," : "") + "{\"name\":" + JsonString(part.name) +
                        ",\"found\":" + (part.found ? "true" : "false") + ",\"steps\":[" +
                        JsonSteps(part.steps, columns) + "]}";
            }
            json += "]";
        }
        json += "}";
    }
    return json + "]}";
}

std::string CFilterCommand::JsonSteps(const std::vector<WhyNotStep>& steps, const std::vector<int>& columns) const {
    std::string json;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const WhyNotStep& step = steps[k];
        json += std::string(k ? "," : "") + "{\"index\":" + std::to_string(step.index) +
                ",\"syllable\":" + JsonString(step.pinyin) + ",\"matched\":" + (step.matched ? "true" : "false") +
                ",\"byte\":" + std::to_string(step.byte) +
                ",\"column\":" + std::to_string(ColumnAt(columns, step.byte)) +
                ",\"text\":" + JsonString(Shown(step.text, true));
        if (!step.matched) json += ",\"reason\":" + JsonString(Shown(step.reason, true));
        json += "}";
    }
    return json;
}

void CFilterCommand::PrintPasses(const std::vector<MaskPass>& passes, const std::vector<int>& columns) {
    std::string out = "  masked in " + std::to_string(passes.size()) + " passes:\n";
    for (std::size_t i = 0; i < passes.size(); ++i) {
        const MaskPass& pass = passes[i];
        out += "    " + std::to_string(i + 1) + ": columns " + ColumnRange(columns, pass.start, pass.end) + " \"" +
               Shown(pass.before, false) + "\", " + pass.rule.kind + " " + DescribedRule(pass.rule) + ", level " +
               std::to_string(pass.rule.level) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string CFilterCommand::JsonPasses(const std::vector<MaskPass>& passes, const std::vector<int>& columns) const {
    std::string json = "\"passes\":[";
    for (std::size_t i = 0; i < passes.size(); ++i) {
        const MaskPass& pass = passes[i];
        json += std::string(i ? "," : "") + "{\"columns\":" + JsonColumns(columns, pass.start, pass.end) +
                ",\"text\":" + JsonString(Shown(pass.before, true)) + ",\"kind\":" + JsonString(pass.rule.kind) +
                ",\"id\":" + (pass.rule.id.empty() ? std::string("null") : JsonString(pass.rule.id)) +
                ",\"source\":" + (pass.rule.source.empty() ? std::string("null") : JsonString(pass.rule.source)) +
                ",\"level\":" + std::to_string(pass.rule.level) + "}";
    }
    return json + "]";
}

void CFilterCommand::PrintAllowed(const AllowedExplanation& allowed, const std::string& line,
                                  const std::vector<int>& columns) {
    std::string out;
    for (const AllowedMatch& match : allowed.expressions)
        out += "  allowed: columns " + ColumnRange(columns, match.start, match.end) + " \"" +
               Shown(Slice(line, match.start, match.end), false) + "\" is \"" + Shown(match.text, false) + "\" (" +
               AllowedPlace(match) + ")\n";
    if (allowed.levelWithout > 0) {
        const Explanation& without = allowed.without;
        out += "  without them: level " + std::to_string(allowed.levelWithout) + ", " + without.kind + " " +
               DescribedRule(without);
        if (!without.text.empty()) out += ": " + Shown(without.text, false);
        out += ", columns " + ColumnRange(columns, without.start, without.end) + "\n";
    } else {
        out += "  without them: level 0\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string CFilterCommand::JsonAllowed(const AllowedExplanation& allowed, const std::string& line,
                                        const std::vector<int>& columns) const {
    std::string json = "\"allowed\":{\"expressions\":[";
    for (std::size_t i = 0; i < allowed.expressions.size(); ++i) {
        const AllowedMatch& match = allowed.expressions[i];
        json += std::string(i ? "," : "") + "{\"text\":" + JsonString(Shown(match.text, true)) +
                ",\"row\":" + std::to_string(match.row) +
                ",\"source\":" + (match.line > 0 ? JsonString(AllowedPlace(match)) : std::string("null")) +
                ",\"columns\":" + JsonColumns(columns, match.start, match.end) +
                ",\"matched\":" + JsonString(Shown(Slice(line, match.start, match.end), true)) + "}";
    }
    json += "],\"levelWithout\":" + std::to_string(allowed.levelWithout);
    if (allowed.levelWithout > 0) {
        const Explanation& without = allowed.without;
        json += ",\"ruleWithout\":{\"kind\":" + JsonString(without.kind) +
                ",\"id\":" + (without.id.empty() ? std::string("null") : JsonString(without.id)) +
                ",\"row\":" + std::to_string(without.row) +
                ",\"source\":" + (without.source.empty() ? std::string("null") : JsonString(without.source)) +
                ",\"level\":" + std::to_string(without.level) +
                ",\"columns\":" + JsonColumns(columns, without.start, without.end) + "}";
    }
    return json + "}";
}

void CFilterCommand::PrintExplanation(const Explanation& explanation, const std::string& line,
                                      const std::vector<int>& columns) {
    std::string out = "  rule: " + explanation.kind + " " + DescribedRule(explanation) + ", level " +
                      std::to_string(explanation.level);
    if (!explanation.match.empty()) out += ", " + explanation.match;
    if (!explanation.text.empty()) out += ": " + Shown(explanation.text, false);
    out += "\n";
    const std::string span = Slice(line, explanation.start, explanation.end);
    out += "  matched: columns " + ColumnRange(columns, explanation.start, explanation.end) + " \"" +
           Shown(span, false) + "\" (" + Spaced(Hex(span)) + ")\n";
    for (const PartMatch& part : explanation.parts) {
        out += "  " + part.kind + " " + part.name + ", columns " + ColumnRange(columns, part.start, part.end) + ":";
        for (std::size_t i = 0; i < part.syllables.size(); ++i) {
            const SyllableMatch& s = part.syllables[i];
            out += (i ? ", " : " ") + Shown(s.bytes, false) + " = " + s.pinyin + " (" + s.form + ")";
        }
        out += "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string CFilterCommand::JsonExplanation(const Explanation& explanation, const std::string& line,
                                            const std::vector<int>& columns) const {
    std::string json =
        "\"rule\":{\"kind\":" + JsonString(explanation.kind) +
        ",\"id\":" + (explanation.id.empty() ? std::string("null") : JsonString(explanation.id)) +
        ",\"row\":" + std::to_string(explanation.row) +
        ",\"source\":" + (explanation.source.empty() ? std::string("null") : JsonString(explanation.source)) +
        ",\"tags\":" + JsonTags(explanation.tags) +
        (explanation.match.empty() ? std::string() : ",\"match\":" + JsonString(explanation.match)) +
        ",\"level\":" + std::to_string(explanation.level) + ",\"text\":" + JsonString(Shown(explanation.text, true)) +
        "}";
    const std::string span = Slice(line, explanation.start, explanation.end);
    json += ",\"match\":{\"columns\":" + JsonColumns(columns, explanation.start, explanation.end) +
            ",\"text\":" + JsonString(Shown(span, true)) + ",\"bytes\":" + JsonString(Hex(span)) + "}";
    json += ",\"parts\":[";
    for (std::size_t p = 0; p < explanation.parts.size(); ++p) {
        const PartMatch& part = explanation.parts[p];
        json += std::string(p ? "," : "") + "{\"kind\":" + JsonString(part.kind) +
                ",\"name\":" + JsonString(part.name) + ",\"columns\":" + JsonColumns(columns, part.start, part.end) +
                ",\"syllables\":[";
        for (std::size_t i = 0; i < part.syllables.size(); ++i) {
            const SyllableMatch& s = part.syllables[i];
            json += std::string(i ? "," : "") + "{\"syllable\":" + JsonString(s.pinyin) +
                    ",\"form\":" + JsonString(s.form) + ",\"text\":" + JsonString(Shown(s.bytes, true)) +
                    ",\"bytes\":" + JsonString(Hex(s.bytes)) + "}";
        }
        json += "]}";
    }
    return json + "]";
}

}  // namespace chatsieve::tools
