# A log file that cannot be opened (its directory does not exist): the game stops before any mod
# library loads, says why, and exits with the status of a run the environment stopped.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game --log-file nowhere/modloader.log)

expect_equal("exit status" "${GAME_STATUS}" 3)
expect_contains("stderr" "${GAME_ERR}" "brickwright-game: cannot open the log file ")
# The system's reason follows the path.
string(REGEX MATCH "modloader.log: [^\n]+\n" reason "${GAME_ERR}")
if(reason STREQUAL "")
  e2e_fail("stderr does not say why the log file could not be opened")
endif()
expect_lacks("stdout" "${GAME_OUT}" "Loading mod")
expect_lacks("stdout" "${GAME_OUT}" "Summary")
if(EXISTS "${WORK}/game/config")
  e2e_fail("the configuration directory exists although no mod library was loaded")
endif()

finish()
