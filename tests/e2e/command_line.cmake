# The game's command line: --help, and bad options or values, each of which gets a one-line error
# naming the option, a line on where help is, exit status 2, and nothing run (no directory, no log, no
# output).
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

set(options --controllers --game-dir --log-file --mod --break-pattern --look-alike --look-alike-only
    --without-class-class --late-engine --late-engine-at --missing-recipe --help)

e2e_fresh_work()
run_game(--help)
expect_equal("--help: exit status" "${GAME_STATUS}" 0)
expect_contains("--help" "${GAME_OUT}" "usage: brickwright-game [OPTIONS]\n")
foreach(option IN LISTS options)
  expect_contains("--help" "${GAME_OUT}" " ${option} ")
endforeach()
expect_contains("--help" "${GAME_OUT}" "\n3 when the game could not run the mod")

# Each: the arguments (with | between them), ^, then the error line.
set(cases
  "--controllers|0^--controllers: '0' is not a whole number from 1 to 64"
  "--controllers|two^--controllers: 'two' is not a whole number from 1 to 64"
  "--controllers=65^--controllers: '65' is not a whole number from 1 to 64"
  "--controllers|2x^--controllers: '2x' is not a whole number from 1 to 64"
  "--game-dir^--game-dir needs a value"
  "--break-pattern|names^--break-pattern: 'names' is none of name-table, object-table and both"
  "--look-alike|names^--look-alike: 'names' is none of name-table, object-table and both"
  "--look-alike-only=^--look-alike-only: the value is empty"
  "--late-engine|names^--late-engine: 'names' is none of name-table, object-table and both"
  "--late-engine|both|--late-engine-at|0^--late-engine-at: '0' is not a whole number from 1 to 64"
  "--late-engine-at|2^--late-engine-at: needs --late-engine WHICH"
  "--missing-recipe|Wall020^--missing-recipe: 'Wall020' is not a Brickwright item"
  "--log-file=^--log-file: the value is empty"
  "--controllers|-5^--controllers: '-5' is not a whole number from 1 to 64"
  "--frobnicate^unknown option '--frobnicate'"
  "-x^unknown option '-x'"
  "--help=all^unknown option '--help'"
  "--without-class-class=1^unknown option '--without-class-class'"
  "game-dir^unexpected argument 'game-dir'"
  "--|--controllers|2^unexpected argument '--controllers'")
foreach(case IN LISTS cases)
  string(FIND "${case}" "^" split)
  string(SUBSTRING "${case}" 0 ${split} arguments)
  math(EXPR split "${split} + 1")
  string(SUBSTRING "${case}" ${split} -1 error)
  string(REPLACE "|" ";" arguments "${arguments}")
  e2e_fresh_work()
  run_game(--game-dir game ${arguments})
  expect_equal("${arguments}: exit status" "${GAME_STATUS}" 2)
  expect_equal("${arguments}: stdout" "${GAME_OUT}" "")
  string(FIND "${GAME_ERR}" "\n" line_end)
  string(SUBSTRING "${GAME_ERR}" 0 ${line_end} first_line)
  string(FIND "${first_line}" "brickwright-game: ${error}" at)
  if(NOT at EQUAL 0)
    e2e_fail("${arguments}: stderr's first line '${first_line}' is not 'brickwright-game: ${error}...'")
  endif()
  string(SUBSTRING "${GAME_ERR}" ${line_end} -1 rest)
  expect_equal("${arguments}: stderr after the error" "${rest}" "\nTry 'brickwright-game --help' for the options.\n")
  file(GLOB left "${WORK}/*")
  expect_equal("${arguments}: what the run left" "${left}" "")
endforeach()

# Started by ./brickwright demo, which says so in BRICKWRIGHT_GAME_COMMAND: usage and help name it.
foreach(arguments "--help" "--frobnicate")
  e2e_fresh_work()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "BRICKWRIGHT_GAME_COMMAND=./brickwright demo" ${e2e_emulator} "${GAME}"
            --game-dir game ${arguments}
    WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\r\n" "\n" err "${err}")
  if(arguments STREQUAL "--help")
    expect_equal("--help through the script: exit status" "${status}" 0)
    expect_contains("--help through the script" "${out}" "usage: ./brickwright demo [OPTIONS]\n")
  else()
    expect_equal("${arguments} through the script: exit status" "${status}" 2)
    expect_equal("${arguments} through the script: stderr" "${err}"
                 "brickwright-game: unknown option '--frobnicate'\nTry './brickwright demo --help' for the options.\n")
  endif()
endforeach()

finish()
