#include "format/Allocate.h"

namespace packhold {

namespace {
long g_allocationsLeft = -1;
}

bool AllocationPermitted() {
    if (g_allocationsLeft < 0) return true;
    if (g_allocationsLeft == 0) return false;
    --g_allocationsLeft;
    return true;
}

void FailAllocationsAfter(long count) { g_allocationsLeft = count; }

void ResetAllocationFailures() { g_allocationsLeft = -1; }

}  // namespace packhold
