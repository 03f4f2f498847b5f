# Cross build for Windows x86-64 with MinGW-w64 (the posix-threads compilers, so that std::thread and
# std::mutex work), tests run under Wine.
#
#   cmake --preset windows        or   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRICKWRIGHT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRICKWRIGHT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRICKWRIGHT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRICKWRIGHT_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the MinGW-w64 sysroot only, never from the build host;
# programs (the compilers' helpers, objdump) from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${BRICKWRIGHT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable target that CTest or a custom command runs goes through Wine, with a prefix of its own
# in the build tree. The wrapper creates the prefix on first use.
set(BRICKWRIGHT_WINE "/usr/lib/wine/wine64" CACHE FILEPATH "Wine's 64-bit loader")
set(BRICKWRIGHT_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "The Wine prefix the tests run in")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "/bin/sh;${CMAKE_CURRENT_LIST_DIR}/wine_run.sh;${BRICKWRIGHT_WINE};${BRICKWRIGHT_WINEPREFIX}")
