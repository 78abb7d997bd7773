// CRuleDecompiler: turns a rule package back into the authoring format. A
// package made by the compiler comes back exactly: its "id" and "text"
// columns give each rule's id and the words it was written with, so building
// the result gives the same bytes again. A package from elsewhere is written
// as well as the format allows (pinyin words where a rule has no text, an
// invented id for a phrase that a combination needs to name), and what
// cannot be kept is listed as a note.
#ifndef CHATSIEVE_TOOLS_COMPILER_CRULEDECOMPILER_H
#define CHATSIEVE_TOOLS_COMPILER_CRULEDECOMPILER_H

#include <string>
#include <utility>
#include <vector>

#include "PackholdWriter.h"

namespace chatsieve::tools {

// The files of the authoring format, as text.
struct AuthoringFiles {
    std::string ignore;
    std::string syllables;
    std::string phrases;
    std::string combos;
    std::string allow;  // empty: the package allows nothing, and no file is written
    std::string lists;  // empty: the package holds no list entries, and no file is written
    // The word lists lists.tsv names: file name, contents.
    std::vector<std::pair<std::string, std::string>> listFiles;
};

class CRuleDecompiler {
public:
    // False, with `*error`, when the package lacks a table or column the
    // filter reads or holds a row the filter would refuse.
    bool Decompile(const packhold::Package& package, AuthoringFiles* files, std::vector<std::string>* notes,
                   std::string* error);

    // Writes the files into `folder`, which must be empty or not exist yet.
    static bool WriteFolder(const std::string& folder, const AuthoringFiles& files, std::string* error);

    // `rebuilt` without the "file", "line" and "tags" columns that the rule
    // tables of `original` lack: a package made before rules carried their
    // places is given back exactly when the rest is the same.
    static packhold::Package WithoutSourceColumns(const packhold::Package& rebuilt, const packhold::Package& original);

private:
    std::string Text(const std::string& cp936, const std::string& where);
    // The list rows of the phrase table (those whose "file" is neither
    // table's) back into lists.tsv and their list files.
    void DecompileLists(const packhold::Table& phrases, const std::vector<bool>& repeats, AuthoringFiles* files);
    std::vector<std::string>* m_notes = nullptr;
};

}  // namespace chatsieve::tools

#endif
