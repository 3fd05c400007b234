# Cross build for 32-bit Windows with the mingw-w64 i686 compilers (Debian's
# g++-mingw-w64-i686): the module for hosts that run as 32-bit programs
# (toolchain-mingw-x86_64.cmake makes the one for 64-bit hosts).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRELVIX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# SSE2 scalar floating point for every target: x87 arithmetic rounds through
# 80-bit registers, which changes the last bits of results and is slower.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
