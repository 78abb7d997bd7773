// The process's ANSI code page, as the Windows runtime sees it: lead bytes
// from GetCPInfo, two-byte upper case through the wide-character mapping.
#include "platform/CodePage.h"

#include <windows.h>

namespace chatsieve {

namespace {

LeadByteTable MakeAnsiLeadBytes() {
    LeadByteTable table{};
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info)) {
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
            for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) table.isLead[b] = true;
    }
    return table;
}

// Two-byte characters are upper-cased by round-tripping through UTF-16; an
// upper case that is not again a two-byte character of the code page is no
// upper case here. Built once: 32768 codes.
struct UpperTable {
    unsigned short upper[0x8000];
};

UpperTable* MakeUpperTable() {
    static UpperTable table;
    const LeadByteTable& lead = ActiveLeadBytes();
    for (unsigned ch = 0x8000; ch <= 0xFFFF; ++ch) {
        unsigned short result = static_cast<unsigned short>(ch);
        char bytes[2] = {static_cast<char>(ch >> 8), static_cast<char>(ch & 0xFF)};
        wchar_t wide[2];
        if (lead.isLead[ch >> 8] && (ch & 0xFF) != 0 &&
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) == 1) {
            CharUpperBuffW(wide, 1);
            char back[4];
            BOOL lossy = FALSE;
            if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, 1, back, sizeof back, nullptr, &lossy) == 2 &&
                !lossy && lead.isLead[static_cast<unsigned char>(back[0])])
                result = static_cast<unsigned short>((static_cast<unsigned char>(back[0]) << 8) |
                                                     static_cast<unsigned char>(back[1]));
        }
        table.upper[ch - 0x8000] = result;
    }
    return &table;
}

}  // namespace

const LeadByteTable& ActiveLeadBytes() {
    static const LeadByteTable table = MakeAnsiLeadBytes();
    return table;
}

unsigned ToUpperDoubleByte(unsigned ch) {
    static const UpperTable* table = MakeUpperTable();
    return ch >= 0x8000 && ch <= 0xFFFF ? table->upper[ch - 0x8000] : ch;
}

}  // namespace chatsieve
