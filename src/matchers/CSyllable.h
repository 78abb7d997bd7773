// CSyllable: one syllable, recognised in any of three written forms: its
// romanised form in any letter case, its split form exactly (optional), or a
// two-byte character in one of its one to three code ranges. Syllables live in
// g_syllables; phrase and combination rules hold pointers to them.
#ifndef CHATSIEVE_MATCHERS_CSYLLABLE_H
#define CHATSIEVE_MATCHERS_CSYLLABLE_H

#include <cstddef>
#include <cstdint>

#include "matchers/CMatcher.h"

namespace chatsieve {

class CSyllable final : public CMatcher {
public:
    static constexpr MatcherKind kKind = MatcherKind::kSyllable;

    CSyllable() : CMatcher(kKind) {}

    void Destroy() override;
    // Scans from the start of the text one character at a time for the
    // leftmost position where MatchAt succeeds; writes offset only on a match,
    // length through MatchAt, never level.
    int Match(char* text, int reserved, int* offset, int* length, int* level) override;
    int GetLevel() override { return 0; }
    // `codes` holds consecutive (lead, second-low, second-high) triples;
    // 3 to 11 bytes are accepted, and bytes after the last triple are unused.
    virtual int Init(const char* romanised, const unsigned char* codes, int codeByteCount, const char* splitForm);

    // 1 when the syllable starts at p: the romanised form first, then the split
    // form, then the code ranges. *length gets the matched byte count, or after
    // a miss the byte count of the character at p (0 at the end of the text).
    int MatchAt(const char* p, int* length) const;

    // The forms, for indexes that find syllables faster than MatchAt can.
    const char* Romanised() const { return m_romanised; }
    const char* SplitForm() const { return m_splitForm; }
    // The longer form's byte length (0 without forms).
    std::size_t LongestFormLength() const {
        return m_romanisedLength > m_splitLength ? m_romanisedLength : m_splitLength;
    }
    // The fewest bytes a match takes: the shorter form, or a character of
    // the code ranges.
    std::size_t ShortestMatchLength() const {
        std::size_t shortest = m_codeByteCount >= 3 ? 2 : SIZE_MAX;
        if (m_romanised && m_romanisedLength < shortest) shortest = m_romanisedLength;
        if (m_splitForm && m_splitLength < shortest) shortest = m_splitLength;
        return shortest == SIZE_MAX ? 0 : shortest;
    }
    const unsigned char* Codes() const { return m_codes; }
    int CodeRangeCount() const { return m_codeByteCount / 3; }

protected:
    // Released only through Destroy.
    ~CSyllable() = default;

private:
    char* m_romanised = nullptr;
    unsigned char* m_codes = nullptr;
    int m_codeByteCount = 0;
    char* m_splitForm = nullptr;
    // Byte lengths of the two forms, measured once at Init.
    std::size_t m_romanisedLength = 0;
    std::size_t m_splitLength = 0;
    // The romanised form's first character case-folded when it is a single
    // byte, else 0: a text whose first character differs cannot match, so
    // most positions are passed over without comparing the whole form.
    unsigned m_romanisedFirst = 0;
    // The first bytes of the code ranges, a bit each: a character whose
    // first byte starts none is passed over without trying every range.
    std::uint32_t m_rangeLeads[8] = {};
};

}  // namespace chatsieve

#endif
