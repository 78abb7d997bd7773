#include "matchers/ProcessLists.h"

namespace chatsieve {

// Defined in one file so that their construction order is this order.
PositionMap g_positionMap;
CMatcherList g_syllables;
TArray<unsigned char> g_foldMarks;
CMatcherList g_phrases;
CMatcherList g_combos;

void (*g_onUnload)() = nullptr;

namespace {
// Defined after the containers, so it is destroyed before them.
struct UnloadHook {
    ~UnloadHook() {
        if (g_onUnload) g_onUnload();
    }
} g_unloadHook;
}  // namespace

}  // namespace chatsieve
