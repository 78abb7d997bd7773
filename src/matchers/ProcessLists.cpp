#include "matchers/ProcessLists.h"

namespace chatsieve {

// Defined in one file so that their construction order is this order.
PositionMap g_positionMap;
CMatcherList g_syllables;
CMatcherList g_phrases;
CMatcherList g_combos;

}  // namespace chatsieve
