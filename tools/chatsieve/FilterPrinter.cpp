// The filter command's text output, and what both printers show alike.
#include "FilterPrinter.h"

#include <cstdio>

namespace chatsieve::tools {

namespace printed {

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

int ColumnAt(const std::vector<int>& columns, int at) {
    return at >= 0 && static_cast<std::size_t>(at) < columns.size() ? columns[static_cast<std::size_t>(at)] : 0;
}

std::string Slice(const std::string& line, int start, int end) {
    if (start < 0 || end <= start || static_cast<std::size_t>(end) > line.size()) return {};
    return line.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string AllowedPlace(const AllowedMatch& match) {
    if (match.english) return "an English word, let through for the list entries it spells";
    return match.line > 0 ? "allow.tsv:" + std::to_string(match.line) : "allow.tsv row " + std::to_string(match.row);
}

}  // namespace printed

namespace {

using namespace printed;

std::string Spaced(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) out += (i ? " " : "") + hex.substr(i, 2);
    return out;
}

std::string ColumnRange(const std::vector<int>& columns, int start, int end) {
    if (start < 0 || end <= start || static_cast<std::size_t>(end) > columns.size()) return "?";
    return std::to_string(columns[static_cast<std::size_t>(start)]) + "-" +
           std::to_string(columns[static_cast<std::size_t>(end - 1)]);
}

// " at column 4"; nothing past the last character, where the reason says
// that the line ends.
std::string StepPlace(const std::vector<int>& columns, int at) {
    if (at < 0 || static_cast<std::size_t>(at) >= columns.size()) return "";
    return " at column " + std::to_string(columns[static_cast<std::size_t>(at)]);
}

// "cheat (phrases.tsv:3)", "phrases.tsv:3", or "#3" for a package that
// does not say where its rules were written.
std::string DescribedRule(const Explanation& explanation) {
    const std::string name = RuleShortName(explanation);
    return explanation.id.empty() || explanation.source.empty() ? name : name + " (" + explanation.source + ")";
}

// LEVEL<TAB>MASKED, and under it two-space-indented notes.
class CTextPrinter : public IFilterPrinter {
public:
    explicit CTextPrinter(bool utf8) : m_utf8(utf8) {}

    // Said on standard error alone.
    void Refused(const std::string&, int, const TextError&) override {}

    void Begin(const std::string&, int, const std::string& text, const std::vector<int>& columns, int level,
               const std::string& masked) override {
        m_line = &text;
        m_columns = &columns;
        m_allowed = false;
        m_out = std::to_string(level) + "\t" + Shown(masked) + "\n";
    }

    void Rule(const Explanation& explanation) override {
        const std::vector<int>& columns = *m_columns;
        m_out += "  rule: " + explanation.kind + " " + DescribedRule(explanation) + ", level " +
                 std::to_string(explanation.level);
        if (!explanation.match.empty()) m_out += ", " + explanation.match;
        if (!explanation.text.empty()) m_out += ": " + Shown(explanation.text);
        m_out += "\n";
        const std::string span = Slice(*m_line, explanation.start, explanation.end);
        m_out += "  matched: columns " + ColumnRange(columns, explanation.start, explanation.end) + " \"" +
                 Shown(span) + "\" (" + Spaced(Hex(span)) + ")\n";
        for (const PartMatch& part : explanation.parts) {
            m_out +=
                "  " + part.kind + " " + part.name + ", columns " + ColumnRange(columns, part.start, part.end) + ":";
            for (std::size_t i = 0; i < part.syllables.size(); ++i) {
                const SyllableMatch& s = part.syllables[i];
                m_out += (i ? ", " : " ") + Shown(s.bytes) + " = " + s.pinyin + " (" + s.form + ")";
            }
            m_out += "\n";
        }
    }

    // One pass says nothing the rule above has not.
    void Passes(const std::vector<MaskPass>& passes) override {
        if (passes.size() < 2) return;
        m_out += "  masked in " + std::to_string(passes.size()) + " passes:\n";
        for (std::size_t i = 0; i < passes.size(); ++i) {
            const MaskPass& pass = passes[i];
            m_out += "    " + std::to_string(i + 1) + ": columns " + ColumnRange(*m_columns, pass.start, pass.end) +
                     " \"" + Shown(pass.before) + "\", " + pass.rule.kind + " " + DescribedRule(pass.rule) +
                     ", level " + std::to_string(pass.rule.level) + "\n";
        }
    }

