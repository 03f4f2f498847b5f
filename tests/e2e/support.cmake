# What every end-to-end case shares: running the stand-in game in a directory of the case's own, and
# expectations that collect their failures, reported together (with the game's output) by finish().
#
# A case script is run as
#   cmake -DGAME=<game executable> -DEMULATOR=<cmd|args, empty natively> -DWORK=<case directory>
#         [-D<case parameters>] -P <case>.cmake
# and includes this file first.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/RequireDefinitions.cmake)
require_definitions(e2e GAME WORK)
string(REPLACE "|" ";" e2e_emulator "${EMULATOR}")

# The Windows game writes CR LF through its text-mode streams, and its configuration path with a
# backslash.
if(GAME MATCHES "\\.exe$")
  set(E2E_WINDOWS TRUE)
  set(E2E_CONFIG_PATH "config\\Brickwright.cfg")
else()
  set(E2E_WINDOWS FALSE)
  set(E2E_CONFIG_PATH "config/Brickwright.cfg")
endif()
set(E2E_CONFIG_BACKUP "${E2E_CONFIG_PATH}.bak")

# The mod's four messages of one BeginPlay, in order, one per line.
set(E2E_SETUP "Finished Brickwright setup!\n")
set(E2E_BEGIN_PLAY "Brickwright adding recipes...\nBrickwright Recipes added!\n")
set(E2E_CLEANUP "Brickwright finished cleanup!\n")

# e2e_not_loaded(<out> <count> <item>): the mod's warning after "Recipes added!" when <count> of its
# recipes did not load, <item> the first of them in table order.
function(e2e_not_loaded out count item)
  set(${out} "[Warning] Brickwright could not load ${count} of 54 recipes (the first: \
/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_${item}.Recipe_BW_${item}_C)\n" PARENT_SCOPE)
endfunction()
set(E2E_IN_ORDER "the mod's 54 in table order (20 walls, 2 power plugs, 3 stairs, 29 foundations)")

set_property(GLOBAL PROPERTY e2e_failures "")

function(e2e_fail text)
  set_property(GLOBAL APPEND_STRING PROPERTY e2e_failures "  - ${text}\n")
endfunction()

# A fresh, empty case directory.
function(e2e_fresh_work)
  file(REMOVE_RECURSE "${WORK}")
  file(MAKE_DIRECTORY "${WORK}")
endfunction()

# run_game([ARGS...]): runs the game in ${WORK}; sets GAME_STATUS, GAME_OUT and GAME_ERR (line ends
# as LF) in the caller's scope.
function(run_game)
  execute_process(
    COMMAND ${e2e_emulator} "${GAME}" ${ARGN}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    TIMEOUT 120)
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\r\n" "\n" err "${err}")
  set(GAME_STATUS "${status}" PARENT_SCOPE)
  set(GAME_OUT "${out}" PARENT_SCOPE)
  set(GAME_ERR "${err}" PARENT_SCOPE)
  list(JOIN ARGN " " arguments)
  set_property(GLOBAL PROPERTY e2e_last_run "game ${arguments}\nexit status: ${status}\n--- stdout ---\n${out}--- stderr ---\n${err}")
endfunction()

function(expect_equal what actual expected)
  if(NOT actual STREQUAL expected)
    e2e_fail("${what}: got\n'${actual}'\n    expected\n'${expected}'")
  endif()
endfunction()

function(expect_contains what text needle)
  string(FIND "${text}" "${needle}" at)
  if(at EQUAL -1)
    e2e_fail("${what}: '${needle}' is missing")
  endif()
endfunction()

function(expect_lacks what text needle)
  string(FIND "${text}" "${needle}" at)
  if(NOT at EQUAL -1)
    e2e_fail("${what}: '${needle}' is there")
  endif()
endfunction()

# The messages of the mod's log lines ("[HH:MM:SS] [Brickwright] [<level>] <message>") in `text`, one
# per line, in order; a line at another level than Info keeps its "[<level>] " in front. Image offsets,
# which differ between builds, read "RVA 0x*".
function(mod_messages text out)
  # A semicolon would split the list of lines: it stands in as a placeholder meanwhile.
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REGEX MATCHALL "\\[[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\] \\[Brickwright\\] \\[[A-Za-z]+\\] [^\n]*\n"
         lines "${text}")
  set(messages "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\\[[^]]*\\] \\[Brickwright\\] (\\[Info\\] )?" "" message "${line}")
    string(REPLACE "<semicolon>" ";" message "${message}")
    string(REGEX REPLACE "RVA 0x[0-9a-f]+" "RVA 0x*" message "${message}")
    string(APPEND messages "${message}")
  endforeach()
  set(${out} "${messages}" PARENT_SCOPE)
endfunction()

# The mod's messages on the console and in the log file are exactly `expected`.
function(expect_mod_messages log_file expected)
  mod_messages("${GAME_OUT}" console)
  expect_equal("the mod's messages on the console" "${console}" "${expected}")
  if(NOT EXISTS "${log_file}")
    e2e_fail("the log file ${log_file} was not written")
    return()
  endif()
  file(READ "${log_file}" log)
  string(REPLACE "\r\n" "\n" log "${log}")
  mod_messages("${log}" logged)
  expect_equal("the mod's messages in the log file" "${logged}" "${expected}")
endfunction()

# The file holds exactly `expected`, byte for byte.
function(expect_file_bytes what path expected)
  if(NOT EXISTS "${path}")
    e2e_fail("${what}: ${path} does not exist")
    return()
  endif()
  file(READ "${path}" actual HEX)
  string(HEX "${expected}" wanted)
  if(NOT actual STREQUAL wanted)
    e2e_fail("${what}: ${path} holds the bytes ${actual}, expected ${wanted}")
  endif()
endfunction()

# Output to a pipe is plain text: no colour sequences.
function(expect_plain_output)
  string(ASCII 27 escape)
  string(FIND "${GAME_OUT}" "${escape}" at)
  if(NOT at EQUAL -1)
    e2e_fail("the console output piped to a file carries escape sequences")
  endif()
endfunction()

# Ends the case: passes quietly, or fails with every unmet expectation and the game's last run.
function(finish)
  get_property(failures GLOBAL PROPERTY e2e_failures)
  get_property(last_run GLOBAL PROPERTY e2e_last_run)
  if(failures)
    message(FATAL_ERROR "\n${failures}\n${last_run}")
  endif()
endfunction()
