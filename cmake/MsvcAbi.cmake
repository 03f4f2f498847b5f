# The Windows tree's set-up with Microsoft's C++ ABI (cmake/x86_64-pc-windows-msvc.cmake), made when the
# tree is configured: microsoft/STL's headers from their tarball, import libraries from Wine's own DLLs,
# the C runtime's <math.h> completed against what ucrtbase.dll exports, and the runtime-support layer's
# objects (runtime/), which every program and DLL links in place of Microsoft's static startup library.
# Editing any of their sources configures the tree again.

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

set(_runtime ${CMAKE_SOURCE_DIR}/runtime)
set(_out ${CMAKE_BINARY_DIR}/msvc-abi)
set(_llvm ${BRICKWRIGHT_LLVM_BIN})
file(MAKE_DIRECTORY ${_out}/lib ${_out}/def ${_out}/obj ${_out}/include)

# Runs a command at configure time and stops with its output when it fails; what it printed is left in
# _msvc_abi_output.
function(_msvc_abi_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${output}${errors}")
  endif()
  set(_msvc_abi_output "${output}" PARENT_SCOPE)
endfunction()

# 1. microsoft/STL's headers, unchanged, from the tarball kept in third_party/.
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

# 2. Import libraries from the export tables of Wine's DLLs. What Wine only stubs is left out, so that
# code needing it fails to link here rather than abort under Wine.
set(BRICKWRIGHT_IMPORTED_DLLS kernel32 msvcp140 msvcp140_atomic_wait vcruntime140 ucrtbase psapi advapi32 shlwapi dbghelp)
set(_pe2def ${_runtime}/tools/pe2def.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_pe2def})
foreach(dll ${BRICKWRIGHT_IMPORTED_DLLS})
  set(_lib ${_out}/lib/${dll}.lib)
  if(NOT EXISTS ${_lib} OR ${_pe2def} IS_NEWER_THAN ${_lib})
    _msvc_abi_run("Reading the exports of ${dll}.dll"
      ${CMAKE_COMMAND} -E env LLVM_NM=${_llvm}/llvm-nm
      ${Python3_EXECUTABLE} ${_pe2def} ${BRICKWRIGHT_WINE_DLLS}/${dll}.dll ${_out}/def)
    _msvc_abi_run("Making ${dll}.lib" ${_llvm}/llvm-dlltool -m i386:x86-64 -d ${_out}/def/${dll}.def -l ${_lib})
  endif()
endforeach()

# 3. <math.h>: Wine's, with the C99 forms microsoft/STL's <cmath> expects and ucrtbase.dll exports.
set(_math_generator ${_runtime}/tools/complete_math_h.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_math_generator})
if(NOT EXISTS ${_out}/include/math.h OR ${_math_generator} IS_NEWER_THAN ${_out}/include/math.h)
  _msvc_abi_run("Listing ucrtbase.dll's exports" ${_llvm}/llvm-readobj --coff-exports ${BRICKWRIGHT_WINE_DLLS}/ucrtbase.dll)
  string(REGEX MATCHALL "Name: [^\n]*" _names "${_msvc_abi_output}")
  list(TRANSFORM _names REPLACE "^Name: " "")
  list(JOIN _names "\n" _names)
  file(WRITE ${_out}/ucrtbase.exports "${_names}\n")
  _msvc_abi_run("Completing <math.h>" ${Python3_EXECUTABLE} ${_math_generator}
    ${BRICKWRIGHT_WINE_INCLUDE}/msvcrt/math.h ${_out}/ucrtbase.exports ${_out}/include/math.h)
endif()

