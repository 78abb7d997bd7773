# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686):
# the product a game client loads.
set(CHATSIEVE_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
