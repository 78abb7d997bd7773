// CSkipSet: one ignore-set, the characters that count for nothing between the
// characters of an expression (spaces, punctuation, symbols). Match removes
// them from the text in place and rebuilds g_positionMap so that every byte
// left can be traced to where it stood in the text it was given.
//
// Init takes the values: s single-byte ranges as (low, high) pairs, -1, then
// d two-byte ranges as (lead, second-low, second-high) triples. Each value
// other than that first -1 is used as its low 8 bits.
#ifndef CHATSIEVE_MATCHERS_CSKIPSET_H
#define CHATSIEVE_MATCHERS_CSKIPSET_H

#include "matchers/CMatcher.h"

namespace chatsieve {

class CSkipSet final : public CMatcher {
public:
    static constexpr MatcherKind kKind = MatcherKind::kSkipSet;

    CSkipSet() : CMatcher(kKind) {}

    void Destroy() override;
    // Length output 0 always; offset output 1 when nothing is left after
    // stripping (the text is then unchanged), 0 otherwise. Level untouched.
    // Returns 1 for any text; 0 for a null text or when the map cannot grow.
    int Match(char* text, int reserved, int* offset, int* length, int* level) override;
    int GetLevel() override { return 0; }
    virtual int Init(const int* values, int count);

    // 1 when the character at p is ignored; its width goes to *charLength.
    int IsSkipped(const char* p, int* charLength) const;

protected:
    // Released only through Destroy.
    ~CSkipSet() = default;

private:
    int* m_values = nullptr;
    int m_valueCount = 0;
    unsigned char* m_singleRanges = nullptr;  // low, high
    int m_singleCount = 0;
    unsigned char* m_doubleRanges = nullptr;  // lead, second-low, second-high
    int m_doubleCount = 0;
    // The ranges as a table, built at Init: a byte per single-byte value,
    // then a bit per two-byte code, so a character is looked up, not compared
    // with every range.
    unsigned char* m_lookup = nullptr;
};

}  // namespace chatsieve

#endif
