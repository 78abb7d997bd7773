// Code page 936 built in: POSIX systems have no process ANSI code page, and
// the filter must give the results a Windows client in code page 936 gets.
#include "platform/CodePage.h"

namespace chatsieve {

namespace {

LeadByteTable MakeCp936LeadBytes() {
    LeadByteTable table{};
    for (int b = 0x81; b <= 0xFE; ++b) table.isLead[b] = true;
    return table;
}

// The two-byte characters of code page 936 whose Unicode upper case is again a
// character of the code page, as runs of lower-case codes with the distance to
// their upper-case codes (derived with iconv; the code page test re-derives it).
struct CaseRun {
    unsigned first, last;
    int toUpper;
};
constexpr CaseRun kCaseRuns[] = {
    {0xA2A1, 0xA2AA, +0x50},  // small Roman numerals
    {0xA3E1, 0xA3FA, -0x20},  // full-width Latin
    {0xA6C1, 0xA6D8, -0x20},  // Greek
    {0xA7D1, 0xA7F1, -0x30},  // Cyrillic
};

}  // namespace

const LeadByteTable& ActiveLeadBytes() {
    static const LeadByteTable table = MakeCp936LeadBytes();
    return table;
}

unsigned ToUpperDoubleByte(unsigned ch) {
    for (const CaseRun& run : kCaseRuns)
        if (ch >= run.first && ch <= run.last) return static_cast<unsigned>(static_cast<int>(ch) + run.toUpper);
    return ch;
}

}  // namespace chatsieve
