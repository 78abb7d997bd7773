// Allocation for the package reader. Every allocation of the reader goes
// through here, so that running out of memory is a null result rather than an
// exception leaving the library, and so that tests can make the n-th
// allocation fail and check that nothing leaks on the way out.
//
// Not thread-safe: the fault-injection counter is process-wide, like the
// library's "one thread per root object" rule.
#ifndef PACKHOLD_FORMAT_ALLOCATE_H
#define PACKHOLD_FORMAT_ALLOCATE_H

#include <cstddef>
#include <new>
#include <type_traits>

namespace packhold {

// `count` elements of T, default-constructed; null when memory is exhausted,
// when a test asked for a failure, or for a count that overflows. A count of
// 0 still gives a (one-element) block, so null always means failure.
template <class T>
T* AllocateArray(std::size_t count);

bool AllocationPermitted();

template <class T>
T* AllocateArray(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T) / 2) return nullptr;
    if (!AllocationPermitted()) return nullptr;
    return new (std::nothrow) T[count ? count : 1]();
}

// `count` elements of a plain type T, left as they are: for arrays that are
// written before they are read (a file's bytes, an index filled as it is
// built), which zeroing would only make slower to get. Null like
// AllocateArray; freed with FreeArray.
template <class T>
T* AllocateRawArray(std::size_t count) {
    static_assert(std::is_trivial<T>::value, "only plain values may start out unset");
    if (count > static_cast<std::size_t>(-1) / sizeof(T) / 2) return nullptr;
    if (!AllocationPermitted()) return nullptr;
    return new (std::nothrow) T[count ? count : 1];
}

template <class T>
void FreeArray(T* p) {
    delete[] p;
}

// One T constructed from `args`, or null like AllocateArray.
template <class T, class... Args>
T* New(Args&&... args) {
    if (!AllocationPermitted()) return nullptr;
    return new (std::nothrow) T(static_cast<Args&&>(args)...);
}

// Fault injection for tests: after `count` more allocations every allocation
// fails, until ResetAllocationFailures. A negative count never fails.
void FailAllocationsAfter(long count);
void ResetAllocationFailures();

}  // namespace packhold

#endif
