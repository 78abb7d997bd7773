#include "Packhold.h"
#include "library/CPackhold.h"
#include "library/CPackholdFile.h"

extern "C" PACKHOLD_API int PACKHOLD_CALL CreatePackhold(int version, int /*reserved*/, IPackhold** root) {
    // Another version number means a caller built against other interfaces,
    // whose operations would not line up with ours.
    if (version != packhold::kInterfaceVersion || !root) return 0;
    packhold::CPackhold* object = packhold::CPackhold::Create();
    if (!object) return 0;
    *root = object;
    return 1;
}

extern "C" PACKHOLD_API IPackholdColumns* PACKHOLD_CALL PackholdColumns(IPackholdTable* table) {
    // Every table this library hands out is one of its own.
    return table ? static_cast<packhold::CPackholdTable*>(table) : nullptr;
}
