# What both mingw-w64 toolchain files share: Debian's cross compilers named
# by the target triple (mingw_triple) and thread flavour (mingw_flavour),
# each with its own system root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-${mingw_flavour})
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-${mingw_flavour})
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
