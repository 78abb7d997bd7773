#include "matchers/CComboRule.h"

#include "platform/Memory.h"

namespace chatsieve {

void CComboRule::Destroy() {
    Free(m_refs);
    m_refs = nullptr;
    m_parts.Clear();
    this->~CComboRule();
    Free(this);
}

int CComboRule::Init(const int* refs, int count, int level) {
    if (!refs || count <= 0 || level < 0) return 0;
    m_refs = static_cast<RefEntry*>(Allocate(sizeof(RefEntry) * static_cast<unsigned>(count)));
    if (!m_refs) return 0;
    for (int i = 0; i < count; ++i) {
        m_refs[i] = DecodeRuleRef(refs[i]);
        if (m_refs[i].kind != kSyllableKind && m_refs[i].kind != kPhraseKind) return 0;
        CMatcher* part = ResolveRef(m_refs[i].index, m_refs[i].kind);
        if (!part) return 0;
        const int partLevel = part->GetLevel();
        CMatcherList::Node* before = m_parts.First();
        while (before && before->matcher->GetLevel() <= partLevel) before = before->next;
        if (!m_parts.InsertBefore(before, part)) return 0;
    }
    m_count = count;
    m_level = level;
    return 1;
}

int CComboRule::Match(char* text, int reserved, int* offset, int* length, int* level) {
    if (!text) return 0;
    for (CMatcherList::Node* node = m_parts.First(); node; node = node->next)
        if (!node->matcher->Match(text, reserved, offset, length, level)) return 0;
    *level = m_level;
    return 1;
}

}  // namespace chatsieve
