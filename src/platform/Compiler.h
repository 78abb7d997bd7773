// Hints to the compiler where the hot loops need them. Compilers without the
// attributes get plain functions: the same results, a few instructions more.
#ifndef CHATSIEVE_PLATFORM_COMPILER_H
#define CHATSIEVE_PLATFORM_COMPILER_H

#if defined(__GNUC__)
#define CHATSIEVE_ALWAYS_INLINE __attribute__((always_inline))
#define CHATSIEVE_NOINLINE __attribute__((noinline))
#else
#define CHATSIEVE_ALWAYS_INLINE
#define CHATSIEVE_NOINLINE
#endif

#endif
