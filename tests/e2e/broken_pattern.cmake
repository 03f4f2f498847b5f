# A game update moved the engine's code: a pattern, or both, is not in the image (-DPATTERN=name-table,
# object-table or both). The mod finds the table by its layout instead, says so in one line per table
# instead of "could not find", and registers all 54 recipes; the game's summary says how each table
# was found.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

set(found "")
set(name_source "name table by its pattern")
set(object_source "object table by its pattern")
if(PATTERN STREQUAL "name-table" OR PATTERN STREQUAL "both")
  string(APPEND found "Brickwright found the engine's name table by its layout\n")
  set(name_source "name table by its layout")
endif()
if(PATTERN STREQUAL "object-table" OR PATTERN STREQUAL "both")
  string(APPEND found "Brickwright found the engine's object table by its layout\n")
  set(object_source "object table by its layout")
endif()

e2e_fresh_work()
run_game(--game-dir game --break-pattern ${PATTERN})

expect_equal("exit status" "${GAME_STATUS}" 0)
expect_equal("stderr" "${GAME_ERR}" "")
expect_mod_messages("${WORK}/game/modloader.log" "${found}${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
expect_lacks("the console" "${GAME_OUT}" "could not find")
expect_contains("summary" "${GAME_OUT}"
  "  Engine tables, as the mod's setup reported them: ${name_source}, ${object_source}\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: 1 handler run, 54 loads with the class argument Class CoreUObject.Class\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: addRecipe received 54 recipe classes and 0 null: ${E2E_IN_ORDER}\n")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 54 recipe classes and 0 null over 1 BeginPlay: every BeginPlay registered all 54 recipes\n")

finish()
