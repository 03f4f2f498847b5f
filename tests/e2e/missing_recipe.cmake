# Recipe classes missing from the catalogue: each load gives null, which the mod hands to addRecipe in
# its place, and after its closing line one warning counts them and names the first in table order;
# the others register, and the game fails.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game --missing-recipe PowerPlugMk2)

expect_equal("exit status" "${GAME_STATUS}" 1)
e2e_not_loaded(warning 1 PowerPlugMk2)
expect_mod_messages("${WORK}/game/modloader.log" "${E2E_SETUP}${E2E_BEGIN_PLAY}${warning}${E2E_CLEANUP}")
expect_contains("summary" "${GAME_OUT}" "  BeginPlay 1: addRecipe received 53 recipe classes and 1 null: \
not the mod's 54 in table order (first difference at 22: Recipe_BW_PowerPlugMk2_C expected, null received)\n")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 53 recipe classes and 1 null over 1 BeginPlay: not every BeginPlay registered all 54 recipes\n")

# Three missing, named last first, over two BeginPlays: the warning after each names Wall007.
e2e_fresh_work()
run_game(--game-dir game --controllers 2 --missing-recipe Foundation029 --missing-recipe Stair001
         --missing-recipe Wall007)
expect_equal("exit status, three missing" "${GAME_STATUS}" 1)
e2e_not_loaded(warning 3 Wall007)
expect_mod_messages("${WORK}/game/modloader.log"
  "${E2E_SETUP}${E2E_BEGIN_PLAY}${warning}${E2E_BEGIN_PLAY}${warning}${E2E_CLEANUP}")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 102 recipe classes and 6 null over 2 BeginPlays: not every BeginPlay registered all 54 recipes\n")

finish()
