# Cross build for 64-bit Windows with the mingw-w64 x86-64 compilers (Debian's
# g++-mingw-w64-x86-64). Hosts of the last years run on Windows only as 64-bit
# programs, and a 64-bit program loads only 64-bit DLLs: this build makes the
# module for them, beside the 32-bit one of toolchain-mingw-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(BRELVIX_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix-thread variant, as in the 32-bit build: std::thread and std::mutex
# for the threaded tests, linked statically like the rest of the run-times.
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

# SSE2 is the x86-64 baseline, and scalar floating point uses it by default:
# no flags are needed for the same rounding as the other builds.

# The C++ and GCC run-times (and winpthreads) are linked into every binary:
# a user's machine has Windows' own DLLs, msvcrt.dll among them, and none of
# mingw's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# A release module ships without its symbol table.
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")
