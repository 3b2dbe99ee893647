# Cross-compiles the Windows programs (x86-64) on Linux with Debian's MinGW-w64, the compilers
# with POSIX threads (g++-mingw-w64-x86-64-posix: std::thread and std::mutex work). Everything
# is linked statically, so each .exe runs alone, without the compiler's DLLs beside it. Programs
# built here run under Wine (wine64) when the tests run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FABRICOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FABRICOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FABRICOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FABRICOR_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${FABRICOR_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${FABRICOR_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${FABRICOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libwinpthread's archive too; the C and C++ runtimes are named as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and gtest_discover_tests run every test program through Wine.
find_program(FABRICOR_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT FABRICOR_WINE64)
    find_program(FABRICOR_WINE64 NAMES wine64 wine)
endif()
if(FABRICOR_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FABRICOR_WINE64})
endif()
