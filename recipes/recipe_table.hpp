// The recipe classes the mod registers, in registration order: 20 walls (001 to 019, then 021; there
// is no Wall020), 2 power plugs, 3 stairs, 29 foundations.
#pragma once

#include <array>

// The full object path of an item's recipe class, e.g. for Wall001
// "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall001.Recipe_BW_Wall001_C": the folder, the asset
// "Recipe_BW_<item>", a dot, and the asset's class "Recipe_BW_<item>_C". The narrow pieces join the wide
// literal at compile time.
#define BRICKWRIGHT_RECIPE_PATH(item)                                                                        \
    L"/Game/FactoryGame/Brickwright/Recipes/"                                                                \
    "Recipe_BW_" #item "."                                                                                   \
    "Recipe_BW_" #item "_C"

inline constexpr std::array<const wchar_t*, 54> recipeClassPaths = {
    BRICKWRIGHT_RECIPE_PATH(Wall001),       BRICKWRIGHT_RECIPE_PATH(Wall002),
    BRICKWRIGHT_RECIPE_PATH(Wall003),       BRICKWRIGHT_RECIPE_PATH(Wall004),
    BRICKWRIGHT_RECIPE_PATH(Wall005),       BRICKWRIGHT_RECIPE_PATH(Wall006),
    BRICKWRIGHT_RECIPE_PATH(Wall007),       BRICKWRIGHT_RECIPE_PATH(Wall008),
    BRICKWRIGHT_RECIPE_PATH(Wall009),       BRICKWRIGHT_RECIPE_PATH(Wall010),
    BRICKWRIGHT_RECIPE_PATH(Wall011),       BRICKWRIGHT_RECIPE_PATH(Wall012),
    BRICKWRIGHT_RECIPE_PATH(Wall013),       BRICKWRIGHT_RECIPE_PATH(Wall014),
    BRICKWRIGHT_RECIPE_PATH(Wall015),       BRICKWRIGHT_RECIPE_PATH(Wall016),
    BRICKWRIGHT_RECIPE_PATH(Wall017),       BRICKWRIGHT_RECIPE_PATH(Wall018),
    BRICKWRIGHT_RECIPE_PATH(Wall019),       BRICKWRIGHT_RECIPE_PATH(Wall021),
    BRICKWRIGHT_RECIPE_PATH(PowerPlugMk1),  BRICKWRIGHT_RECIPE_PATH(PowerPlugMk2),
    BRICKWRIGHT_RECIPE_PATH(Stair001),      BRICKWRIGHT_RECIPE_PATH(Stair002),
    BRICKWRIGHT_RECIPE_PATH(Stair003),      BRICKWRIGHT_RECIPE_PATH(Foundation001),
    BRICKWRIGHT_RECIPE_PATH(Foundation002), BRICKWRIGHT_RECIPE_PATH(Foundation003),
    BRICKWRIGHT_RECIPE_PATH(Foundation004), BRICKWRIGHT_RECIPE_PATH(Foundation005),
    BRICKWRIGHT_RECIPE_PATH(Foundation006), BRICKWRIGHT_RECIPE_PATH(Foundation007),
    BRICKWRIGHT_RECIPE_PATH(Foundation008), BRICKWRIGHT_RECIPE_PATH(Foundation009),
    BRICKWRIGHT_RECIPE_PATH(Foundation010), BRICKWRIGHT_RECIPE_PATH(Foundation011),
    BRICKWRIGHT_RECIPE_PATH(Foundation012), BRICKWRIGHT_RECIPE_PATH(Foundation013),
    BRICKWRIGHT_RECIPE_PATH(Foundation014), BRICKWRIGHT_RECIPE_PATH(Foundation015),
    BRICKWRIGHT_RECIPE_PATH(Foundation016), BRICKWRIGHT_RECIPE_PATH(Foundation017),
    BRICKWRIGHT_RECIPE_PATH(Foundation018), BRICKWRIGHT_RECIPE_PATH(Foundation019),
    BRICKWRIGHT_RECIPE_PATH(Foundation020), BRICKWRIGHT_RECIPE_PATH(Foundation021),
    BRICKWRIGHT_RECIPE_PATH(Foundation022), BRICKWRIGHT_RECIPE_PATH(Foundation023),
    BRICKWRIGHT_RECIPE_PATH(Foundation024), BRICKWRIGHT_RECIPE_PATH(Foundation025),
    BRICKWRIGHT_RECIPE_PATH(Foundation026), BRICKWRIGHT_RECIPE_PATH(Foundation027),
    BRICKWRIGHT_RECIPE_PATH(Foundation028), BRICKWRIGHT_RECIPE_PATH(Foundation029),
};
