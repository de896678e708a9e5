# Cross-building the Windows intro.exe on Debian with mingw-w64, posix thread
# flavour (the win32 flavour lacks std::thread, which the C++ run-time uses),
# linked fully static: a partly static build needs libwinpthread-1.dll beside
# the executable and does not start without it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triple x86_64-w64-mingw32)
set(mingw_flavour posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
