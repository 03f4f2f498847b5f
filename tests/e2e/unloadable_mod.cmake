# A mod library that cannot be loaded: the host says why, nothing of the mod runs, the game fails with
# the status of a run the environment stopped.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game --mod nowhere/Brickwright.mod)

expect_equal("exit status" "${GAME_STATUS}" 3)
expect_mod_messages("${WORK}/game/modloader.log" "")
expect_contains("stderr" "${GAME_ERR}" "brickwright-game: cannot load ")
expect_contains("stderr" "${GAME_ERR}" "(build the Brickwright target, or pass --mod PATH)\n")
expect_lacks("stdout" "${GAME_OUT}" "Summary")
if(EXISTS "${WORK}/game/config")
  e2e_fail("the configuration directory exists although no mod library was loaded")
endif()

finish()
