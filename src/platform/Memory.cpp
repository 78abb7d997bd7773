#include "platform/Memory.h"

#include <cstdlib>

namespace chatsieve {

namespace {
long g_allocationsLeft = -1;  // negative: no failure planned
unsigned long g_allocationCount = 0;
long g_liveAllocations = 0;
}  // namespace

void* Allocate(std::size_t size) {
    ++g_allocationCount;
    if (g_allocationsLeft == 0) return nullptr;
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    void* p = std::malloc(size ? size : 1);
    if (p) ++g_liveAllocations;
    return p;
}

void Free(void* p) {
    if (p) --g_liveAllocations;
    std::free(p);
}

void FailAllocationsAfter(long count) { g_allocationsLeft = count < 0 ? -1 : count; }

void ResetAllocationFailures() { g_allocationsLeft = -1; }

unsigned long AllocationCount() { return g_allocationCount; }

long LiveAllocationCount() { return g_liveAllocations; }

}  // namespace chatsieve
