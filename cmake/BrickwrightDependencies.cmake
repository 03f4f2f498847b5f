# Third-party code: nlohmann::json (headers), GoogleTest built from Debian's sources (so that the
# Windows tree and the sanitizer tree get it with their own compiler and flags), Google Benchmark,
# for the maintainer tools on the build machine the Zydis x86-64 decoder; last, the stand-in host loader.

find_package(Threads REQUIRED)

# nlohmann::json and tl::expected are header-only.
if(CMAKE_CROSSCOMPILING)
  # Only their header directories: the build host's /usr/include as a whole must never reach the cross
  # compiler.
  set(BRICKWRIGHT_HEADER_STAGE ${CMAKE_BINARY_DIR}/third_party/include)
  find_path(BRICKWRIGHT_JSON_INCLUDE nlohmann/json.hpp
    PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(COPY ${BRICKWRIGHT_JSON_INCLUDE}/nlohmann DESTINATION ${BRICKWRIGHT_HEADER_STAGE})
  find_path(BRICKWRIGHT_EXPECTED_INCLUDE tl/expected.hpp
    PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(COPY ${BRICKWRIGHT_EXPECTED_INCLUDE}/tl DESTINATION ${BRICKWRIGHT_HEADER_STAGE})
  add_library(brickwright_json INTERFACE)
  target_include_directories(brickwright_json SYSTEM INTERFACE ${BRICKWRIGHT_HEADER_STAGE})
  add_library(nlohmann_json::nlohmann_json ALIAS brickwright_json)
  add_library(brickwright_expected INTERFACE)
  target_include_directories(brickwright_expected SYSTEM INTERFACE ${BRICKWRIGHT_HEADER_STAGE})
  add_library(tl::expected ALIAS brickwright_expected)
else()
  find_package(nlohmann_json 3.6.1 REQUIRED)
  find_package(tl-expected 1.0 REQUIRED)
endif()

if(BRICKWRIGHT_TESTS)
  set(BRICKWRIGHT_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${BRICKWRIGHT_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(BRICKWRIGHT_MSVC_ABI)
    foreach(target gtest gtest_main gmock gmock_main)
      target_compile_options(${target} PRIVATE /FI${CMAKE_SOURCE_DIR}/runtime/include/crt_gaps.h)
    endforeach()
  endif()
endif()

if(BRICKWRIGHT_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()

# Only tools/ link the decoder, and only natively: Debian has no Windows build of it, and the mod never
# decodes instructions.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(zydis 4.0 QUIET)
  if(NOT zydis_FOUND)
    message(WARNING "Zydis (libzydis-dev) not found: brickwright-sigcheck is built without --make and --suggest")
  endif()
endif()

# The stand-in host loader, which the mod links natively (on Windows it binds a loader's names itself,
# host/binding/) and the stand-in game and tests link everywhere.
add_library(brickwright_host INTERFACE)
target_link_libraries(brickwright_host INTERFACE xinput1_3)
