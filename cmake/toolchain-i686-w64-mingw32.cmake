# Cross-compiling for 32-bit Windows with mingw-w64 (the "windows" preset).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_triplet i686-w64-mingw32)
# The win32-threads runtime: the plug-in starts no threads and so needs no
# winpthread DLL.
find_program(CMAKE_C_COMPILER NAMES ${_triplet}-gcc-win32 ${_triplet}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_triplet}-g++-win32 ${_triplet}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_triplet}-windres REQUIRED)
find_program(CMAKE_DLLTOOL NAMES ${_triplet}-dlltool REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic in place of the x87 unit's 80-bit registers, so that every
# double is rounded as on the 64-bit Linux build and both give the same
# bytes; and C99 printf formatting in place of the system runtime's.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -D__USE_MINGW_ANSI_STDIO=1")
