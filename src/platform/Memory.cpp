#include "platform/Memory.h"

#include <cstdint>
#include <cstdlib>

namespace chatsieve {

namespace {
long g_allocationsLeft = -1;  // negative: no failure planned
unsigned long g_allocationCount = 0;
long g_liveAllocations = 0;

// Counts an allocation asked for; false when a test wants it to fail.
bool Permitted() {
    ++g_allocationCount;
    if (g_allocationsLeft == 0) return false;
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    return true;
}

// A slab of small blocks: this head, then the blocks, each behind a pointer
// to its slab. Blocks are carved off the front until the slab is full; it
// is freed when the last of them is.
struct Slab {
    std::size_t live;  // blocks given out and not freed
    unsigned char* next;
    unsigned char* end;
};
constexpr std::size_t kSlabBytes = 64 * 1024;
// A block larger than this takes a slab of its own, so that little of a
// shared slab is left unused when it fills.
constexpr std::size_t kLargestShared = kSlabBytes / 16;
constexpr std::size_t kBlockAlign = alignof(void*);
static_assert(sizeof(Slab) % kBlockAlign == 0, "blocks after the head stay aligned");

Slab* g_slab = nullptr;  // where new blocks are carved from; null: none yet

Slab* NewSlab(std::size_t bytes) {
    Slab* slab = static_cast<Slab*>(std::malloc(bytes));
    if (!slab) return nullptr;
    slab->live = 0;
    slab->next = reinterpret_cast<unsigned char*>(slab + 1);
    slab->end = reinterpret_cast<unsigned char*>(slab) + bytes;
    return slab;
}

}  // namespace

void* Allocate(std::size_t size) {
    if (!Permitted()) return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (p) ++g_liveAllocations;
    return p;
}

void* AllocateSmall(std::size_t size) {
    if (!Permitted()) return nullptr;
    if (size > SIZE_MAX / 2) return nullptr;
    const std::size_t need = sizeof(Slab*) + ((size ? size : 1) + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
    const bool shared = need <= sizeof(Slab*) + kLargestShared;
    Slab* slab = g_slab;
    if (!shared || !slab || need > static_cast<std::size_t>(slab->end - slab->next)) {
        slab = NewSlab(shared ? kSlabBytes : sizeof(Slab) + need);
        if (!slab) return nullptr;
        // A full slab stays until its last block goes; new blocks come
        // from the new one. A slab of one large block is never shared.
        if (shared) g_slab = slab;
    }
    unsigned char* block = slab->next;
    slab->next += need;
    ++slab->live;
    *reinterpret_cast<Slab**>(block) = slab;
    ++g_liveAllocations;
    return block + sizeof(Slab*);
}

void FreeSmall(void* p) {
    if (!p) return;
    --g_liveAllocations;
    Slab* slab = *reinterpret_cast<Slab**>(static_cast<unsigned char*>(p) - sizeof(Slab*));
    if (--slab->live != 0) return;
    if (slab == g_slab) g_slab = nullptr;
    std::free(slab);
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
