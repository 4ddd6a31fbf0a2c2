# Cross build for 64-bit Windows with the mingw-w64 compilers of the posix thread flavour (the
# other flavour has no std::thread in this compiler generation).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVD_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KVD_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
