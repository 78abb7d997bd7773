#include "compiler/Utf8.h"

#include <cstdio>

namespace chatsieve::tools {

bool DecodeUtf8(const std::string& text, std::size_t* pos, std::uint32_t* codePoint) {
    const std::size_t at = *pos;
    if (at >= text.size()) return false;
    const unsigned char first = static_cast<unsigned char>(text[at]);
    if (first < 0x80) {
        *codePoint = first;
        *pos = at + 1;
        return true;
    }
    int extra = 0;
    std::uint32_t value = 0;
    std::uint32_t minimum = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        extra = 1, value = first & 0x1Fu, minimum = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        extra = 2, value = first & 0x0Fu, minimum = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        extra = 3, value = first & 0x07u, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - at <= static_cast<std::size_t>(extra)) return false;
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
        if ((next & 0xC0u) != 0x80u) return false;
        value = value << 6 | (next & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *codePoint = value;
    *pos = at + 1 + static_cast<std::size_t>(extra);
    return true;
}

void AppendUtf8(std::string* out, std::uint32_t cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | cp >> 6));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | cp >> 12));
        out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | cp >> 18));
        out->push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string FormatCodePoint(std::uint32_t codePoint) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
    return text;
}

}  // namespace chatsieve::tools
