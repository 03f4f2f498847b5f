# Shared compile settings for every target of the project.

if(MSVC)
  set(BRICKWRIGHT_WARNINGS /W4 /permissive-)
else()
  set(BRICKWRIGHT_WARNINGS -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow)
endif()

option(BRICKWRIGHT_WERROR "Treat warnings as errors" ON)
if(BRICKWRIGHT_WERROR)
  if(MSVC)
    list(APPEND BRICKWRIGHT_WARNINGS /WX)
  else()
    list(APPEND BRICKWRIGHT_WARNINGS -Werror)
  endif()
endif()

# The sanitize tree: AddressSanitizer (with LeakSanitizer on Linux) and UndefinedBehaviorSanitizer on
# everything built here (GoogleTest too), and the first report ends the process, so that no test can
# pass over one. Their runtime is linked into executables only; code that reads the whole game image
# is exempt from AddressSanitizer in the source (sdk/sanitizer.hpp), and the run-time options are set
# by the sanitize test preset.
if(BRICKWRIGHT_SANITIZE)
  set(BRICKWRIGHT_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${BRICKWRIGHT_SANITIZER_FLAGS})
  add_link_options(${BRICKWRIGHT_SANITIZER_FLAGS})
endif()

# The threads tree: ThreadSanitizer on everything built here, for the tests whose code runs on several
# threads at once (tests/CMakeLists.txt); the threads test preset makes its first report end the
# process. It cannot share a build with AddressSanitizer.
if(BRICKWRIGHT_THREAD_SANITIZER)
  if(BRICKWRIGHT_SANITIZE)
    message(FATAL_ERROR "BRICKWRIGHT_THREAD_SANITIZER and BRICKWRIGHT_SANITIZE exclude each other")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# brickwright_target(<target>): the project's warnings on one of its own targets.
function(brickwright_target target)
  target_compile_options(${target} PRIVATE ${BRICKWRIGHT_WARNINGS})
endfunction()

# brickwright_add_gtest(<name> SOURCES <files...> [LIBRARIES <targets...>] [LABELS <labels...>]
#                       [WORKING_DIRECTORY <dir>])
# One GoogleTest executable, run by CTest as one process (under Wine that saves a process start per
# test case). Natively and on Windows the same sources build; the shared helpers of tests/support/
# are on the include path.
function(brickwright_add_gtest name)
  cmake_parse_arguments(ARG "" "WORKING_DIRECTORY" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} brickwright_test_support GTest::gmock_main)
  brickwright_target(${name})
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
