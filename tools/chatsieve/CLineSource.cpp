#include "CLineSource.h"

#include <cstdint>
#include <filesystem>

#include "compiler/CAuthoringTable.h"
#include "compiler/Utf8.h"
#include "platform/AsciiText.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

CLineSource::~CLineSource() {
    if (m_own && m_stream) std::fclose(m_stream);
}

bool CLineSource::Open(const std::string& file, bool utf8, long long start, long long end) {
    if (m_own && m_stream) std::fclose(m_stream);
    m_stream = nullptr;
    m_own = false;
    m_good = true;
    m_cut = false;
    m_gbk = false;
    m_encodingKnown = !utf8;
    m_lineNumber = 0;
    m_consumed = 0;
    m_utf8 = utf8;
    m_start = m_position = start;
    m_end = end;
    if (file == "-") {
        m_stream = stdin;
    } else {
        m_stream = std::fopen(file.c_str(), "rb");
        m_own = m_stream != nullptr;
    }
    if (!m_stream) return false;
    if (start > 0) {
        // Start at the first line that begins at `start` or after it: the one
        // before belongs to the range that holds its first byte.
        if (!SeekTo(m_stream, start - 1)) return false;
        m_position = start - 1;
        int c = 0;
        while ((c = std::getc(m_stream)) != EOF) {
            ++m_position;
            if (c == '\n') break;
        }
    }
    return true;
}

namespace {

// Drops the bytes after the last whole character of a line cut short: an
// unfinished UTF-8 sequence, or a lead byte whose partner was cut off.
void CutToCharacter(std::string* line, bool utf8) {
    if (utf8) {
        std::size_t start = line->size();
        while (start > 0 && (static_cast<unsigned char>((*line)[start - 1]) & 0xC0) == 0x80 && line->size() - start < 3)
            --start;
        if (start == 0) return;
        std::size_t pos = start - 1;
        std::uint32_t codePoint = 0;
        if (static_cast<unsigned char>((*line)[pos]) >= 0xC0 && !DecodeUtf8(*line, &pos, &codePoint))
            line->resize(start - 1);
        return;
    }
    std::size_t i = 0;
    while (i + 1 < line->size()) i += GbkStep(static_cast<unsigned char>((*line)[i]));
    if (i + 1 == line->size() && CCodePage936::IsLead(static_cast<unsigned char>(line->back()))) line->pop_back();
}

bool HasHighBytes(const std::string& line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

}  // namespace

bool CLineSource::Next(std::string* line) {
    line->clear();
    m_cut = false;
    if (m_gbk || (m_end >= 0 && m_position >= m_end)) return false;
    int c = 0;
    long long bytes = 0;
    while ((c = std::getc(m_stream)) != EOF) {
        ++bytes;
        if (c == '\n') break;
        if (m_maxLength && line->size() == m_maxLength)
            m_cut = true;
        else
            line->push_back(static_cast<char>(c));
    }
    if (c == EOF && std::ferror(m_stream)) m_good = false;
    if (bytes == 0) return false;
    m_position += bytes;
    m_consumed += bytes;
    if (m_cut)
        CutToCharacter(line, m_utf8);
    else if (!line->empty() && line->back() == '\r')
        line->pop_back();
    if (m_utf8 && m_lineNumber == 0 && m_start == 0 && line->compare(0, 3, "\xEF\xBB\xBF") == 0) line->erase(0, 3);
    ++m_lineNumber;
    if (!m_encodingKnown && HasHighBytes(*line)) {
        m_encodingKnown = true;
        const char* foreign = ForeignEncoding(*line);
        if (foreign && std::string(foreign) == "GBK") {
            m_gbk = true;
            return false;
        }
    }
    return true;
}

long long FileSize(const std::string& file) {
    if (file == "-") return -1;
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    return ec ? -1 : static_cast<long long>(size);
}

int ToFilterText(const std::string& raw, bool utf8, std::string* text, TextError* first, std::vector<int>* columns) {
    if (utf8) return CCodePage936::Instance().FromUtf8Lossy(raw, text, columns, first);
    *text = raw;
    if (columns) {
        columns->clear();
        int column = 1;
        for (std::size_t i = 0; i < raw.size(); ++column) {
            const std::size_t width = GbkStepWithin(raw.data(), i, raw.size());
            columns->insert(columns->end(), width, column);
            i += width;
        }
    }
    return 0;
}

}  // namespace chatsieve::tools