# Everything compiled in this tree: the runtime layer's headers first (they stand in for Microsoft's
# vcruntime headers and complete Wine's), then the STL, Wine's CRT, Wine's Windows headers. Release
# settings as a release loader is built with: /MD without the iterator debugging, /GS, /EHsc.
set(BRICKWRIGHT_MSVC_ABI_FLAGS
  /Zl -fms-compatibility-version=19.44
  /imsvc ${_runtime}/include /imsvc ${_out}/include /imsvc ${_stl}/stl/inc
  /imsvc ${BRICKWRIGHT_WINE_INCLUDE}/msvcrt /imsvc ${BRICKWRIGHT_WINE_INCLUDE}/windows
  # The STL's vectorised algorithms live in the static part of Microsoft's import library, which no DLL
  # exports.
  /D_USE_STD_VECTOR_ALGORITHMS=0 /D_ITERATOR_DEBUG_LEVEL=0
  # Wine's <windows.h> beside the STL: its windef.h defines `inline` under _MSC_VER, and winnt.h an
  # inline function under the name of a clang builtin.
  /D_ALLOW_KEYWORD_MACROS /D_InterlockedCompareExchange128=__wine_InterlockedCompareExchange128
  # WCHAR is wchar_t, as in Microsoft's headers (Wine's own default is another 16-bit type).
  /DWINE_UNICODE_NATIVE
  # Wine's excpt.h then maps GetExceptionCode and friends to the compiler's own.
  /DUSE_COMPILER_EXCEPTIONS)
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)
set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT Embedded)

# 4. The runtime layer's objects, built once here with the same flags (and no stack cookie: they set it).
set(_runtime_sources startup_common.cpp startup_dll.cpp startup_exe.cpp security_cookie.cpp wine_gaps.cpp
  import_library.cpp new_delete.cpp)
file(GLOB _headers ${_runtime}/include/*.h)
foreach(source ${_runtime_sources} intrinsics.S)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_runtime}/src/${source})
  get_filename_component(_name ${source} NAME_WE)
  set(_object ${_out}/obj/${_name}.obj)
  set(_stale FALSE)
  if(NOT EXISTS ${_object} OR ${_runtime}/src/${source} IS_NEWER_THAN ${_object})
    set(_stale TRUE)
  endif()
  foreach(header ${_headers} ${CMAKE_CURRENT_LIST_FILE})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
    if(${header} IS_NEWER_THAN ${_object})
      set(_stale TRUE)
    endif()
  endforeach()
  if(_stale)
    if(source MATCHES "\\.S$")
      _msvc_abi_run("Assembling ${source}" ${CMAKE_ASM_COMPILER} --target=x86_64-pc-windows-msvc -c
        ${_runtime}/src/${source} -o ${_object})
    else()
      _msvc_abi_run("Compiling ${source}" ${CMAKE_CXX_COMPILER} /nologo /c /std:c++20 /EHsc /MD /O2 /GS-
        ${BRICKWRIGHT_MSVC_ABI_FLAGS} /Fo${_object} -- ${_runtime}/src/${source})
    endif()
  endif()
endforeach()

list(JOIN BRICKWRIGHT_MSVC_ABI_FLAGS " " _flags)
string(APPEND CMAKE_C_FLAGS " ${_flags}")
string(APPEND CMAKE_CXX_FLAGS " ${_flags} /GS")

# The entry points are linked whole; the rest is a library, whose members a module takes as it needs them,
# so that a module's own definitions (the allocation functions of a test) come first.
set(_library ${_out}/lib/brickwright_msvc_runtime.lib)
set(_members startup_common security_cookie wine_gaps import_library new_delete intrinsics)
list(TRANSFORM _members PREPEND ${_out}/obj/)
list(TRANSFORM _members APPEND .obj)
foreach(member ${_members})
  if(NOT EXISTS ${_library} OR ${member} IS_NEWER_THAN ${_library})
    file(REMOVE ${_library})
    _msvc_abi_run("Archiving the runtime layer" ${CMAKE_AR} /nologo /out:${_library} ${_members})
    break()
  endif()
endforeach()
set(_link "/nodefaultlib /libpath:${_out}/lib /manifest:no")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_link} /entry:mainCRTStartup /subsystem:console ${_out}/obj/startup_exe.obj")
string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_link} /entry:_DllMainCRTStartup ${_out}/obj/startup_dll.obj")
string(APPEND CMAKE_MODULE_LINKER_FLAGS " ${_link} /entry:_DllMainCRTStartup ${_out}/obj/startup_dll.obj")
set(CMAKE_CXX_STANDARD_LIBRARIES "brickwright_msvc_runtime.lib msvcp140.lib msvcp140_atomic_wait.lib vcruntime140.lib ucrtbase.lib kernel32.lib")
set(CMAKE_C_STANDARD_LIBRARIES "${CMAKE_CXX_STANDARD_LIBRARIES}")
