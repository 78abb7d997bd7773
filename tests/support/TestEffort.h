// How much work the longest tests do. Every build runs every test; a build
// whose instrumentation makes them many times slower (the 32-bit sanitizer
// build, which defines CHATSIEVE_REDUCED_TEST_EFFORT) runs them on fewer
// random rule sets, shorter exhaustive lines and shorter long lines, and the
// full amount runs in every other build, the 64-bit sanitizer build included.
#ifndef CHATSIEVE_TESTS_TESTEFFORT_H
#define CHATSIEVE_TESTS_TESTEFFORT_H

namespace chatsieve::test {

// `full`, or `reduced` in a build that asks for less.
constexpr unsigned Effort(unsigned full, unsigned reduced) {
#ifdef CHATSIEVE_REDUCED_TEST_EFFORT
    (void)full;
    return reduced;
#else
    (void)reduced;
    return full;
#endif
}

}  // namespace chatsieve::test

#endif
