# A pattern, or both, is missing (-DPATTERN=name-table, object-table or both) and the world is built
# without its class for classes, which defeats the search by layout too. The mod says it could not
# find each such table, goes on, and every load gets a null class; the game reports it and fails,
# without crashing.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

set(missing "")
set(name_source "name table by its pattern")
set(object_source "object table by its pattern")
if(PATTERN STREQUAL "name-table" OR PATTERN STREQUAL "both")
  string(APPEND missing "[Warning] Brickwright could not find the engine's name table\n")
  set(name_source "name table not found")
endif()
if(PATTERN STREQUAL "object-table" OR PATTERN STREQUAL "both")
  string(APPEND missing "[Warning] Brickwright could not find the engine's object table\n")
  set(object_source "object table not found")
endif()

e2e_fresh_work()
run_game(--game-dir game --break-pattern ${PATTERN} --without-class-class)

expect_equal("exit status" "${GAME_STATUS}" 1)
expect_equal("stderr" "${GAME_ERR}" "")
expect_mod_messages("${WORK}/game/modloader.log" "${missing}${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
expect_lacks("the console" "${GAME_OUT}" "by its layout\n")
expect_contains("summary" "${GAME_OUT}"
  "  Engine tables, as the mod's setup reported them: ${name_source}, ${object_source}\n")
expect_contains("summary" "${GAME_OUT}" "  BeginPlay 1: 1 handler run, 54 loads with the class argument null\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: addRecipe received 0 recipe classes and 54 null: not the mod's 54 in table order")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 0 recipe classes and 54 null over 1 BeginPlay: not every BeginPlay registered all 54 recipes\n")

finish()
