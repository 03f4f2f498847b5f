# The world is built without its class for classes (-DPATTERN=name-table, object-table, both or
# none: the patterns left out of the image; -DLOOK_ALIKE=<the same>: the patterns that get a
# look-alike). No object table can be proven then, by its pattern or its layout, and no name table
# without one: the mod passes over the object-table instructions that are there, says it could not find
# either table, goes on, and every load gets a null class; the game reports it and fails, without
# crashing.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

set(arguments --game-dir game --without-class-class)
if(NOT PATTERN STREQUAL "none")
  list(APPEND arguments --break-pattern ${PATTERN})
endif()
if(DEFINED LOOK_ALIKE)
  list(APPEND arguments --look-alike ${LOOK_ALIKE})
endif()

# The instructions of the object-table pattern in the image, lowest first: a look-alike, the real one,
# or both. The mod knows of each only that its table fails the checks; the game's summary names them.
set(object_instructions "")
if(DEFINED LOOK_ALIKE AND LOOK_ALIKE MATCHES "^(object-table|both)$")
  list(APPEND object_instructions "a look-alike")
endif()
if(NOT PATTERN MATCHES "^(object-table|both)$")
  list(APPEND object_instructions "the real instruction")
endif()
list(LENGTH object_instructions object_count)
set(object_passed_over "")
set(failed "does not pass the engine's checks")
if(object_count EQUAL 1)
  set(object_passed_over
      "Brickwright passed over an instruction that matches the engine's object table pattern (RVA 0x*): the table it points at ${failed}\n")
elseif(object_count EQUAL 2)
  set(object_passed_over
      "Brickwright passed over 2 instructions that match the engine's object table pattern (the lowest at RVA 0x*): the tables they point at do not pass the engine's checks\n")
endif()
set(object_source "object table not found")
if(object_count GREATER 0)
  list(JOIN object_instructions " and " named)
  set(object_source "object table not found (${named} passed over)")
endif()

e2e_not_loaded(none_loaded 54 Wall001)

e2e_fresh_work()
run_game(${arguments})

expect_equal("exit status" "${GAME_STATUS}" 1)
expect_equal("stderr" "${GAME_ERR}" "")
expect_mod_messages("${WORK}/game/modloader.log"
  "[Warning] Brickwright could not find the engine's name table\n${object_passed_over}[Warning] Brickwright could not find the engine's object table\n${E2E_SETUP}${E2E_BEGIN_PLAY}${none_loaded}${E2E_CLEANUP}")
expect_lacks("the console" "${GAME_OUT}" "by its layout\n")
expect_contains("summary" "${GAME_OUT}"
  "  Engine tables, as the mod's setup reported them: name table not found, ${object_source}\n")
expect_contains("summary" "${GAME_OUT}" "  BeginPlay 1: 1 handler run, 54 loads with the class argument null\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: addRecipe received 0 recipe classes and 54 null: not the mod's 54 in table order")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 0 recipe classes and 54 null over 1 BeginPlay: not every BeginPlay registered all 54 recipes\n")

finish()
