// Exhaustive small inputs for differential tests: every line of 1 to
// `maxLength` bytes over an alphabet of bytes (pairs of bytes in it make
// two-byte characters and also half characters, both worth trying).
#ifndef CHATSIEVE_TESTS_SHORTLINES_H
#define CHATSIEVE_TESTS_SHORTLINES_H

#include <cstddef>
#include <string>

namespace chatsieve::test {

// Calls `visit(line)` for each line, shortest first; stops as soon as it
// returns false.
template <class Visit>
void ForEachShortLine(const std::string& alphabet, std::size_t maxLength, Visit visit) {
    std::string line;
    for (std::size_t length = 1; length <= maxLength; ++length) {
        std::size_t total = 1;
        for (std::size_t i = 0; i < length; ++i) total *= alphabet.size();
        for (std::size_t code = 0; code < total; ++code) {
            line.clear();
            for (std::size_t i = 0, c = code; i < length; ++i, c /= alphabet.size())
                line += alphabet[c % alphabet.size()];
            if (!visit(line)) return;
        }
    }
}

}  // namespace chatsieve::test

#endif
