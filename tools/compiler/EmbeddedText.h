// EmbeddedText: a data file compiled into the tools at build time
// (cmake/EmbedText.cmake), so that they need no file beside them and work
// from any working directory on a fresh machine. The bytes are the file's,
// unchanged, and live as long as the program.
#ifndef CHATSIEVE_TOOLS_COMPILER_EMBEDDEDTEXT_H
#define CHATSIEVE_TOOLS_COMPILER_EMBEDDEDTEXT_H

#include <cstddef>
#include <string>

namespace chatsieve::tools {

struct EmbeddedText {
    const char* data;
    std::size_t size;

    std::string Text() const { return std::string(data, size); }
};

// The shipped rule set's syllable table and ignore-sets (rules/), used for a
// rule folder that leaves out its own.
const EmbeddedText& ShippedSyllables();
const EmbeddedText& ShippedIgnore();
// Traditional and simplified counterparts, and readings of characters and
// words (tools/variants/).
const EmbeddedText& VariantTable();
const EmbeddedText& ReadingTable();
const EmbeddedText& MainReadingTable();
// The split forms of tools/syllables/, with the character each stands for.
const EmbeddedText& SplitTable();
// English words that read as pinyin (tools/english/).
const EmbeddedText& EnglishTable();

}  // namespace chatsieve::tools

#endif
