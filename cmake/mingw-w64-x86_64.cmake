# Cross build of the Qt-free libraries and programs for Windows (x86_64, posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(BW_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under wine64 (Debian keeps it in /usr/lib/wine, with the
# "wine" launcher in the PATH choosing it for 64-bit programs).
find_program(BW_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT BW_WINE64)
    find_program(BW_WINE64 NAMES wine NO_CMAKE_FIND_ROOT_PATH)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${BW_WINE64})
