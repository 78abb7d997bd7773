// CCodePage936: conversion between UTF-8 and code page 936 (GBK), the code
// page of the filter's text. Built once per process from the platform's own
// table (system/ToolPlatform.h), so the tools agree with the system a game
// client runs on. FromUtf8 is strict: a character the code page lacks is an
// error naming its place, never a silent '?'. FromUtf8Lossy converts the way
// a client's conversion to its ANSI code page does, for screening lines as
// the filter would see them.
#ifndef CHATSIEVE_TOOLS_COMPILER_CCODEPAGE936_H
#define CHATSIEVE_TOOLS_COMPILER_CCODEPAGE936_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/AsciiText.h"

namespace chatsieve::tools {

// Where a conversion stopped: the byte offset in the input, the 1-based
// column counted in characters, and an English sentence.
struct TextError {
    std::size_t byteOffset = 0;
    int column = 0;
    std::string message;
};

class CCodePage936 {
public:
    static const CCodePage936& Instance();

    // The code point of the character whose bytes are (first) or (first,
    // second), or -1 when unassigned.
    long Decode(unsigned char first) const { return m_single[first]; }
    long Decode(unsigned char lead, unsigned char trail) const { return m_double[lead << 8 | trail]; }
    static bool IsLead(unsigned char b) { return IsGbkLeadByte(b); }

    // Appends the code page bytes of `codePoint`; false when it has none.
    bool Encode(std::uint32_t codePoint, std::string* out) const;
    // lead << 8 | trail of a code point the code page writes in two bytes; 0
    // for one it writes in one byte or lacks.
    unsigned TwoByteCode(std::uint32_t codePoint) const;

    // UTF-8 to code page 936. On success `*columns`, when given, gets for
    // every output byte the 1-based column of the character it came from.
    bool FromUtf8(const std::string& utf8, std::string* out, TextError* error,
                  std::vector<int>* columns = nullptr) const;
    // UTF-8 to code page 936 as a Windows client converts it: each character
    // the code page lacks, and each invalid UTF-8 sequence (its maximal
    // subpart, as MultiByteToWideChar reads it), becomes '?', the default
    // character of WideCharToMultiByte. Returns the number of replacements;
    // `*first`, when given and there is one, says where and what the first was.
    int FromUtf8Lossy(const std::string& utf8, std::string* out, std::vector<int>* columns = nullptr,
                      TextError* first = nullptr) const;
    // Code page 936 to UTF-8; false at the first byte sequence that is no
    // character of the code page.
    bool ToUtf8(const std::string& bytes, std::string* out, TextError* error) const;
    // The same, but writes U+FFFD for each byte that starts no character, for
    // showing texts the filter has already changed.
    std::string ToUtf8Lenient(const std::string& bytes) const;

private:
    CCodePage936();

    std::vector<long> m_single;
    std::vector<long> m_double;
    std::unordered_map<std::uint32_t, std::uint16_t> m_encode;
};

}  // namespace chatsieve::tools

#endif
