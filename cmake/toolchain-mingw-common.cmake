# What both Windows cross builds share, included by toolchain-mingw-i686.cmake
# and toolchain-mingw-x86_64.cmake once they have set BRELVIX_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

# The posix-thread variant of the compilers: its C++ library has std::thread
# and std::mutex, which the win32 variant of GCC 12 lacks and the threaded
# tests need. Everything is linked statically (below), so the choice adds no
# run-time DLL.
find_program(CMAKE_C_COMPILER NAMES ${BRELVIX_MINGW_TRIPLE}-gcc-posix ${BRELVIX_MINGW_TRIPLE}-gcc
  REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${BRELVIX_MINGW_TRIPLE}-g++-posix
  ${BRELVIX_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${BRELVIX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRELVIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ and GCC run-times (and winpthreads) are linked into every binary:
# a user's machine has Windows' own DLLs, msvcrt.dll among them, and none of
# mingw's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# A release module ships without its symbol table.
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")
