// An open-addressed table from a pair of numbers to an int: the edges of the
// tries (CTrie), keyed by (node, label), and the rule index's tables by address.
// Sized for the pairs it will hold (at least twice as many slots), filled
// with InsertPair, then only read.
#ifndef CHATSIEVE_BUILD_PAIRTABLE_H
#define CHATSIEVE_BUILD_PAIRTABLE_H

#include <cstddef>
#include <cstdint>

#include "matchers/TArray.h"

namespace chatsieve {

struct PairSlot {
    std::uint64_t key;  // PairKey(a, b); kNoPair when empty
    int value;
};

constexpr std::uint64_t kNoPair = ~std::uint64_t{0};

inline std::uint64_t PairKey(std::size_t a, std::size_t b) { return static_cast<std::uint64_t>(a) << 32 | b; }

// Every bit of the key reaches the slot: node numbers and labels both cluster.
inline std::size_t PairHash(std::uint64_t key) { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32); }

// Empties `table` into `slots` slots (a power of two); false when memory ran out.
inline bool ClearPairs(TArray<PairSlot>& table, std::size_t slots) {
    table.Clear();
    if (!table.Reserve(slots)) return false;
    // Four slots a step: a trie's edge table has hundreds of thousands, and
    // the loop's own count and test cost as much as a slot's two stores.
    PairSlot* slot = table.Data();
    PairSlot* const end = slot + slots;
    for (; end - slot >= 4; slot += 4) {
        slot[0] = PairSlot{kNoPair, -1};
        slot[1] = PairSlot{kNoPair, -1};
        slot[2] = PairSlot{kNoPair, -1};
        slot[3] = PairSlot{kNoPair, -1};
    }
    for (; slot != end; ++slot) *slot = PairSlot{kNoPair, -1};
    table.SetFilled(slots);
    return true;
}

// The slot holding `key`, or the empty slot where it would go.
inline PairSlot& FindPairSlot(TArray<PairSlot>& table, std::uint64_t key) {
    const std::size_t mask = table.Size() - 1;
    std::size_t slot = PairHash(key) & mask;
    while (table[slot].key != key && table[slot].key != kNoPair) slot = (slot + 1) & mask;
    return table[slot];
}

// Stores `value` under `key`, which the table does not hold yet.
inline void InsertPair(TArray<PairSlot>& table, std::uint64_t key, int value) {
    FindPairSlot(table, key) = PairSlot{key, value};
}

// The slots a table of `pairs` pairs takes: a power of two, twice as many at least.
inline std::size_t PairSlotsFor(std::size_t pairs) {
    std::size_t slots = 16;
    while (slots < 2 * pairs) slots *= 2;
    return slots;
}

// The value stored under `key`, or -1.
inline int ProbePair(const TArray<PairSlot>& table, std::uint64_t key) {
    const std::size_t mask = table.Size() - 1;
    for (std::size_t slot = PairHash(key) & mask;; slot = (slot + 1) & mask) {
        const PairSlot& entry = table[slot];
        if (entry.key == key) return entry.value;
        if (entry.key == kNoPair) return -1;
    }
}

}  // namespace chatsieve

#endif
