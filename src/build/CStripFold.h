// CStripFold: the ignore-sets and the fold table read as one table, so that a
// check strips a line and folds it in one pass instead of one pass per
// ignore-set and another for the fold.
//
// An ignore-set drops whole characters by their value alone, and dropping
// whole characters keeps every other character where the line's own reading
// puts it; so running the sets one after the other drops just what any of
// them drops, and the fold then sees the same characters. Run gives exactly
// what that gives: the kept bytes, the map back to the line, the fold marks,
// and the line as it was when nothing is left.
//
// Built once at Init from the loaded sets (Build), read by every check; Reset
// before the sets are destroyed. A set of another kind, or no memory, leaves
// it not Ready, and checks then run the sets one by one.
#ifndef CHATSIEVE_BUILD_CSTRIPFOLD_H
#define CHATSIEVE_BUILD_CSTRIPFOLD_H

#include <cstdint>

#include "matchers/CMatcherList.h"
#include "matchers/TArray.h"

namespace chatsieve {

class CFoldTable;

class CStripFold {
public:
    CStripFold() = default;
    CStripFold(const CStripFold&) = delete;
    CStripFold& operator=(const CStripFold&) = delete;
    ~CStripFold() { Reset(); }

    bool Build(const CMatcherList& skipSets, const CFoldTable& fold);
    bool Ready() const { return m_pairs != nullptr; }
    void Reset();

    // Copies `text` (`n` bytes before its terminator) into `out` (room for
    // n + 1) without the ignored characters, each folded character as its
    // one byte, and terminates it;
    // `map` (unless null) leads each byte back to `text`, and `marks` (written only when
    // the table folds) holds the fold marks (ProcessLists.h). A lead byte
    // cut off by the terminator is dropped. Returns the bytes kept (0: the
    // sets drop everything, and `out` is then left as it was), or -1 when
    // `map` or `marks` cannot grow.
    long Run(const char* text, std::size_t n, char* out, TArray<int>* map, TArray<unsigned char>& marks) const;

private:
    template <bool kMarks, bool kMap>
    long Strip(const char* text, std::size_t n, char* out, int* map, unsigned char* marks) const;

    // By the two bytes at a character's place (BytePairIndex): kKeepOne
    // or kDropOne for a one-byte character; for a two-byte one kKeepTwo,
    // kDrop, or the byte it folds to; kCutOff for a lead byte before the
    // terminator.
    static constexpr std::uint16_t kKeepTwo = 0, kDrop = 0x100, kCutOff = 0x200, kKeepOne = 0x300, kDropOne = 0x400;
    std::uint16_t* m_pairs = nullptr;
    bool m_folds = false;
};

}  // namespace chatsieve

#endif
