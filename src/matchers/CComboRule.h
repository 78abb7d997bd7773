// CComboRule: an expression made of parts (syllables or phrase rules) that
// must all occur anywhere in the text, in any order, overlapping allowed. The
// parts are asked from the lowest level to the highest, so the reported span
// is that of the highest-level part (the last referred to among equals).
#ifndef CHATSIEVE_MATCHERS_CCOMBORULE_H
#define CHATSIEVE_MATCHERS_CCOMBORULE_H

#include "matchers/CMatcher.h"
#include "matchers/CMatcherList.h"

namespace chatsieve {

class CComboRule final : public CMatcher {
public:
    static constexpr MatcherKind kKind = MatcherKind::kCombo;

    CComboRule() : CMatcher(kKind) {}

    void Destroy() override;
    // Offset and length as the last part left them; level is the rule's own.
    int Match(char* text, int reserved, int* offset, int* length, int* level) override;
    int GetLevel() override { return m_level; }
    // `refs` are RuleRefs of kind 2 (syllable) or 3 (phrase rule).
    virtual int Init(const int* refs, int count, int level);

    // The parts in the order they are asked.
    const CMatcherList& Parts() const { return m_parts; }

protected:
    // Released only through Destroy.
    ~CComboRule() = default;

private:
    RefEntry* m_refs = nullptr;
    int m_count = 0;
    int m_level = 0;
    CMatcherList m_parts;
};

}  // namespace chatsieve

#endif
