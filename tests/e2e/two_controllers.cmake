# Two player controllers begin play: the handler runs once for each and registers all 54 each time.
# The host's log file goes where --log-file says.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--controllers 2 --game-dir game --log-file host.log)

expect_equal("exit status" "${GAME_STATUS}" 0)
expect_mod_messages("${WORK}/host.log" "${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
if(EXISTS "${WORK}/game/modloader.log")
  e2e_fail("the default log file was written although --log-file names another")
endif()
foreach(n 1 2)
  expect_contains("summary" "${GAME_OUT}"
    "  BeginPlay ${n}: 1 handler run, 54 loads with the class argument Class CoreUObject.Class\n")
  expect_contains("summary" "${GAME_OUT}"
    "  BeginPlay ${n}: addRecipe received 54 recipe classes and 0 null: ${E2E_IN_ORDER}\n")
endforeach()
expect_contains("summary" "${GAME_OUT}"
  "  In all: 108 recipe classes and 0 null over 2 BeginPlays: every BeginPlay registered all 54 recipes\n")

finish()
