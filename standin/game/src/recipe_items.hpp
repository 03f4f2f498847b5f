// The Brickwright items whose recipe classes the game's packaged content carries, in the order the mod
// registers them. The game keeps its own list rather than the mod's table: the summary compares what
// the mod registered against what the game knows it ships.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace game {

inline constexpr std::array<std::string_view, 54> kRecipeItems = {
    // Walls: 001 to 019, then 021 (the content has no Wall020).
    "Wall001", "Wall002", "Wall003", "Wall004", "Wall005", "Wall006", "Wall007", "Wall008", "Wall009",
    "Wall010", "Wall011", "Wall012", "Wall013", "Wall014", "Wall015", "Wall016", "Wall017", "Wall018",
    "Wall019", "Wall021",
    // Power plugs.
    "PowerPlugMk1", "PowerPlugMk2",
    // Stairs.
    "Stair001", "Stair002", "Stair003",
    // Foundations: 001 to 029.
    "Foundation001", "Foundation002", "Foundation003", "Foundation004", "Foundation005", "Foundation006",
    "Foundation007", "Foundation008", "Foundation009", "Foundation010", "Foundation011", "Foundation012",
    "Foundation013", "Foundation014", "Foundation015", "Foundation016", "Foundation017", "Foundation018",
    "Foundation019", "Foundation020", "Foundation021", "Foundation022", "Foundation023", "Foundation024",
    "Foundation025", "Foundation026", "Foundation027", "Foundation028", "Foundation029"};

// How the list divides: the summary names the groups.
inline constexpr std::size_t kWallCount = 20;
inline constexpr std::size_t kPowerPlugCount = 2;
inline constexpr std::size_t kStairCount = 3;
inline constexpr std::size_t kFoundationCount = 29;
static_assert(kWallCount + kPowerPlugCount + kStairCount + kFoundationCount == kRecipeItems.size());

inline constexpr std::string_view kRecipeFolder = "/Game/FactoryGame/Brickwright/Recipes/";

// "Recipe_BW_<item>": the asset, and the last part of its package's name.
inline std::string recipeAssetName(std::string_view item) {
    return "Recipe_BW_" + std::string(item);
}

// "Recipe_BW_<item>_C": the recipe class inside the asset's package.
inline std::string recipeClassName(std::string_view item) {
    return recipeAssetName(item) + "_C";
}

// "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_<item>": the package.
inline std::string recipePackageName(std::string_view item) {
    return std::string(kRecipeFolder) + recipeAssetName(item);
}

// The full object path the catalogue serves the class under: "<package>.<class>".
inline std::wstring recipeClassPath(std::string_view item) {
    const std::string narrow = recipePackageName(item) + "." + recipeClassName(item);
    return std::wstring(narrow.begin(), narrow.end());
}

// Whether `item` is one of the list's names.
inline bool isRecipeItem(std::string_view item) {
    for (std::string_view known : kRecipeItems) {
        if (known == item) {
            return true;
        }
    }
    return false;
}

} // namespace game
