// UTF-8 decoding and encoding, strict: overlong forms, surrogates and code
// points above U+10FFFF are refused, so every text that passes can be carried
// into code page 936 and back without guessing.
#ifndef CHATSIEVE_TOOLS_COMPILER_UTF8_H
#define CHATSIEVE_TOOLS_COMPILER_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace chatsieve::tools {

// Decodes the code point at `*pos` of `text` and moves `*pos` past it. False
// (with `*pos` unchanged) when the bytes there are not well-formed UTF-8.
bool DecodeUtf8(const std::string& text, std::size_t* pos, std::uint32_t* codePoint);

void AppendUtf8(std::string* out, std::uint32_t codePoint);

// "U+4E2D".
std::string FormatCodePoint(std::uint32_t codePoint);

}  // namespace chatsieve::tools

#endif
