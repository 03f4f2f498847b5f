# Runs the stand-in game once under valgrind's memcheck, in a directory of its own, and passes when
# the game exits as expected and memcheck reports no error: no invalid read or write, no use of
# uninitialised memory, no bad free, and no leak of the program's own.
#
#   cmake -DVALGRIND=<valgrind> -DGAME=<game> -DSUPPRESSIONS=<file> -DWORK=<dir> -DSTATUS=<n>
#         -DARGS=<game options> -DCASE=<name> -P valgrind_game.cmake
#
# What counts as a leak: every block that nothing points to any more when the program ends, whether
# directly ("definitely lost") or only from other lost blocks ("indirectly lost"). "Possibly lost"
# blocks (only interior pointers left) and "still reachable" ones are listed but do not fail the run;
# the suppressions file names the few runtime blocks that are known and why.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/RequireDefinitions.cmake)
require_definitions(valgrind_game VALGRIND GAME SUPPRESSIONS WORK STATUS CASE)
if(NOT VALGRIND OR NOT EXISTS "${VALGRIND}")
  message(FATAL_ERROR "valgrind is not installed: run ./brickwright deps (or apt-get install valgrind)")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/game")
if(CASE STREQUAL "config-file-type-error")
  # A non-empty array cannot be reconciled with the mod's null defaults: the library load must
  # contain the type error, and leave the file as it is.
  file(MAKE_DIRECTORY "${WORK}/game/config")
  file(WRITE "${WORK}/game/config/Brickwright.cfg" "[1, 2]")
endif()

set(log "${WORK}/memcheck.log")
execute_process(
  COMMAND "${VALGRIND}" --tool=memcheck --error-exitcode=1 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect,possible
          --track-origins=yes --keep-debuginfo=yes --num-callers=40
          "--suppressions=${SUPPRESSIONS}" "--log-file=${log}"
          "${GAME}" --game-dir game ${ARGS}
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 800)
file(READ "${log}" memcheck)

set(problems)
if(NOT status STREQUAL STATUS)
  list(APPEND problems "exit status ${status}, expected ${STATUS}")
endif()
if(NOT memcheck MATCHES "ERROR SUMMARY: 0 errors from 0 contexts")
  list(APPEND problems "memcheck reported errors")
endif()
# Counted as errors above; said again here so that a failure names the kind.
foreach(kind "definitely lost" "indirectly lost")
  if(memcheck MATCHES "${kind}: ([0-9,]+) bytes" AND NOT CMAKE_MATCH_1 STREQUAL "0")
    list(APPEND problems "${kind}: ${CMAKE_MATCH_1} bytes")
  endif()
endforeach()
if(CASE STREQUAL "config-file-type-error")
  file(READ "${WORK}/game/config/Brickwright.cfg" kept)
  if(NOT kept STREQUAL "[1, 2]")
    list(APPEND problems "the configuration file now holds '${kept}'")
  endif()
endif()

if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "the game under valgrind (${CASE}):\n  ${problems}\n"
                      "--- memcheck (${log}) ---\n${memcheck}\n--- stdout ---\n${out}\n--- stderr ---\n${err}")
endif()
string(REGEX MATCH "in use at exit: [^\n]*" in_use "${memcheck}")
message(STATUS "the game under valgrind (${CASE}): exit status ${status}, no errors; ${in_use}")