    void Allowed(const AllowedExplanation& allowed) override {
        const std::vector<int>& columns = *m_columns;
        m_allowed = true;
        for (const AllowedMatch& match : allowed.expressions)
            m_out += "  allowed: columns " + ColumnRange(columns, match.start, match.end) + " \"" +
                     Shown(Slice(*m_line, match.start, match.end)) + "\" is \"" + Shown(match.text) + "\" (" +
                     AllowedPlace(match) + ")\n";
        if (allowed.levelWithout > 0) {
            const Explanation& without = allowed.without;
            m_out += "  without them: level " + std::to_string(allowed.levelWithout) + ", " + without.kind + " " +
                     DescribedRule(without);
            if (!without.text.empty()) m_out += ": " + Shown(without.text);
            m_out += ", columns " + ColumnRange(columns, without.start, without.end) + "\n";
        } else {
            m_out += "  without them: level 0\n";
        }
    }

    void WhyNot(const WhyNotReport& report) override {
        // Allowed expressions that let a match through are reason enough.
        if (m_allowed && report.characters.empty() && report.near.empty()) return;
        const std::vector<int>& columns = *m_columns;
        for (const CharacterNote& note : report.characters) {
            const int first = ColumnAt(columns, note.start), last = ColumnAt(columns, note.end - 1);
            m_out += "  why not: \"" + Shown(note.text) + "\", " +
                     (first == last ? "column " + std::to_string(first)
                                    : "columns " + ColumnRange(columns, note.start, note.end)) +
                     ": " + Shown(note.note) + "\n";
        }
        for (const NearRule& near : report.near) {
            m_out += "  near: " + near.rule.kind + " " + DescribedRule(near.rule) + ", level " +
                     std::to_string(near.rule.level);
            if (!near.rule.text.empty()) m_out += ": " + Shown(near.rule.text);
            m_out += "\n";
            // Places are columns, as a person counts the line's characters.
            const auto describe = [&](const WhyNotStep& step) {
                return "syllable " + std::to_string(step.index) + " " + step.pinyin +
                       (step.matched ? " matched" : " failed") + StepPlace(columns, step.byte) + ": " +
                       Shown(step.matched ? step.text : step.reason);
            };
            for (const WhyNotStep& step : near.steps) m_out += "    " + describe(step) + "\n";
            for (std::size_t p = 0; p < near.parts.size(); ++p) {
                const NearPart& part = near.parts[p];
                m_out += "    part " + std::to_string(p + 1) + " " + part.name;
                if (part.found) {
                    m_out += " found" + StepPlace(columns, part.steps.empty() ? 0 : part.steps[0].byte) + "\n";
                    continue;
                }
                m_out += " missing";
                for (std::size_t k = 0; k < part.steps.size(); ++k)
                    m_out += (k ? "; " : ": ") + describe(part.steps[k]);
                m_out += "\n";
            }
        }
        if (report.characters.empty() && report.near.empty()) m_out += "  why not: no rule comes near\n";
    }

    void End() override {
        std::fwrite(m_out.data(), 1, m_out.size(), stdout);
        m_out.clear();
    }

private:
    // The filter writes '*' over whole expressions, but a match may start
    // inside a character; a byte left alone then shows as U+FFFD.
    std::string Shown(const std::string& cp936) const {
        return m_utf8 ? CCodePage936::Instance().ToUtf8Lenient(cp936) : cp936;
    }

    bool m_utf8;
    const std::string* m_line = nullptr;
    const std::vector<int>* m_columns = nullptr;
    bool m_allowed = false;  // the line's allowed expressions are shown
    std::string m_out;
};

}  // namespace

std::unique_ptr<IFilterPrinter> MakeTextPrinter(bool utf8) { return std::make_unique<CTextPrinter>(utf8); }

}  // namespace chatsieve::tools
