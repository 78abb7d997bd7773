// The one place the library allocates. Every allocation goes through
// Allocate/Free (or AllocateSmall/FreeSmall) so that a failure is a null
// result, never an exception, and so that tests can make the n-th allocation
// fail (FailAllocationsAfter).
//
// Not thread-safe, like the rest of the library: the fault-injection counter is
// process-wide.
#ifndef CHATSIEVE_PLATFORM_MEMORY_H
#define CHATSIEVE_PLATFORM_MEMORY_H

#include <cstddef>
#include <new>
#include <utility>

namespace chatsieve {

// Returns `size` bytes (at least one) or null when memory is exhausted or a
// test asked for a failure.
void* Allocate(std::size_t size);
void Free(void* p);

// Constructs a T in memory from Allocate; null when the allocation fails.
template <class T, class... Args>
T* New(Args&&... args) {
    void* p = Allocate(sizeof(T));
    return p ? new (p) T(std::forward<Args>(args)...) : nullptr;
}

// Runs T's destructor and gives back memory obtained through New<T>.
template <class T>
void Delete(T* p) {
    if (p) {
        p->~T();
        Free(p);
    }
}

// Small blocks for what a rule set holds by the ten thousand (list nodes,
// phrase rules): carved out of shared slabs, so that they cost a few mallocs
// instead of one each. A block counts as an allocation of its own for the
// fault injection and the counters below; a slab goes back to the system
// when the last block in it is freed. Blocks are aligned for pointers, not
// for anything wider. Give a block back only with FreeSmall.
void* AllocateSmall(std::size_t size);
void FreeSmall(void* p);

// New and Delete with AllocateSmall and FreeSmall.
template <class T, class... Args>
T* NewSmall(Args&&... args) {
    static_assert(alignof(T) <= alignof(void*), "small blocks are aligned for pointers only");
    void* p = AllocateSmall(sizeof(T));
    return p ? new (p) T(std::forward<Args>(args)...) : nullptr;
}
template <class T>
void DeleteSmall(T* p) {
    if (p) {
        p->~T();
        FreeSmall(p);
    }
}

// Fault injection for tests: after `count` more successful allocations every
// allocation fails, until ResetAllocationFailures. A negative count never fails.
void FailAllocationsAfter(long count);
void ResetAllocationFailures();
// Allocations asked for so far (successful or not), and those given out and
// not yet freed, for tests that count them.
unsigned long AllocationCount();
long LiveAllocationCount();

}  // namespace chatsieve

#endif
