# Instructions of the patterns' exact bytes that lead to junk instead of the tables lie below the real
# ones (-DLOOK_ALIKE=name-table, object-table or both), and with -DONLY=1 the real ones are gone
# (--look-alike-only). The mod proves each table before it uses one: it passes over each look-alike,
# says so once per table with the look-alike's offset in the image (and that its table fails the
# checks: that it is a look-alike only the game knows, and says in its summary), takes the real instruction's
# table or, without one, finds the table by its layout, and registers all 54 recipes without crashing.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

set(option --look-alike)
set(source "pattern")
if(ONLY)
  set(option --look-alike-only)
  set(source "layout")
endif()

e2e_fresh_work()
run_game(--game-dir game ${option} ${LOOK_ALIKE})

expect_equal("exit status" "${GAME_STATUS}" 0)
expect_equal("stderr" "${GAME_ERR}" "")
expect_lacks("the console" "${GAME_OUT}" "could not find")

set(expected "")
foreach(table name object)
  set(${table}_source "${table} table by its pattern")
  if(NOT LOOK_ALIKE MATCHES "^(${table}-table|both)$")
    continue()
  endif()
  # The game names the look-alike's offset; the mod must name the same one.
  string(REGEX MATCH "A look-alike of the ${table}-table pattern that leads to junk lies below the real one, at (RVA 0x[0-9a-f]+)"
         planted "${GAME_OUT}")
  if(NOT planted)
    e2e_fail("the game does not say where the ${table}-table look-alike lies")
  endif()
  set(passed_over "Brickwright passed over an instruction that matches the engine's ${table} table pattern")
  set(failed "the table it points at does not pass the engine's checks")
  expect_contains("the console" "${GAME_OUT}" "${passed_over} (${CMAKE_MATCH_1}): ${failed}\n")
  string(APPEND expected "${passed_over} (RVA 0x*): ${failed}\n")
  if(ONLY)
    string(APPEND expected "Brickwright found the engine's ${table} table by its layout\n")
  endif()
  set(${table}_source "${table} table by its ${source} (a look-alike passed over)")
endforeach()

expect_mod_messages("${WORK}/game/modloader.log" "${expected}${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
expect_contains("summary" "${GAME_OUT}"
  "  Engine tables, as the mod's setup reported them: ${name_source}, ${object_source}\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: 1 handler run, 54 loads with the class argument Class CoreUObject.Class\n")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 54 recipe classes and 0 null over 1 BeginPlay: every BeginPlay registered all 54 recipes\n")

finish()
