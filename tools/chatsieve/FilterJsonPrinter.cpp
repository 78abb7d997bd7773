// The filter command's JSON output: one object a line, its members in the
// order the records come, texts in UTF-8.
#include <algorithm>
#include <cstdio>

#include "FilterPrinter.h"

namespace chatsieve::tools {

namespace {

using namespace printed;

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

// A string, or null for an empty one.
std::string JsonOrNull(const std::string& text) { return text.empty() ? std::string("null") : JsonString(text); }

std::string JsonColumns(const std::vector<int>& columns, int start, int end) {
    if (start < 0 || end <= start || static_cast<std::size_t>(end) > columns.size()) return "null";
    return "[" + std::to_string(columns[static_cast<std::size_t>(start)]) + "," +
           std::to_string(columns[static_cast<std::size_t>(end - 1)]) + "]";
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

// The filter writes '*' over whole expressions, but a match may start
// inside a character; a byte left alone then shows as U+FFFD.
std::string Shown(const std::string& cp936) { return CCodePage936::Instance().ToUtf8Lenient(cp936); }

class CJsonPrinter : public IFilterPrinter {
public:
    void Refused(const std::string& file, int number, const TextError& error) override {
        std::printf("{\"file\":%s,\"line\":%d,\"column\":%d,\"error\":%s}\n", JsonString(file).c_str(), number,
                    error.column, JsonString(error.message).c_str());
    }

    void Begin(const std::string& file, int number, const std::string& text, const std::vector<int>& columns, int level,
               const std::string& masked) override {
        m_line = &text;
        m_columns = &columns;
        m_out = "{\"file\":" + JsonString(file) + ",\"line\":" + std::to_string(number) +
                ",\"level\":" + std::to_string(level) + ",\"text\":" + JsonString(Shown(text)) +
                ",\"masked\":" + JsonString(Shown(masked));
    }

    void Rule(const Explanation& explanation) override {
        const std::vector<int>& columns = *m_columns;
        m_out += ",\"rule\":{\"kind\":" + JsonString(explanation.kind) + ",\"id\":" + JsonOrNull(explanation.id) +
                 ",\"row\":" + std::to_string(explanation.row) + ",\"source\":" + JsonOrNull(explanation.source) +
                 ",\"tags\":" + JsonTags(explanation.tags) +
                 (explanation.match.empty() ? std::string() : ",\"match\":" + JsonString(explanation.match)) +
                 ",\"level\":" + std::to_string(explanation.level) +
                 ",\"text\":" + JsonString(Shown(explanation.text)) + "}";
        const std::string span = Slice(*m_line, explanation.start, explanation.end);
        m_out += ",\"match\":{\"columns\":" + JsonColumns(columns, explanation.start, explanation.end) +
                 ",\"text\":" + JsonString(Shown(span)) + ",\"bytes\":" + JsonString(Hex(span)) + "}";
        m_out += ",\"parts\":[";
        for (std::size_t p = 0; p < explanation.parts.size(); ++p) {
            const PartMatch& part = explanation.parts[p];
            m_out += std::string(p ? "," : "") + "{\"kind\":" + JsonString(part.kind) +
                     ",\"name\":" + JsonString(part.name) +
                     ",\"columns\":" + JsonColumns(columns, part.start, part.end) + ",\"syllables\":[";
            for (std::size_t i = 0; i < part.syllables.size(); ++i) {
                const SyllableMatch& s = part.syllables[i];
                m_out += std::string(i ? "," : "") + "{\"syllable\":" + JsonString(s.pinyin) +
                         ",\"form\":" + JsonString(s.form) + ",\"text\":" + JsonString(Shown(s.bytes)) +
                         ",\"bytes\":" + JsonString(Hex(s.bytes)) + "}";
            }
            m_out += "]}";
        }
        m_out += "]";
    }

    void Passes(const std::vector<MaskPass>& passes) override {
        m_out += ",\"passes\":[";
        for (std::size_t i = 0; i < passes.size(); ++i) {
            const MaskPass& pass = passes[i];
            m_out += std::string(i ? "," : "") + "{\"columns\":" + JsonColumns(*m_columns, pass.start, pass.end) +
                     ",\"text\":" + JsonString(Shown(pass.before)) + ",\"kind\":" + JsonString(pass.rule.kind) +
                     ",\"id\":" + JsonOrNull(pass.rule.id) + ",\"source\":" + JsonOrNull(pass.rule.source) +
                     ",\"level\":" + std::to_string(pass.rule.level) + "}";
        }
        m_out += "]";
    }

    void Allowed(const AllowedExplanation& allowed) override {
        const std::vector<int>& columns = *m_columns;
        m_out += ",\"allowed\":{\"expressions\":[";
        for (std::size_t i = 0; i < allowed.expressions.size(); ++i) {
            const AllowedMatch& match = allowed.expressions[i];
            m_out += std::string(i ? "," : "") + "{\"text\":" + JsonString(Shown(match.text)) +
                     ",\"row\":" + std::to_string(match.row) +
                     ",\"source\":" + (match.line > 0 ? JsonString(AllowedPlace(match)) : std::string("null")) +
                     ",\"columns\":" + JsonColumns(columns, match.start, match.end) +
                     ",\"matched\":" + JsonString(Shown(Slice(*m_line, match.start, match.end))) + "}";
        }
        m_out += "],\"levelWithout\":" + std::to_string(allowed.levelWithout);
        if (allowed.levelWithout > 0) {
            const Explanation& without = allowed.without;
            m_out += ",\"ruleWithout\":{\"kind\":" + JsonString(without.kind) + ",\"id\":" + JsonOrNull(without.id) +
                     ",\"row\":" + std::to_string(without.row) + ",\"source\":" + JsonOrNull(without.source) +
                     ",\"level\":" + std::to_string(without.level) +
                     ",\"columns\":" + JsonColumns(columns, without.start, without.end) + "}";
        }
        m_out += "}";
    }

    void WhyNot(const WhyNotReport& report) override {
        const std::vector<int>& columns = *m_columns;
        m_out += ",\"whyNot\":{\"characters\":[";
        for (std::size_t i = 0; i < report.characters.size(); ++i) {
            const CharacterNote& note = report.characters[i];
            m_out += std::string(i ? "," : "") + "{\"columns\":" + JsonColumns(columns, note.start, note.end) +
                     ",\"text\":" + JsonString(Shown(note.text)) + ",\"note\":" + JsonString(Shown(note.note)) + "}";
        }
        m_out += "],\"near\":[";
        for (std::size_t i = 0; i < report.near.size(); ++i) {
            const NearRule& near = report.near[i];
            m_out += std::string(i ? "," : "") + "{\"kind\":" + JsonString(near.rule.kind) +
                     ",\"id\":" + JsonOrNull(near.rule.id) + ",\"source\":" + JsonOrNull(near.rule.source) +
                     ",\"level\":" + std::to_string(near.rule.level) +
                     ",\"text\":" + JsonString(Shown(near.rule.text)) + ",\"steps\":[" + Steps(near.steps) + "]";
            if (!near.parts.empty()) {
                m_out += ",\"parts\":[";
                for (std::size_t p = 0; p < near.parts.size(); ++p) {
                    const NearPart& part = near.parts[p];
                    m_out += std::string(p ? "," : "") + "{\"name\":" + JsonString(part.name) +
                             ",\"found\":" + (part.found ? "true" : "false") + ",\"steps\":[" + Steps(part.steps) +
                             "]}";
                }
                m_out += "]";
            }
            m_out += "}";
        }
        m_out += "]}";
    }

    void End() override {
        m_out += "}\n";
        std::fwrite(m_out.data(), 1, m_out.size(), stdout);
        m_out.clear();
    }

private:
    std::string Steps(const std::vector<WhyNotStep>& steps) const {
        std::string json;
        for (std::size_t k = 0; k < steps.size(); ++k) {
            const WhyNotStep& step = steps[k];
            json += std::string(k ? "," : "") + "{\"index\":" + std::to_string(step.index) +
                    ",\"syllable\":" + JsonString(step.pinyin) + ",\"matched\":" + (step.matched ? "true" : "false") +
                    ",\"byte\":" + std::to_string(step.byte) +
                    ",\"column\":" + std::to_string(ColumnAt(*m_columns, step.byte)) +
                    ",\"text\":" + JsonString(Shown(step.text));
            if (!step.matched) json += ",\"reason\":" + JsonString(Shown(step.reason));
            json += "}";
        }
        return json;
    }

    const std::string* m_line = nullptr;
    const std::vector<int>* m_columns = nullptr;
    std::string m_out;
};

}  // namespace

std::unique_ptr<IFilterPrinter> MakeJsonPrinter() { return std::make_unique<CJsonPrinter>(); }

}  // namespace chatsieve::tools
