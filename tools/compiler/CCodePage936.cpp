#include "compiler/CCodePage936.h"

#include "compiler/Utf8.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

const CCodePage936& CCodePage936::Instance() {
    static const CCodePage936 table;
    return table;
}

CCodePage936::CCodePage936() : m_single(256, -1), m_double(65536, -1) {
    for (int b = 0; b < 256; ++b) {
        const unsigned char byte = static_cast<unsigned char>(b);
        if (IsLead(byte)) continue;
        m_single[b] = b < 0x80 ? b : Cp936CharToCodePoint(&byte, 1);
        if (m_single[b] >= 0) m_encode.emplace(static_cast<std::uint32_t>(m_single[b]), static_cast<std::uint16_t>(b));
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const unsigned char bytes[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
            const long cp = Cp936CharToCodePoint(bytes, 2);
            const int code = lead << 8 | trail;
            m_double[code] = cp;
            // The first code of a code point is the one it is written back as.
            if (cp >= 0) m_encode.emplace(static_cast<std::uint32_t>(cp), static_cast<std::uint16_t>(code));
        }
    }
}

unsigned CCodePage936::TwoByteCode(std::uint32_t codePoint) const {
    const auto found = m_encode.find(codePoint);
    return found != m_encode.end() && found->second > 0xFF ? static_cast<unsigned>(found->second) : 0;
}

bool CCodePage936::Encode(std::uint32_t codePoint, std::string* out) const {
    const auto found = m_encode.find(codePoint);
    if (found == m_encode.end()) return false;
    if (found->second > 0xFF) out->push_back(static_cast<char>(found->second >> 8));
    out->push_back(static_cast<char>(found->second & 0xFF));
    return true;
}

bool CCodePage936::FromUtf8(const std::string& utf8, std::string* out, TextError* error,
                            std::vector<int>* columns) const {
    out->clear();
    if (columns) columns->clear();
    std::size_t pos = 0;
    int column = 1;
    while (pos < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t at = pos;
        if (!DecodeUtf8(utf8, &pos, &cp)) {
            if (error) {
                static const char kHex[] = "0123456789ABCDEF";
                const unsigned char b = static_cast<unsigned char>(utf8[at]);
                *error =
                    TextError{at, column, std::string("invalid UTF-8 (byte 0x") + kHex[b >> 4] + kHex[b & 15] + ")"};
            }
            return false;
        }
        if (!Encode(cp, out)) {
            if (error) {
                std::string shown;
                AppendUtf8(&shown, cp);
                *error = TextError{at, column, "'" + shown + "' (" + FormatCodePoint(cp) + ") is not in code page 936"};
            }
            return false;
        }
        if (columns) columns->resize(out->size(), column);
        ++column;
    }
    return true;
}

namespace {

// The length of the maximal subpart of an ill-formed UTF-8 sequence at `at`:
// the longest prefix of a well-formed sequence, or 1.
std::size_t IllFormedLength(const std::string& text, std::size_t at) {
    const unsigned char first = static_cast<unsigned char>(text[at]);
    std::size_t expected = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        expected = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        expected = 3;
        if (first == 0xE0) low = 0xA0;
        if (first == 0xED) high = 0x9F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        expected = 4;
        if (first == 0xF0) low = 0x90;
        if (first == 0xF4) high = 0x8F;
    } else {
        return 1;
    }
    std::size_t length = 1;
    while (length < expected && at + length < text.size()) {
        const unsigned char next = static_cast<unsigned char>(text[at + length]);
        if (next < low || next > high) break;
        low = 0x80, high = 0xBF;
        ++length;
    }
    return length;
}

}  // namespace

int CCodePage936::FromUtf8Lossy(const std::string& utf8, std::string* out, std::vector<int>* columns,
                                TextError* first) const {
    out->clear();
    if (columns) columns->clear();
    int replaced = 0;
    std::size_t pos = 0;
    int column = 1;
    while (pos < utf8.size()) {
        std::uint32_t cp = 0;
        const std::size_t at = pos;
        std::string problem;
        if (!DecodeUtf8(utf8, &pos, &cp)) {
            static const char kHex[] = "0123456789ABCDEF";
            const unsigned char b = static_cast<unsigned char>(utf8[at]);
            problem = std::string("invalid UTF-8 (byte 0x") + kHex[b >> 4] + kHex[b & 15] + ")";
            pos = at + IllFormedLength(utf8, at);
        } else if (!Encode(cp, out)) {
            std::string shown;
            AppendUtf8(&shown, cp);
            problem = "'" + shown + "' (" + FormatCodePoint(cp) + ") is not in code page 936";
        }
        if (!problem.empty()) {
            out->push_back('?');
            if (replaced++ == 0 && first) *first = TextError{at, column, problem};
        }
        if (columns) columns->resize(out->size(), column);
        ++column;
    }
    return replaced;
}

bool CCodePage936::ToUtf8(const std::string& bytes, std::string* out, TextError* error) const {
    out->clear();
    int column = 1;
    for (std::size_t i = 0; i < bytes.size(); ++column) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        long cp = -1;
        std::size_t width = 1;
        if (IsLead(b)) {
            width = 2;
            if (i + 1 < bytes.size()) cp = Decode(b, static_cast<unsigned char>(bytes[i + 1]));
        } else {
            cp = Decode(b);
        }
        if (cp < 0) {
            if (error) *error = TextError{i, column, "bytes that are no character of code page 936"};
            return false;
        }
        AppendUtf8(out, static_cast<std::uint32_t>(cp));
        i += width;
    }
    return true;
}

std::string CCodePage936::ToUtf8Lenient(const std::string& bytes) const {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        long cp = -1;
        if (IsLead(b) && i + 1 < bytes.size()) cp = Decode(b, static_cast<unsigned char>(bytes[i + 1]));
        if (cp >= 0) {
            AppendUtf8(&out, static_cast<std::uint32_t>(cp));
            i += 2;
            continue;
        }
        cp = IsLead(b) ? -1 : Decode(b);
        AppendUtf8(&out, cp >= 0 ? static_cast<std::uint32_t>(cp) : 0xFFFDu);
        ++i;
    }
    return out;
}

}  // namespace chatsieve::tools
