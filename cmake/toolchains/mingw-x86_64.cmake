# Cross build for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64): the same sources as the 32-bit product, run under
# wine64 by the same tests as the product under 32-bit Wine, so that a fault
# of either word size shows.
set(CHATSIEVE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
