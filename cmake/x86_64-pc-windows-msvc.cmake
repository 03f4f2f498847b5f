# Cross build for Windows x86-64 with Microsoft's C++ ABI, from open tools: clang-cl and lld-link 19,
# microsoft/STL's headers (third_party/msvc-stl), Wine's CRT and Windows headers, import libraries made
# from Wine's own DLLs and the project's runtime-support layer (runtime/). The modules it builds bind to
# msvcp140.dll, vcruntime140.dll and ucrtbase.dll: Wine's here, Microsoft's on a player's Windows, and
# to a loader built with Microsoft's compiler. Tests run under Wine.
#
#   cmake --preset windows        or   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-pc-windows-msvc.cmake ...
#
# The set-up that needs the build tree (the STL's headers, <math.h>, the flags every compile gets) is in
# cmake/MsvcAbi.cmake, which the project includes right after project(); the import libraries and the
# runtime layer are build targets of runtime/CMakeLists.txt.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(BRICKWRIGHT_LLVM_BIN /usr/lib/llvm-19/bin CACHE PATH "clang-cl, lld-link and llvm-dlltool 19")
set(CMAKE_C_COMPILER ${BRICKWRIGHT_LLVM_BIN}/clang-cl)
set(CMAKE_CXX_COMPILER ${BRICKWRIGHT_LLVM_BIN}/clang-cl)
set(CMAKE_ASM_COMPILER ${BRICKWRIGHT_LLVM_BIN}/clang-cl)
set(CMAKE_LINKER ${BRICKWRIGHT_LLVM_BIN}/lld-link)
set(CMAKE_AR ${BRICKWRIGHT_LLVM_BIN}/llvm-lib)
set(CMAKE_RC_COMPILER ${BRICKWRIGHT_LLVM_BIN}/llvm-rc)
set(CMAKE_MT ${BRICKWRIGHT_LLVM_BIN}/llvm-mt)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_ASM_COMPILER_TARGET x86_64-pc-windows-msvc)

# Nothing links before the runtime layer is built: the compiler checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Headers and libraries come from the build tree's own set-up, never from the build host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(BRICKWRIGHT_MSVC_ABI ON)

# Every executable target that CTest or a custom command runs goes through Wine, with a prefix of its own
# in the build tree. The wrapper creates the prefix on first use.
set(BRICKWRIGHT_WINE "/usr/lib/wine/wine64" CACHE FILEPATH "Wine's 64-bit loader")
set(BRICKWRIGHT_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "The Wine prefix the tests run in")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "/bin/sh;${CMAKE_CURRENT_LIST_DIR}/wine_run.sh;${BRICKWRIGHT_WINE};${BRICKWRIGHT_WINEPREFIX}")
