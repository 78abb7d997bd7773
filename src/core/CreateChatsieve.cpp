#include "Chatsieve.h"
#include "core/CChatsieve.h"
#include "platform/Memory.h"

namespace chatsieve {
namespace {

// The interface gives hosts no way to free a filter, and a filter must go on
// answering after Uninit, so objects live as long as the library. They are
// freed when it is unloaded: no host can call into them after that.
struct CreatedFilters {
    CChatsieve* first = nullptr;
    ~CreatedFilters() {
        while (CChatsieve* filter = first) {
            first = filter->m_nextCreated;
            filter->ReleaseOwnStorage();
            Delete(filter);
        }
    }
};
CreatedFilters g_createdFilters;

}  // namespace
}  // namespace chatsieve

extern "C" CHATSIEVE_API int CreateChatsieve(IChatsieve** filter) {
    using namespace chatsieve;
    if (!filter) return 0;
    CChatsieve* object = New<CChatsieve>();
    if (!object) return 0;
    if (!object->Init()) {
        Delete(object);
        return 0;
    }
    object->m_nextCreated = g_createdFilters.first;
    g_createdFilters.first = object;
    *filter = object;
    return 1;
}
