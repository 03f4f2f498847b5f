# The Windows tree's set-up with Microsoft's C++ ABI (cmake/x86_64-pc-windows-msvc.cmake). Made when the
# tree is configured is only what a compile needs before anything is built: microsoft/STL's headers from
# their tarball and the C runtime's <math.h> completed against what ucrtbase.dll exports, in
# build/windows/msvc-abi/. The import libraries and the runtime-support layer are build targets of
# runtime/CMakeLists.txt; every program and DLL links brickwright_runtime, which also carries the
# compile flags below.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The compiler checks compile without linking, so every library a check looks for seems present: threads
# are Windows' own, never a pthreads library.
set(CMAKE_HAVE_PTHREADS_CREATE FALSE CACHE INTERNAL "")
set(CMAKE_HAVE_PTHREAD_CREATE FALSE CACHE INTERNAL "")

set(BRICKWRIGHT_WINE_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
    "Wine's Windows DLLs, whose export tables the import libraries are made from")
set(BRICKWRIGHT_WINE_INCLUDE /usr/include/wine/wine CACHE PATH "Wine's CRT (msvcrt/) and Windows (windows/) headers")
foreach(required ${BRICKWRIGHT_WINE_DLLS}/ucrtbase.dll ${BRICKWRIGHT_WINE_INCLUDE}/msvcrt/corecrt.h)
  if(NOT EXISTS ${required})
    message(FATAL_ERROR "${required} not found: the Windows tree needs wine64 and libwine-dev")
  endif()
endforeach()

set(BRICKWRIGHT_MSVC_ABI_DIR ${CMAKE_BINARY_DIR}/msvc-abi)
set(_runtime ${CMAKE_SOURCE_DIR}/runtime)
set(_out ${BRICKWRIGHT_MSVC_ABI_DIR})
file(MAKE_DIRECTORY ${_out}/include)

# Runs a command at configure time and stops with its output when it fails.
function(_msvc_abi_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${output}${errors}")
  endif()
endfunction()

# microsoft/STL's headers, unchanged, from the tarball kept in third_party/.
set(_stl_tarball ${CMAKE_SOURCE_DIR}/third_party/msvc-stl/microsoft-stl-0cb8132f-inc.tar.gz)
set(_stl ${_out}/msvc-stl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_stl_tarball})
if(NOT EXISTS ${_stl}/stl/inc/yvals_core.h OR ${_stl_tarball} IS_NEWER_THAN ${_stl}/stl/inc/yvals_core.h)
  file(REMOVE_RECURSE ${_stl})
  file(MAKE_DIRECTORY ${_out}/stl-extract)
  file(ARCHIVE_EXTRACT INPUT ${_stl_tarball} DESTINATION ${_out}/stl-extract)
  file(RENAME ${_out}/stl-extract/msvc-stl ${_stl})
  file(REMOVE_RECURSE ${_out}/stl-extract)
  file(TOUCH ${_stl}/stl/inc/yvals_core.h)
endif()

# <math.h>: Wine's, with the C99 forms microsoft/STL's <cmath> expects and ucrtbase.dll exports.
set(_math_generator ${_runtime}/tools/complete_math_h.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_math_generator})
if(NOT EXISTS ${_out}/include/math.h OR ${_math_generator} IS_NEWER_THAN ${_out}/include/math.h)
  _msvc_abi_run("Completing <math.h>" ${Python3_EXECUTABLE} ${_math_generator}
    ${BRICKWRIGHT_WINE_INCLUDE}/msvcrt/math.h ${BRICKWRIGHT_WINE_DLLS}/ucrtbase.dll ${_out}/include/math.h)
endif()

# What every compile of this tree is given, the runtime layer's own included: the runtime layer's headers
# first (they stand in for Microsoft's vcruntime headers and complete Wine's), then the STL, Wine's CRT,
# Wine's Windows headers. Release settings as a release loader is built with: /MD without the iterator
# debugging; /EHsc comes with the compiler's defaults.
add_library(brickwright_msvc_abi INTERFACE)
target_compile_options(brickwright_msvc_abi INTERFACE
  "$<$<COMPILE_LANGUAGE:CXX>:/Zl;-fms-compatibility-version=19.44>"
  "$<$<COMPILE_LANGUAGE:CXX>:-imsvc${_runtime}/include;-imsvc${_out}/include;-imsvc${_stl}/stl/inc>"
  "$<$<COMPILE_LANGUAGE:CXX>:-imsvc${BRICKWRIGHT_WINE_INCLUDE}/msvcrt;-imsvc${BRICKWRIGHT_WINE_INCLUDE}/windows>")
target_compile_definitions(brickwright_msvc_abi INTERFACE
  # The STL's vectorised algorithms live in the static part of Microsoft's import library, which no DLL
  # exports.
  _USE_STD_VECTOR_ALGORITHMS=0 _ITERATOR_DEBUG_LEVEL=0
  # Wine's <windows.h> beside the STL: its windef.h defines `inline` under _MSC_VER, and winnt.h an
  # inline function under the name of a clang builtin.
  _ALLOW_KEYWORD_MACROS _InterlockedCompareExchange128=__wine_InterlockedCompareExchange128
  # WCHAR is wchar_t, as in Microsoft's headers (Wine's own default is another 16-bit type).
  WINE_UNICODE_NATIVE
  # Wine's excpt.h then maps GetExceptionCode and friends to the compiler's own.
  USE_COMPILER_EXCEPTIONS)
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)
set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT Embedded)
# None of the Windows libraries CMake links by default: each comes from its import-library target below.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

add_subdirectory(${_runtime} ${CMAKE_BINARY_DIR}/runtime)

# Every target from here on, in every folder: each program and DLL links the runtime layer in place of
# Microsoft's static startup library, and every compile gets the flags above.
link_libraries(brickwright_runtime)

# The call CTest runs the programs through (the toolchain's emulator), as a script for whoever runs one
# by hand (./brickwright, the bench's comparison, a maintainer): build/windows/wine-run PROGRAM [ARGS...],
# or --hold / --stop, with this tree's Wine and prefix.
set(_emulator "")
foreach(word IN LISTS CMAKE_CROSSCOMPILING_EMULATOR)
  string(APPEND _emulator " \"${word}\"")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run @ONLY CONTENT "#!/bin/sh\nexec${_emulator} \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
