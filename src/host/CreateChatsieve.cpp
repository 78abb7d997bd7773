#include "Chatsieve.h"
#include "host/CChatsieve.h"
#include "matchers/CMatcher.h"
#include "matchers/ProcessLists.h"
#include "platform/Memory.h"

namespace chatsieve {
namespace {

// The interface gives hosts no way to free a filter, and a filter must go on
// answering after Uninit, so objects live as long as the library. They are
// freed, with whatever rules they still hold, when it is unloaded: no host can
// call into them after that.
CChatsieve* g_createdFilters = nullptr;

void ReleaseCreatedFilters() {
    while (CChatsieve* filter = g_createdFilters) {
        g_createdFilters = filter->m_nextCreated;
        filter->ReleaseForUnload();
        Delete(filter);
    }
    DestroyMatchers(g_syllables);
    g_positionMap.Reset();
}

}  // namespace
}  // namespace chatsieve

extern "C" CHATSIEVE_API int CHATSIEVE_CALL CreateChatsieve(IChatsieve** filter) {
    using namespace chatsieve;
    if (!filter) return 0;
    CChatsieve* object = New<CChatsieve>();
    if (!object) return 0;
    if (!object->Init()) {
        Delete(object);
        return 0;
    }
    g_onUnload = &ReleaseCreatedFilters;
    object->m_nextCreated = g_createdFilters;
    g_createdFilters = object;
    *filter = object;
    return 1;
}
