// CMatcher: what every rule object shares. The four kinds (CSkipSet,
// CSyllable, CPhraseRule, CComboRule) are made only by the rule loader:
// construct with New<>, call the class's own Init once, list it. Whatever Init
// allocates belongs to the object even when Init fails; the object is released
// once, only through Destroy, which frees its buffers and then itself. After a
// successful Init a matcher never changes. Not thread-safe (see ProcessLists.h).
//
// Match(text, reserved, offset, length, level) returns 1 when the matcher finds
// what it looks for and 0 otherwise (always 0 for a null text). The three
// outputs are read only after a 1; several matchers write them along the way.
// `reserved` is passed on but never read.
//
// The slot order of the virtual operations (Destroy, Match, GetLevel,
// ResolveRef, then each class's Init) is fixed.
//
// Each of the four kinds names itself (Kind), so the structures built over
// the rules tell them apart with a compare, not a run-time type search;
// As<T> is the checked downcast built on it.
#ifndef CHATSIEVE_MATCHERS_CMATCHER_H
#define CHATSIEVE_MATCHERS_CMATCHER_H

#include "format/RulePackage.h"

namespace chatsieve {

enum class MatcherKind : unsigned char { kOther, kSkipSet, kSyllable, kPhrase, kCombo };

class CMatcher {
public:
    virtual void Destroy() = 0;
    virtual int Match(char* text, int reserved, int* offset, int* length, int* level) = 0;
    virtual int GetLevel() = 0;
    // The syllable (kind 2) or phrase rule (kind 3) at 0-based `index` of its
    // process-wide list as it stands now, or null. Does not depend on `this`.
    virtual CMatcher* ResolveRef(int index, int kind);

    MatcherKind Kind() const { return m_kind; }

protected:
    explicit CMatcher(MatcherKind kind = MatcherKind::kOther) : m_kind(kind) {}
    ~CMatcher() = default;

private:
    MatcherKind m_kind;
};

// `matcher` as a T when it is one (T::kKind), else null.
template <class T>
T* As(CMatcher* matcher) {
    return matcher && matcher->Kind() == T::kKind ? static_cast<T*>(matcher) : nullptr;
}
template <class T>
const T* As(const CMatcher* matcher) {
    return matcher && matcher->Kind() == T::kKind ? static_cast<const T*>(matcher) : nullptr;
}

class CMatcherList;

// Destroys every matcher that `list` points to, once each, and empties it.
void DestroyMatchers(CMatcherList& list);

}  // namespace chatsieve

#endif
