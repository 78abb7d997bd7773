// Exhaustive small inputs for differential tests: every line of 1 to
// `maxLength` symbols: bytes (pairs of which make two-byte characters and
// also half characters, both worth trying) or whole characters.
#ifndef CHATSIEVE_TESTS_SHORTLINES_H
#define CHATSIEVE_TESTS_SHORTLINES_H

#include <cstddef>
#include <string>
#include <vector>

namespace chatsieve::test {

// Calls `visit(line)` for each line of 1 to `maxLength` symbols, shortest
// first; stops as soon as it returns false.
template <class Visit>
void ForEachShortLine(const std::vector<std::string>& symbols, std::size_t maxLength, Visit visit) {
    std::string line;
    for (std::size_t length = 1; length <= maxLength; ++length) {
        std::size_t total = 1;
        for (std::size_t i = 0; i < length; ++i) total *= symbols.size();
        for (std::size_t code = 0; code < total; ++code) {
            line.clear();
            for (std::size_t i = 0, c = code; i < length; ++i, c /= symbols.size()) line += symbols[c % symbols.size()];
            if (!visit(line)) return;
        }
    }
}

// The same over single bytes.
template <class Visit>
void ForEachShortLine(const std::string& alphabet, std::size_t maxLength, Visit visit) {
    std::vector<std::string> symbols;
    for (char c : alphabet) symbols.emplace_back(1, c);
    ForEachShortLine(symbols, maxLength, visit);
}

}  // namespace chatsieve::test

#endif
