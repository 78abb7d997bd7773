// CLineSource: the lines of a log or cases file as the chatsieve commands
// screen them, one at a time so a log of any size streams in constant
// memory. Lines end at LF, a CR before it is dropped, and a UTF-8 byte order
// mark at the start of the file is skipped. A source may be given a byte range
// of its file, for worker processes that share one file: it then reads the
// lines that start inside the range.
//
// ToFilterText turns a line into the code page 936 text a game client would
// hand the filter: UTF-8 converted the way its conversion to the ANSI code
// page does it, code page 936 unchanged.
//
// A UTF-8 source also tells a GBK file given as UTF-8: the first line with
// bytes above ASCII decides, and when it is not UTF-8 but reads as GBK
// throughout, the source ends there and ReadsAsGbk says so (screening GBK
// as UTF-8 would turn every character into '?' and find nothing). A source
// with a longest line keeps only that many bytes of a longer one, cut
// between characters, and steps over the rest of it.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_CLINESOURCE_H
#define CHATSIEVE_TOOLS_CHATSIEVE_CLINESOURCE_H

#include <cstdio>
#include <string>
#include <vector>

#include "compiler/CCodePage936.h"

namespace chatsieve::tools {

// The longest line scan and diff screen whole, by default. Chat lines are
// short; a longer line is a damaged log or an attack, and screening it whole
// would take memory many times its size.
constexpr long long kMaxScreenedLine = 1 << 20;

class CLineSource {
public:
    CLineSource() = default;
    ~CLineSource();
    CLineSource(const CLineSource&) = delete;
    CLineSource& operator=(const CLineSource&) = delete;

    // "-" is standard input. `end` < 0: to the end of the file.
    bool Open(const std::string& file, bool utf8, long long start = 0, long long end = -1);
    // Lines longer than `bytes` are cut to it (0: no limit).
    void SetMaxLength(std::size_t bytes) { m_maxLength = bytes; }
    // The next line without its end; false at the end of the range.
    bool Next(std::string* line);
    // Whether the line Next returned was cut.
    bool Cut() const { return m_cut; }
    // Whether the source ended at line LineNumber() because the file reads
    // as GBK, not UTF-8.
    bool ReadsAsGbk() const { return m_gbk; }
    // False when reading failed (as against ending).
    bool Good() const { return m_good; }
    int LineNumber() const { return m_lineNumber; }
    // The bytes of the lines returned so far, line ends included.
    long long BytesRead() const { return m_consumed; }

private:
    std::FILE* m_stream = nullptr;
    bool m_own = false;
    bool m_utf8 = true;
    bool m_good = true;
    bool m_cut = false;
    bool m_gbk = false;
    bool m_encodingKnown = false;
    std::size_t m_maxLength = 0;
    int m_lineNumber = 0;
    long long m_start = 0;
    long long m_position = 0;
    long long m_end = -1;
    long long m_consumed = 0;
};

// The byte size of `file`, -1 when unknown (standard input, a pipe).
long long FileSize(const std::string& file);

// The code page 936 text of `raw`, and the number of characters written as
// '?' (`*first` says where the first was).
int ToFilterText(const std::string& raw, bool utf8, std::string* text, TextError* first,
                 std::vector<int>* columns = nullptr);

}  // namespace chatsieve::tools

#endif
