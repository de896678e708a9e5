# Cross-building the small 32-bit Windows intro.exe on Debian with mingw-w64,
# win32 thread flavour: the intro links no C++ run-time (exepack/), and its
# probe builds need no std::thread. SSE2 for all float maths: without
# -mfpmath=sse 32-bit code computes floats on the x87 at another precision
# than the 64-bit and Linux builds, and _mm_setcsr does not inline.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_triple i686-w64-mingw32)
set(mingw_flavour win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
