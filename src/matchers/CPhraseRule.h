// CPhraseRule: a banned expression as a run of syllables that must follow one
// another with no byte between them (fillers are already stripped by the
// ignore-sets). Its syllables belong to g_syllables; the rule only points.
//
// A rule keeps its references and syllable pointers in one block. Made by
// NewWithRoom, that block lies right behind the rule itself, so a loaded
// rule is one allocation (a small block, platform/Memory.h); made by New<>,
// Init allocates the block.
#ifndef CHATSIEVE_MATCHERS_CPHRASERULE_H
#define CHATSIEVE_MATCHERS_CPHRASERULE_H

#include <cstddef>

#include "matchers/CMatcher.h"
#include "platform/Compiler.h"

namespace chatsieve {

class CPhraseRule final : public CMatcher {
public:
    static constexpr MatcherKind kKind = MatcherKind::kPhrase;

    CPhraseRule() : CMatcher(kKind) {}
    // A rule with room right behind it for `count` references; null when
    // memory ran out.
    static CPhraseRule* NewWithRoom(int count);

    void Destroy() override;
    // On a match: offset of the phrase, length of all its syllables, level.
    int Match(char* text, int reserved, int* offset, int* length, int* level) override;
    // Match's search, as it goes on from `pos` once the places before it have
    // been tried; on a match *restart is where the search step that found it
    // began (its scan for the first syllable led from there to *offset).
    // `walked` is a place at or before `pos` reached by stepping whole
    // characters from the start of the text, `previous` the character before
    // it (-1: none): where the edges' walk may begin.
    int MatchFrom(char* text, int pos, int* offset, int* length, int* level, int* restart, int walked = 0,
                  int previous = -1);
    int GetLevel() override { return m_level; }
    // `refs` are RuleRefs of kind 2 only, resolved against g_syllables now.
    virtual int Init(const int* refs, int count, int level);

    // Written-mode edges: kEdgeStart, a match that begins with an ASCII
    // letter or digit is refused when such a character directly precedes
    // it; kEdgeEnd, one that ends with one when such a character directly
    // follows. So a Latin word or pinyin is not found inside a longer run of
    // letters and digits. Directly means in the line too: with fillers
    // between them (g_foldMarks) they are separate runs. A refused match
    // counts as a failed try, and the search goes on as after any other.
    static constexpr int kEdgeStart = 1;
    static constexpr int kEdgeEnd = 2;
    void SetEdges(int edges) { m_edges = edges & (kEdgeStart | kEdgeEnd); }
    int Edges() const { return m_edges; }
    // The resolved syllables, in phrase order.
    class SyllableRun {
    public:
        SyllableRun(CMatcher* const* syllables, int count) : m_syllables(syllables), m_count(count) {}
        std::size_t Size() const { return static_cast<std::size_t>(m_count); }
        CMatcher* operator[](std::size_t i) const { return m_syllables[i]; }

    private:
        CMatcher* const* m_syllables;
        int m_count;
    };
    SyllableRun Syllables() const { return SyllableRun(m_syllables, m_count); }
    // The decoded references: entry i names Syllables()[i] by its position
    // in the syllable list as it stood when the rule was set up.
    const RefEntry* Refs() const { return m_refs; }

protected:
    // Released only through Destroy.
    ~CPhraseRule() = default;

private:
    // Whether the match [pos, pos + length) of `text` keeps its edges clear.
    bool EdgesClear(const char* text, int pos, int length, int* walked, int* previous) const;
    // Where the references go when the rule was made with room for them.
    RefEntry* Room() { return reinterpret_cast<RefEntry*>(this + 1); }
    // Points m_refs and m_syllables at a block for `count` references.
    // Inline: set-up makes it once a rule, tens of thousands of times.
    CHATSIEVE_ALWAYS_INLINE inline bool Place(int count);
    void FreeBlock();

    RefEntry* m_refs = nullptr;
    CMatcher** m_syllables = nullptr;
    int m_room = 0;  // references the block behind the rule holds
    int m_count = 0;
    int m_level = 0;
    int m_edges = 0;
};

}  // namespace chatsieve

#endif
