#include "compiler/RuleSource.h"

#include <cstdio>

#include "platform/AsciiText.h"

namespace chatsieve::tools {

char LowerAscii(char c) { return static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c))); }

std::string LowerAscii(std::string text) {
    for (char& c : text) c = LowerAscii(c);
    return text;
}

std::string Diagnostic::Format() const {
    std::string text = pos.file + ":" + std::to_string(pos.line) + ":" + std::to_string(pos.column) + ": ";
    if (severity == Severity::kWarning) text += "warning: ";
    if (severity == Severity::kNote) text += "note: ";
    return text + message;
}

bool HasErrors(const std::vector<Diagnostic>& diagnostics) {
    for (const Diagnostic& d : diagnostics)
        if (d.severity == Diagnostic::Severity::kError) return true;
    return false;
}

std::string FormatCodeRange(const CodeRange& range) {
    char text[16];
    if (range.low == range.high)
        std::snprintf(text, sizeof text, "%02X%02X", range.lead, range.low);
    else
        std::snprintf(text, sizeof text, "%02X%02X-%02X%02X", range.lead, range.low, range.lead, range.high);
    return text;
}

std::string FormatByteRange(const ByteRange& range) {
    char text[8];
    if (range.low == range.high)
        std::snprintf(text, sizeof text, "%02X", range.low);
    else
        std::snprintf(text, sizeof text, "%02X-%02X", range.low, range.high);
    return text;
}

std::string DescribeRule(const RuleSource& rule, const char* kind) {
    const std::string place = rule.pos.file + ":" + std::to_string(rule.pos.line);
    if (rule.id.empty()) return std::string(kind) + " " + place;
    return std::string(kind) + " '" + rule.id + "' (" + place + ")";
}

}  // namespace chatsieve::tools
