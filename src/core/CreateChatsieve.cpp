#include "Chatsieve.h"
#include "core/CChatsieve.h"
#include "platform/Memory.h"

extern "C" CHATSIEVE_API int CreateChatsieve(IChatsieve** filter) {
    using chatsieve::CChatsieve;
    if (!filter) return 0;
    CChatsieve* object = chatsieve::New<CChatsieve>();
    if (!object) return 0;
    if (!object->Init()) {
        chatsieve::Delete(object);
        return 0;
    }
    *filter = object;
    return 1;
}
