# Shared part of the MinGW-w64 toolchain files; CHATSIEVE_MINGW_TRIPLET names
# the target.
set(CMAKE_SYSTEM_NAME Windows)

# Debian ships each compiler in two threading flavours; the posix one has the
# complete C++ thread support library. Its winpthreads is linked statically
# below like the rest of the runtime.
# (C is for GoogleTest's build, which enables it.)
find_program(CMAKE_CXX_COMPILER NAMES ${CHATSIEVE_MINGW_TRIPLET}-g++-posix ${CHATSIEVE_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${CHATSIEVE_MINGW_TRIPLET}-gcc-posix ${CHATSIEVE_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CHATSIEVE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CHATSIEVE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A DLL dropped beside a game client may depend on nothing but Windows' own
# DLLs: libstdc++, libgcc and winpthreads go inside every binary.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
