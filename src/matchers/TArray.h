// A growable array of trivially copyable values whose storage comes from the
// allocation seam, so growing reports failure instead of throwing. Clear keeps
// the storage; Reset gives it back.
#ifndef CHATSIEVE_MATCHERS_TARRAY_H
#define CHATSIEVE_MATCHERS_TARRAY_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/Compiler.h"
#include "platform/Memory.h"

namespace chatsieve {

template <class T>
class TArray {
    static_assert(std::is_trivially_copyable<T>::value, "TArray holds plain values");

public:
    TArray() = default;
    ~TArray() { Reset(); }
    TArray(const TArray&) = delete;
    TArray& operator=(const TArray&) = delete;

    std::size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

    // Makes room for `count` elements in all; false when memory is exhausted.
    bool Reserve(std::size_t count) {
        if (count <= m_capacity) return true;
        if (count > SIZE_MAX / sizeof(T)) return false;
        T* grown = static_cast<T*>(Allocate(count * sizeof(T)));
        if (!grown) return false;
        if (m_size) std::memcpy(grown, m_data, m_size * sizeof(T));
        Free(m_data);
        m_data = grown;
        m_capacity = count;
        return true;
    }

    // Makes room for `extra` elements more than it holds, growing by half
    // again at least: calls repeated as it fills copy each element a
    // bounded number of times, where Reserve would copy them all each time.
    bool ReserveMore(std::size_t extra) {
        if (extra > SIZE_MAX - m_size) return false;
        if (m_size + extra <= m_capacity) return true;
        const std::size_t grown = m_capacity + m_capacity / 2;
        return Reserve(grown > m_size + extra ? grown : m_size + extra);
    }

    bool PushBack(T value) {
        if (m_size == m_capacity && !Grow()) return false;
        m_data[m_size++] = value;
        return true;
    }

    // Holds `count` copies of `value` instead of what it held; false when
    // memory is exhausted.
    bool Assign(std::size_t count, T value) {
        m_size = 0;
        if (!Reserve(count)) return false;
        // A byte array written through the member would be read again after
        // every byte (a byte store may alias the pointer): it is one memset.
        if (sizeof(T) == 1) {
            unsigned char byte = 0;
            std::memcpy(&byte, &value, 1);
            if (count) std::memset(static_cast<void*>(m_data), byte, count);
        } else {
            for (std::size_t i = 0; i < count; ++i) m_data[i] = value;
        }
        m_size = count;
        return true;
    }

    // Shortens to `count` elements (count <= Size()).
    void Truncate(std::size_t count) { m_size = count; }
    // Takes the first `count` reserved elements as filled, for callers that
    // wrote them through Data() (count <= the reserved room).
    void SetFilled(std::size_t count) { m_size = count; }
    void Clear() { m_size = 0; }

    void Reset() {
        Free(m_data);
        m_data = nullptr;
        m_size = m_capacity = 0;
    }

    void Swap(TArray& other) {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

private:
    // Out of line, so that every PushBack stays a compare and a store.
    CHATSIEVE_NOINLINE bool Grow() { return Reserve(m_capacity ? m_capacity * 2 : 8); }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

}  // namespace chatsieve

#endif
