# Cross build for 32-bit Windows with the mingw-w64 i686 compilers (Debian's
# g++-mingw-w64-i686): the module for hosts that run as 32-bit programs
# (toolchain-mingw-x86_64.cmake makes the one for 64-bit hosts).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(BRELVIX_MINGW_TRIPLE i686-w64-mingw32)
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

# SSE2 scalar floating point for every target: x87 arithmetic rounds through
# 80-bit registers, which changes the last bits of results and is slower.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# The C++ and GCC run-times (and winpthreads) are linked into every binary:
# a user's machine has Windows' own DLLs, msvcrt.dll among them, and none of
# mingw's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# A release module ships without its symbol table.
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")
