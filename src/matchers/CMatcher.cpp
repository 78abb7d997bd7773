#include "matchers/CMatcher.h"

#include "matchers/ProcessLists.h"

namespace chatsieve {

CMatcher* CMatcher::ResolveRef(int index, int kind) {
    const CMatcherList* list = kind == kSyllableKind ? &g_syllables : kind == kPhraseKind ? &g_phrases : nullptr;
    if (!list) return nullptr;
    // A negative index, taken as unsigned, is never below the count.
    return list->At(static_cast<unsigned>(index));
}

void DestroyMatchers(CMatcherList& list) {
    for (CMatcherList::Node* node = list.First(); node; node = node->next) {
        if (node->matcher) node->matcher->Destroy();
        node->matcher = nullptr;
    }
    list.Clear();
}

}  // namespace chatsieve
