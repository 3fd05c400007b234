# Cross build for 64-bit Windows with the mingw-w64 x86-64 compilers (Debian's
# g++-mingw-w64-x86-64). Hosts of the last years run on Windows only as 64-bit
# programs, and a 64-bit program loads only 64-bit DLLs: this build makes the
# module for them, beside the 32-bit one of toolchain-mingw-i686.cmake.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRELVIX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# SSE2 is the x86-64 baseline, and scalar floating point uses it by default:
# no flags are needed for the same rounding as the other builds.
