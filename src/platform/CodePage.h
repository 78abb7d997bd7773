// The code page seam: the two facts about the ANSI multibyte code page that
// the text operations need. Each platform folder implements them once
// (posix/: code page 936 built in; win32/: the process's ANSI code page), so
// nothing else in the library asks which system it runs on.
#ifndef CHATSIEVE_PLATFORM_CODEPAGE_H
#define CHATSIEVE_PLATFORM_CODEPAGE_H

namespace chatsieve {

struct LeadByteTable {
    bool isLead[256];
};

// The lead-byte table of the active code page, built once per process.
const LeadByteTable& ActiveLeadBytes();

// The active table's entries, by byte: for loops, which take it once.
inline const bool* LeadBytes() {
    static const bool* const table = ActiveLeadBytes().isLead;
    return table;
}

// True when `b` starts a two-byte character, whatever byte follows it.
inline bool IsLeadByte(unsigned char b) { return LeadBytes()[b]; }

// Upper-case form of the two-byte character (lead << 8 | trail) in the code
// page's locale; the character itself when it has no two-byte upper case.
unsigned ToUpperDoubleByte(unsigned ch);

}  // namespace chatsieve

#endif
