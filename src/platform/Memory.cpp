#include "platform/Memory.h"

#include <cstdlib>

namespace chatsieve {

namespace {
long g_allocationsLeft = -1;  // negative: no failure planned
unsigned long g_allocationCount = 0;
}  // namespace

void* Allocate(std::size_t size) {
    ++g_allocationCount;
    if (g_allocationsLeft == 0) return nullptr;
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    return std::malloc(size ? size : 1);
}

void Free(void* p) { std::free(p); }

void FailAllocationsAfter(long count) { g_allocationsLeft = count < 0 ? -1 : count; }

void ResetAllocationFailures() { g_allocationsLeft = -1; }

unsigned long AllocationCount() { return g_allocationCount; }

}  // namespace chatsieve
