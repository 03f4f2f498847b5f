# A game update moved the engine's code: one pattern is not in the image (-DPATTERN=name-table or
# object-table). The mod says so, goes on, and every load gets a null class, so nothing registers; the
# game reports it and fails, without crashing.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

string(REPLACE "-" " " table "${PATTERN}")
e2e_fresh_work()
run_game(--game-dir game --break-pattern ${PATTERN})

expect_equal("exit status" "${GAME_STATUS}" 1)
expect_mod_messages("${WORK}/game/modloader.log"
  "Brickwright could not find the engine's ${table}\n${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
expect_contains("summary" "${GAME_OUT}" "  BeginPlay 1: 1 handler run, 54 loads with the class argument null\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: addRecipe received 0 recipe classes and 54 null: not the mod's 54 in table order")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 0 recipe classes and 54 null over 1 BeginPlay: not every BeginPlay registered all 54 recipes\n")

finish()
