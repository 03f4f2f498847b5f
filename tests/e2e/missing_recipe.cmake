# One recipe class is not in the catalogue: its load gives null, which the mod hands to addRecipe in
# its place; the other 53 register, and the game fails.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game --missing-recipe PowerPlugMk2)

expect_equal("exit status" "${GAME_STATUS}" 1)
expect_mod_messages("${WORK}/game/modloader.log" "${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
expect_contains("summary" "${GAME_OUT}" "  BeginPlay 1: addRecipe received 53 recipe classes and 1 null: \
not the mod's 54 in table order (first difference at 22: Recipe_BW_PowerPlugMk2_C expected, null received)\n")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 53 recipe classes and 1 null over 1 BeginPlay: not every BeginPlay registered all 54 recipes\n")

finish()
